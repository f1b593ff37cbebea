#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "platform/clock.h"
#include "platform/prompt.h"
#include "settings/formopenfile.h"
#include "settings/formpreferences.h"
#include "settings/starttime.h"
#include "settings/placewindow.h"
#include "tempdir.h"

namespace
{
std::string Time(int hour, int minute)
{
    return StartTimeText(QTime(hour, minute));
}

TSettingsRecord Loaded()
{
    TSettingsRecord settings;
    settings.SettingsLoaded = true;
    return settings;
}

void DoubleClickCell(QTableWidget* grid, int row, int column)
{
    const QPoint centre = grid->visualRect(grid->model()->index(row, column)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, centre);
}
} // namespace

TEST(FormPreferences, ControlsStartAtTheirInitialValues)
{
    TSettingsRecord settings;
    TFormPreferences form(settings, {});
    EXPECT_EQ(form.windowTitle(), "Preferences");
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.isModal());
    EXPECT_EQ(form.SpinEditTimeOut->minimum(), 5);
    EXPECT_EQ(form.SpinEditTimeOut->maximum(), 999);
    EXPECT_EQ(form.SpinEditTimeOut->value(), 5);
    EXPECT_EQ(form.SpinEditRetries->minimum(), 0);
    EXPECT_EQ(form.SpinEditRetries->maximum(), 999);
    EXPECT_EQ(form.SpinEditRetries->value(), 5);
    EXPECT_EQ(form.LabelSimultaneous->text(), "Simultaneous transfers");
    EXPECT_EQ(form.SpinEditSimultaneous->minimum(), 1);
    EXPECT_EQ(form.SpinEditSimultaneous->maximum(), 16);
    EXPECT_EQ(form.SpinEditSimultaneous->value(), 4);
    EXPECT_EQ(form.LabelLimitRate->text(), "Limit speed to");
    EXPECT_EQ(form.SpinEditLimitRate->value(), 0);
    EXPECT_EQ(form.SpinEditLimitRate->text(), "no limit");
    EXPECT_EQ(form.LabelLimitRateUnit->text(), "KiB/s");
    EXPECT_TRUE(form.CheckBoxChecksums->isChecked());
    EXPECT_EQ(form.LabelUserAgent->text(), "Identify as");
    EXPECT_EQ(form.EditUserAgent->text(), "");
    EXPECT_EQ(form.LabelCookiesFile->text(), "Cookies file");
    EXPECT_EQ(form.EditCookiesFile->text(), "");
    ASSERT_EQ(form.ComboBoxLog->count(), 4);
    EXPECT_EQ(form.ComboBoxLog->itemText(0), "None");
    EXPECT_EQ(form.ComboBoxLog->itemText(3), "URLs, Files, HTTP codes, Errors");
    EXPECT_FALSE(form.ComboBoxLog->isEditable());
    EXPECT_FALSE(form.CheckBoxOverWrite->isChecked());
    EXPECT_FALSE(form.CheckBoxSaveImages->isChecked());
    EXPECT_FALSE(form.CheckBoxPrint->isChecked());
    EXPECT_TRUE(form.RadioButtonDLNothing->isChecked());
    EXPECT_EQ(form.RadioButtonDLShutDown->text(), "shutdown PC");
    EXPECT_EQ(form.GroupBox1->title(), "After download");
    EXPECT_FALSE(form.CheckBoxStartAt->isChecked());
    EXPECT_EQ(form.StaticTextStartTime->text(), "--:--");
    EXPECT_EQ(form.StringGridStartTime->toolTip(), "Double-click on a time to schedule.");
    EXPECT_EQ(form.EditProxyServer->toolTip().left(24), "Set the Proxy Server eg ");
    EXPECT_EQ(form.BitBtn1->text(), "Clear");
    EXPECT_EQ(form.MemoLog->toolTip(), "The activity log");

    // 96 quarter hours, eight to a row.
    QTableWidget* grid = form.StringGridStartTime;
    ASSERT_EQ(grid->columnCount(), 8);
    ASSERT_EQ(grid->rowCount(), 12);
    EXPECT_EQ(grid->item(0, 0)->text().toStdString(), Time(0, 0));
    EXPECT_EQ(grid->item(0, 7)->text().toStdString(), Time(1, 45));
    EXPECT_EQ(grid->item(3, 5)->text().toStdString(), Time(7, 15));
    EXPECT_EQ(grid->item(11, 7)->text().toStdString(), Time(23, 45));
    EXPECT_EQ(grid->columnWidth(3), 40);
    EXPECT_EQ(grid->rowHeight(3), 18);
    EXPECT_FALSE(grid->isVisibleTo(&form));

    // Every control lies whole inside the window and clear of the others; captions get the width
    // their text needs. The grid, opened on demand, lies over the log but under the controls.
    const QRect window = form.rect();
    const QList<QWidget*> controls = form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* control : controls)
    {
        const std::string name = control->metaObject()->className() + std::string(" ") +
                                 control->property("text").toString().toStdString();
        EXPECT_TRUE(window.contains(control->geometry())) << name;
        if (auto* label = qobject_cast<QLabel*>(control))
        {
            EXPECT_GE(label->width(), label->sizeHint().width()) << name;
        }
        for (QWidget* other : controls)
        {
            if (other != control && other != grid && control != grid)
            {
                EXPECT_FALSE(control->geometry().intersects(other->geometry()))
                    << name << " and " << other->metaObject()->className();
            }
        }
    }
    EXPECT_GT(grid->geometry().top(), form.EditCookiesFile->geometry().bottom());
    EXPECT_GT(grid->geometry().top(), form.GroupBox1->geometry().bottom());
}

TEST(FormPreferences, TakesTheStoredValues)
{
    TSettingsRecord settings = Loaded();
    settings.TimeOut = 0;
    settings.Retries = 1000;
    settings.LogLevel = 7;
    settings.StartAt = Time(7, 15);
    settings.ProxyServer = "  proxy.example.com:3128 ";
    settings.FrmPrefLoc = PackWindowLocation(20, 30);
    settings.SimultaneousTransfers = 11;
    settings.LimitRateKiB = 2048;
    settings.CheckChecksums = 0;
    settings.UserAgent = "Mozilla/5.0";
    settings.CookiesFile = "/home/me/cookies.txt";
    TFormPreferences form(settings, {});
    EXPECT_EQ(form.SpinEditLimitRate->value(), 2048);
    EXPECT_FALSE(form.CheckBoxChecksums->isChecked());
    EXPECT_EQ(form.EditUserAgent->text(), "Mozilla/5.0");
    EXPECT_EQ(form.EditCookiesFile->text(), "/home/me/cookies.txt");
    EXPECT_EQ(form.SpinEditTimeOut->value(), 5);
    EXPECT_EQ(form.SpinEditRetries->value(), 999);
    EXPECT_EQ(form.SpinEditSimultaneous->value(), 11);
    EXPECT_EQ(form.ComboBoxLog->currentIndex(), -1);
    EXPECT_EQ(form.StringGridStartTime->currentRow(), 3);
    EXPECT_EQ(form.StringGridStartTime->currentColumn(), 5);
    EXPECT_EQ(form.SelectedStartTime(), Time(7, 15));
    EXPECT_EQ(form.EditProxyServer->text(), "proxy.example.com:3128");
    EXPECT_EQ(form.pos(), QPoint(20, 30));
    // "Start at" is not restored.
    EXPECT_FALSE(form.CheckBoxStartAt->isChecked());
    EXPECT_EQ(form.StaticTextStartTime->text(), "--:--");

    // Hiding gives back what the controls hold: the clamped numbers, no log level.
    form.show();
    form.hide();
    EXPECT_EQ(settings.TimeOut, 5);
    EXPECT_EQ(settings.Retries, 999);
    EXPECT_EQ(settings.LogLevel, -1);
    EXPECT_EQ(settings.ProxyServer, "proxy.example.com:3128");
    EXPECT_EQ(settings.StartAt, "");
    EXPECT_EQ(settings.FrmPrefLoc, WindowLocation(&form));

    TSettingsRecord unmatched = Loaded();
    unmatched.StartAt = "07:16";
    unmatched.LogLevel = 2;
    TFormPreferences other(unmatched, {});
    EXPECT_EQ(other.SelectedStartTime(), Time(20, 0));
    EXPECT_EQ(other.ComboBoxLog->currentIndex(), 2);
}

TEST(FormPreferences, TakesNothingBeforeTheSettingsWereRead)
{
    TSettingsRecord settings;
    TFormPreferences form(settings, {});
    EXPECT_FALSE(form.SettingsTaken());
    settings.TimeOut = 30;
    settings.Retries = 2;
    settings.LogLevel = 3;
    settings.StartAt = Time(6, 0);
    // A hide before then must not put the dialog's defaults over the values being read.
    form.show();
    form.hide();
    EXPECT_EQ(settings.TimeOut, 30);
    EXPECT_EQ(settings.Retries, 2);
    EXPECT_EQ(settings.StartAt, Time(6, 0));

    settings.SettingsLoaded = true;
    form.TakeSettings();
    EXPECT_TRUE(form.SettingsTaken());
    EXPECT_EQ(form.SpinEditTimeOut->value(), 30);
    EXPECT_EQ(form.ComboBoxLog->currentIndex(), 3);
    EXPECT_EQ(form.SelectedStartTime(), Time(6, 0));
}

TEST(FormPreferences, StartAtPicksAndClearsTheScheduledTime)
{
    TSettingsRecord settings = Loaded();
    TFormPreferences form(settings, {});
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTableWidget* grid = form.StringGridStartTime;

    // First start: checking the box and closing at once stores 20:00.
    QTest::mouseClick(form.CheckBoxStartAt, Qt::LeftButton);
    EXPECT_TRUE(form.CheckBoxStartAt->isChecked());
    EXPECT_TRUE(grid->isVisible());
    QTest::mouseClick(form.BitBtnOK, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(settings.StartAt, Time(20, 0));

    // A double-click picks the time and puts the grid away; the grid has the focus, as it has
    // under a user's hand, and losing it moves the time on by nothing.
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    grid->setFocus();
    ASSERT_TRUE(grid->hasFocus());
    DoubleClickCell(grid, 6, 2);
    EXPECT_FALSE(grid->isVisible());
    EXPECT_EQ(form.StaticTextStartTime->text().toStdString(), Time(12, 30));
    EXPECT_EQ(form.SelectedStartTime(), Time(12, 30)) << "the time the run waits for";
    form.hide();
    EXPECT_EQ(settings.StartAt, Time(12, 30));
    form.show();
    DoubleClickCell(grid, 3, 5);
    EXPECT_EQ(form.StaticTextStartTime->text().toStdString(), Time(7, 15));
    EXPECT_TRUE(form.CheckBoxStartAt->isChecked());
    form.hide();
    EXPECT_EQ(settings.StartAt, Time(7, 15));

    // A click selects without picking; the selected cell still counts.
    form.show();
    QTest::mouseClick(form.CheckBoxStartAt, Qt::LeftButton);
    EXPECT_EQ(form.StaticTextStartTime->text(), "--:--");
    QTest::mouseClick(form.CheckBoxStartAt, Qt::LeftButton);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(0, 1)).center());
    EXPECT_TRUE(grid->isVisible());
    form.hide();
    EXPECT_EQ(settings.StartAt, Time(0, 15));

    // A click on the window's background closes the grid and cancels the schedule.
    form.show();
    ASSERT_TRUE(grid->isVisible());
    QTest::mouseClick(&form, Qt::LeftButton, {}, QPoint(200, 140));
    EXPECT_FALSE(grid->isVisible());
    EXPECT_FALSE(form.CheckBoxStartAt->isChecked());
    EXPECT_EQ(form.StaticTextStartTime->text(), "--:--");
    form.hide();
    EXPECT_EQ(settings.StartAt, "");

    // So does a click into the log, but only while the grid is open.
    form.show();
    QTest::mouseClick(form.MemoLog->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(form.CheckBoxStartAt->isChecked());
    QTest::mouseClick(form.CheckBoxStartAt, Qt::LeftButton);
    DoubleClickCell(grid, 11, 7);
    QTest::mouseClick(form.MemoLog->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(form.CheckBoxStartAt->isChecked());
    EXPECT_EQ(form.StaticTextStartTime->text().toStdString(), Time(23, 45));
    QTest::mouseClick(form.CheckBoxStartAt, Qt::LeftButton);
    DoubleClickCell(grid, 11, 7);
    QTest::mouseClick(form.CheckBoxStartAt, Qt::LeftButton);
    EXPECT_TRUE(grid->isVisible());
    QTest::mouseClick(form.MemoLog->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(grid->isVisible());
    EXPECT_FALSE(form.CheckBoxStartAt->isChecked());
    EXPECT_EQ(form.StaticTextStartTime->text(), "--:--");
}

TEST(FormPreferences, HidingCopiesTheValuesBack)
{
    TSettingsRecord settings = Loaded();
    settings.FrmPrefLoc = 65535;
    TFormPreferences form(settings, {});
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.SpinEditTimeOut->selectAll();
    QTest::keyClicks(form.SpinEditTimeOut, "120");
    form.SpinEditRetries->setValue(0);
    form.SpinEditSimultaneous->selectAll();
    QTest::keyClicks(form.SpinEditSimultaneous, "12");
    form.ComboBoxLog->setCurrentIndex(1);
    QTest::keyClicks(form.EditProxyServer, " cache.example.org:8080  ");
    form.SpinEditLimitRate->selectAll();
    QTest::keyClicks(form.SpinEditLimitRate, "512");
    QTest::mouseClick(form.CheckBoxChecksums, Qt::LeftButton);
    // A line break pasted into the identity would split every request it goes in.
    form.EditUserAgent->setText(QStringLiteral(" Fetcher/1.0\r\nX-Injected: 1 "));
    QTest::keyClicks(form.EditCookiesFile, " /tmp/cookies.txt ");
    // Places are those of the client area, as they are restored.
    form.setGeometry(QRect(QPoint(33, 44), form.size()));
    form.close();
    EXPECT_EQ(settings.TimeOut, 120);
    EXPECT_EQ(settings.Retries, 0);
    EXPECT_EQ(settings.SimultaneousTransfers, 12);
    EXPECT_EQ(settings.LimitRateKiB, 512);
    EXPECT_EQ(settings.CheckChecksums, 0);
    EXPECT_EQ(settings.UserAgent, "Fetcher/1.0  X-Injected: 1");
    EXPECT_EQ(settings.CookiesFile, "/tmp/cookies.txt");
    EXPECT_EQ(settings.LogLevel, 1);
    EXPECT_EQ(settings.ProxyServer, "cache.example.org:8080");
    EXPECT_EQ(settings.FrmPrefLoc, PackWindowLocation(33, 44));
    EXPECT_EQ(settings.StartAt, "");
}

TEST(FormPreferences, ClearEmptiesTheLogAndDeletesItsFile)
{
    TempDir dir;
    const std::string log = dir.Write("KestrowLog.txt", "Download started\r\n");
    TSettingsRecord settings = Loaded();
    TFormPreferences form(settings, [&] { return log; });
    form.show();
    form.MemoLog->appendPlainText("Download started");
    platform::ScriptedPrompts prompts;
    QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
    EXPECT_TRUE(form.MemoLog->toPlainText().isEmpty());
    EXPECT_FALSE(dir.Exists("KestrowLog.txt"));
    EXPECT_TRUE(prompts.Questions.empty());
    EXPECT_TRUE(form.isVisible());
    // Nothing to delete is no error either.
    QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
    EXPECT_TRUE(prompts.Messages.empty());
}

TEST(StartTime, UsesTheUsersTimeSeparator)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(StartTimeText(QTime(7, 5)), "07:05");
    EXPECT_EQ(StartTimeCellText(95), "23:45");
    QLocale::setDefault(QLocale(QLocale::Finnish, QLocale::Finland));
    EXPECT_EQ(TimeSeparator(), ".");
    EXPECT_EQ(StartTimeText(QTime(20, 0)), "20.00");
    EXPECT_EQ(StartTimeCellText(29), "07.15");
    QLocale::setDefault(saved);
}

TEST(FormPreferences, TheCookiesFileIsChosenInTheOpenDialog)
{
    TempDir dir;
    const std::string cookies = dir.Write("cookies.txt", "# Netscape HTTP Cookie File\n");
    TSettingsRecord settings = Loaded();
    TFormPreferences form(settings, {});
    bool asked = false;
    QTimer::singleShot(0, &form,
                       [&]
                       {
                           auto* open = form.findChild<TFormOpenFile*>();
                           if (!open)
                               return;
                           asked = open->isVisible() && open->windowTitle() == "Cookies file";
                           open->EditFileName->setText(QString::fromStdString(cookies));
                           open->BitBtnOk->click();
                       });
    QTest::mouseClick(form.ButtonCookiesFile, Qt::LeftButton);
    EXPECT_TRUE(asked);
    EXPECT_EQ(form.EditCookiesFile->text().toStdString(), cookies);
    EXPECT_EQ(form.CookiesFileText(), cookies);
}
