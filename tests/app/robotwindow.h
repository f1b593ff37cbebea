#pragma once

#include <cstdlib>
#include <functional>
#include <string>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QSpinBox>
#include <QEventLoop>
#include <QTimer>
#include <QToolButton>

#include "app/formkestrow.h"
#include "platform/clock.h"
#include "platform/pause.h"
#include "platform/prompt.h"
#include "platform/shell.h"
#include "settings/formpreferences.h"
#include "tempdir.h"

// The cursor the application shows now: the one set over all windows, else the arrow.
inline Qt::CursorShape ShownCursor()
{
    return QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor;
}

// Runs action once, as soon as ready() holds, while the test goes on in the event loop.
class WhenReady
{
  public:
    WhenReady(std::function<bool()> ready, std::function<void()> action)
    {
        QObject::connect(&poll, &QTimer::timeout,
                         [this, ready = std::move(ready), action = std::move(action)]
                         {
                             if (!ready())
                                 return;
                             poll.stop();
                             action();
                         });
        poll.start(5);
    }

  private:
    QTimer poll;
};

// A main window with its preferences dialog, as start-up makes them, with the fixed files and
// the settings in a temporary folder, questions answered by script, nothing printed for real
// and pauses cut short.
struct RobotWindow
{
    TempDir home;
    platform::ScriptedPrompts prompts;
    platform::ScriptedShell shell;
    TFormKestrow form;
    TFormPreferences preferences;

    RobotWindow() : preferences(form.Settings, [this] { return home.Path() + "KestrowLog.txt"; })
    {
        setenv("KESTROW_HOME", home.Path().c_str(), 1);
        setenv("KESTROW_SETTINGS", (home.Path() + "settings.json").c_str(), 1);
        form.AttachPreferences(&preferences);
        platform::SetPauseScale(0, 1);
    }
    ~RobotWindow()
    {
        platform::SetPauseScale(1, 1);
        unsetenv("KESTROW_HOME");
        unsetenv("KESTROW_SETTINGS");
    }
    RobotWindow(const RobotWindow&) = delete;
    RobotWindow& operator=(const RobotWindow&) = delete;

    // One transfer at a time unless a test says otherwise: most window tests follow one file.
    void Preferences(int logLevel, int retries, int timeOut = 5, int simultaneous = 1)
    {
        preferences.ComboBoxLog->setCurrentIndex(logLevel);
        preferences.SpinEditRetries->setValue(retries);
        preferences.SpinEditTimeOut->setValue(timeOut);
        preferences.SpinEditSimultaneous->setValue(simultaneous);
    }
    std::string Log() const { return home.Read("KestrowLog.txt"); }

    // Starts a run that waits for a start time it never reaches and calls during() while it
    // waits, with the window as a run shows it; the run ends once during() has returned, stopped
    // without a question unless during() ended it.
    void DuringARun(const std::function<void()>& during)
    {
        preferences.CheckBoxStartAt->setChecked(true);
        const platform::ScriptedClock clock(QDateTime(QDate(2026, 12, 7), QTime(3, 1)), 0);
        const WhenReady when([this] { return form.Robot->Running(); },
                             [this, during]
                             {
                                 during();
                                 if (form.Robot->Running())
                                     form.Robot->RequestStop();
                             });
        Press(form.SpeedButtonGo);
        preferences.CheckBoxStartAt->setChecked(false);
    }

    // Presses Go or Test and waits, as a user would, until the run has ended.
    void Press(QToolButton* button)
    {
        form.SpeedButtonGoClick(button);
        WaitForTheRun();
    }
    void WaitForTheRun()
    {
        while (form.Robot->RunActive())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    // Double-clicks the selected entry and waits until its preview has ended and the window has
    // heard how.
    void Preview()
    {
        form.ListBoxURLListDblClick();
        WaitForThePreview();
    }
    void WaitForThePreview()
    {
        while (form.Robot->PreviewActive())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents();
    }
};
