#pragma once

#include <cstdlib>
#include <string>

#include <QComboBox>
#include <QSpinBox>

#include "app/formkestrow.h"
#include "platform/pause.h"
#include "platform/prompt.h"
#include "platform/shell.h"
#include "settings/formpreferences.h"
#include "tempdir.h"

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

    void Preferences(int logLevel, int retries, int timeOut = 5)
    {
        preferences.ComboBoxLog->setCurrentIndex(logLevel);
        preferences.SpinEditRetries->setValue(retries);
        preferences.SpinEditTimeOut->setValue(timeOut);
    }
    std::string Log() const { return home.Read("KestrowLog.txt"); }
};
