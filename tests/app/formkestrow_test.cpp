#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QProgressBar>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QStyleOptionComboBox>
#include <QTimer>
#include <QToolButton>

#include "app/formkestrow.h"
#include "app/elidedlabel.h"
#include "app/listbox.h"
#include "platform/clock.h"
#include "platform/prompt.h"
#include "settings/formpreferences.h"
#include "robotwindow.h"
#include "tempdir.h"

using Window = RobotWindow;

TEST(TFormKestrow, GoNeedsAnEntryAndAddNeedsMoreThanTheStartText)
{
    Window w;
    w.form.FormCreate({});
    EXPECT_FALSE(w.form.SpeedButtonGo->isEnabled());
    EXPECT_FALSE(w.form.SpeedButtonTest->isEnabled());
    EXPECT_FALSE(w.form.SpeedButtonStop->isEnabled());
    EXPECT_FALSE(w.form.ButtonAddURL->isEnabled());

    w.form.EditURL->setText("HTTP://www.");
    EXPECT_FALSE(w.form.ButtonAddURL->isEnabled());
    QTest::keyClicks(w.form.EditURL, " ");
    EXPECT_TRUE(w.form.ButtonAddURL->isEnabled());
    w.form.EditURL->setText("   ");
    EXPECT_FALSE(w.form.ButtonAddURL->isEnabled());
}

TEST(TFormKestrow, AddingAnAddressStoresItWithTheOutputDirectory)
{
    Window w;
    w.form.FormCreate({});
    w.form.EditOutputPath->setText("  /data/out ");
    w.form.EditURL->setText("WWW.SERVER/LIST.HTML#TOP");
    QTest::mouseClick(w.form.ButtonAddURL, Qt::LeftButton);
    EXPECT_EQ(w.form.EditOutputPath->text().toStdString(), "/data/out/");
    ASSERT_EQ(w.form.ListBoxURLList->Count(), 1);
    EXPECT_EQ(w.form.ListBoxURLList->Item(0), "http://WWW.SERVER/LIST.HTML->/data/out/");
    EXPECT_TRUE(w.form.SpeedButtonGo->isEnabled());

    // The same entry again asks first; No adds nothing, Yes adds it.
    w.form.EditURL->setText("www.server/list.html");
    QTest::keyClick(w.form.EditURL, Qt::Key_Return);
    EXPECT_EQ(w.form.ListBoxURLList->Count(), 1);
    ASSERT_EQ(w.prompts.Questions.size(), 1u);
    EXPECT_EQ(w.prompts.Questions[0], "URL 'www.server/list.html' already exists.\r\nAdd again?");
    w.prompts.Answers = {true};
    QTest::keyClick(w.form.EditURL, Qt::Key_Return);
    EXPECT_EQ(w.form.ListBoxURLList->Count(), 2);

    // Another output directory makes another entry, without a question.
    w.form.EditOutputPath->setText("/data/other");
    w.form.EditURL->setText("http://a/b.html->ignored");
    w.form.ButtonAddURLClick();
    EXPECT_EQ(w.form.ListBoxURLList->Item(2), "http://a/b.html->/data/other/");
    EXPECT_EQ(w.prompts.Questions.size(), 2u);

    // A relative folder is one in the home folder, whatever folder the program started in; the
    // field and the entry show it whole. An empty one is refused, and the address stays to be
    // added once there is a folder.
    const std::string home = QDir::homePath().toStdString();
    for (const auto& [typed, shown] : {std::pair{"Downloads/x", home + "/Downloads/x/"},
                                       std::pair{" ~/dl ", home + "/dl/"}, std::pair{"~", home + "/"}})
    {
        w.form.EditOutputPath->setText(typed);
        w.form.EditURL->setText("http://rel/a.html");
        w.form.ButtonAddURLClick();
        EXPECT_EQ(w.form.EditOutputPath->text().toStdString(), shown);
        EXPECT_EQ(w.form.ListBoxURLList->Item(w.form.ListBoxURLList->Count() - 1),
                  "http://rel/a.html->" + shown);
    }
    const int count = w.form.ListBoxURLList->Count();
    w.form.EditOutputPath->setText("  ");
    w.form.EditURL->setText("http://nowhere/a.html");
    QTest::mouseClick(w.form.ButtonAddURL, Qt::LeftButton);
    EXPECT_EQ(w.form.ListBoxURLList->Count(), count);
    EXPECT_EQ(w.prompts.Messages, std::vector<std::string>{"Enter the folder to save to: Save to is empty."});
    EXPECT_EQ(w.form.EditURL->text(), "http://nowhere/a.html");
}

TEST(TFormKestrow, CommandLineNamesAListFile)
{
    Window w;
    w.home.Write("My Lists/urls.kes", "http://a/1.html->/o/\r\nhttp://b/2.html\n");
    w.form.FormCreate({w.home.Path() + "My", "Lists/urls.kes"});
    ASSERT_EQ(w.form.ListBoxURLList->Count(), 2);
    EXPECT_EQ(w.form.ListBoxURLList->Item(1), "http://b/2.html");
    EXPECT_TRUE(w.form.SpeedButtonGo->isEnabled());
    EXPECT_TRUE(w.prompts.Messages.empty());

    // A name that is no UTF-8 is opened by its bytes.
    Window bytes;
    bytes.form.FormCreate({bytes.home.Write("n-caf\xe9.kes", "http://caf\xe9/->/o/\r\n")});
    EXPECT_EQ(bytes.form.ListBoxURLList->Items(), std::vector<std::string>{"http://caf\xe9/->/o/"});
    EXPECT_TRUE(bytes.prompts.Messages.empty());

    // A named file that cannot be read says which and why, and the list kept from last time
    // stays: shown now, and kept as it was at the end.
    const std::string kept = "http://kept/1.html->/o/\r\nhttp://kept/2.html->/o/\r\n";
    for (const char* name : {"missing", "folder", "unreadable"})
    {
        SCOPED_TRACE(name);
        Window failed;
        failed.home.Write("URLList.kes", kept);
        std::string named = failed.home.Path() + "typo.kes";
        std::string said = named + "  File not found";
        if (name == std::string("folder"))
        {
            std::filesystem::create_directory(named);
            said = named + " is not a regular file";
        }
        else if (name == std::string("unreadable"))
        {
            named = failed.home.Write("long.kes", "http://a/" + std::string(70000, 'x') + "\r\n");
            said = "Line 1 of " + named + " is longer than 65536 bytes";
        }
        failed.form.FormCreate({named});
        EXPECT_EQ(failed.prompts.Messages, std::vector<std::string>{said});
        EXPECT_EQ(failed.form.ListBoxURLList->Items(),
                  (std::vector<std::string>{"http://kept/1.html->/o/", "http://kept/2.html->/o/"}));
        EXPECT_TRUE(failed.form.close());
        EXPECT_EQ(failed.home.Read("URLList.kes"), kept);
    }
}

TEST(TFormKestrow, RunningDisablesStartingAndEditing)
{
    Window w;
    w.form.ListBoxURLList->Add("http://a/->/o/");
    bool checked = false;
    w.DuringARun(
        [&]
        {
            checked = true;
            EXPECT_FALSE(w.form.SpeedButtonGo->isEnabled());
            EXPECT_TRUE(w.form.SpeedButtonStop->isEnabled());
            EXPECT_TRUE(w.form.SpeedButtonSkipFile->isEnabled());
            EXPECT_TRUE(w.form.EditURL->isReadOnly());
            EXPECT_TRUE(w.form.EditOutputPath->isReadOnly());
            EXPECT_FALSE(w.form.ButtonChooseDir->isEnabled());
        });
    EXPECT_TRUE(checked);
    EXPECT_TRUE(w.form.SpeedButtonGo->isEnabled());
    EXPECT_FALSE(w.form.EditURL->isReadOnly());
}

TEST(TFormKestrow, DuringAScheduledWaitEnterAddsNothingAndNothingStaleShows)
{
    Window w;
    w.form.FormCreate({});
    w.form.EditOutputPath->setText("/data/out/");
    w.form.ListBoxURLList->Add("http://127.0.0.1:1/list.html->/data/out/");
    w.Preferences(0, 0);
    w.preferences.CheckBoxStartAt->setChecked(true);
    platform::ScriptedClock clock(QDateTime(QDate(2026, 12, 7), QTime(3, 1)), 0);
    // What a run stopped before left on the window.
    w.form.StatusText(1, "Canceling");
    w.form.ListProgress(2, 2, "3 of 3");
    w.form.FileProgress(153, 153);
    w.form.Statistics("1.5K downloaded in 3 files @ 1.5K bytes/Sec");

    std::vector<std::string> seen;
    bool addEnabled = true;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout,
                     [&]
                     {
                         if (!w.form.StatusPanel0->text().contains(" Waiting until "))
                             return;
                         poll.stop();
                         for (const QLabel* label :
                              {static_cast<QLabel*>(w.form.StatusPanel1), w.form.LabelOverallProgress,
                               w.form.LabelFileProgress, w.form.LabellStats})
                             seen.push_back(label->text().toStdString());
                         // The field shows the entry being worked on; Enter there must not file it.
                         w.form.EditURL->setText("http://127.0.0.1:1/list.html");
                         addEnabled = w.form.ButtonAddURL->isEnabled();
                         QTest::keyClick(w.form.EditURL, Qt::Key_Return);
                         w.prompts.Answers = {true};
                         w.form.SpeedButtonStopClick();
                     });
    poll.start(5);
    w.Press(w.form.SpeedButtonGo);

    EXPECT_EQ(seen, std::vector<std::string>(4)) << "the wait shows no panel, progress or totals of before";
    EXPECT_FALSE(addEnabled);
    EXPECT_EQ(w.form.ListBoxURLList->Count(), 1);
    EXPECT_EQ(w.prompts.Questions, std::vector<std::string>{"Stop downloads?"});
    EXPECT_EQ(w.form.StatusPanel0->text(), "Cancelled.");
    EXPECT_TRUE(w.form.StatusPanel1->text().isEmpty()) << "the run's end aborts the clients silently";
    // Once the run is over, Enter adds again.
    QTest::keyClick(w.form.EditURL, Qt::Key_Return);
    EXPECT_EQ(w.form.ListBoxURLList->Count(), 1);
    EXPECT_EQ(w.prompts.Questions.back(), "URL 'http://127.0.0.1:1/list.html' already exists.\r\nAdd again?");
}

TEST(TFormKestrow, LogLinesGoToTheMemoAndAreAppendedToTheFile)
{
    Window w;
    w.form.WriteLog("first");
    w.form.WriteLog("");
    w.form.WriteLog("file only", true);
    EXPECT_EQ(w.home.Read("KestrowLog.txt"), "first\r\n\r\nfile only\r\n");
    EXPECT_EQ(w.preferences.MemoLog->toPlainText().toStdString(), "first\n");

    std::filesystem::remove(w.home.Path() + "KestrowLog.txt");
    w.form.WriteLog("again");
    EXPECT_EQ(w.home.Read("KestrowLog.txt"), "again\r\n");

    std::filesystem::permissions(w.home.Path() + "KestrowLog.txt", std::filesystem::perms::owner_read);
    w.form.WriteLog("not written");
    if (geteuid() != 0) // root writes through any permission
    {
        EXPECT_EQ(w.home.Read("KestrowLog.txt"), "again\r\n");
    }
    EXPECT_NE(w.preferences.MemoLog->toPlainText().toStdString().find("not written"), std::string::npos);
}

TEST(TFormKestrow, AtMostOneIndicatorShows)
{
    Window w;
    w.form.show();
    w.form.ShowIndicator(TIndicator::Error);
    EXPECT_TRUE(w.form.ImageError->isVisible());
    w.form.ShowIndicator(TIndicator::Timer);
    EXPECT_TRUE(w.form.ImageTimer->isVisible());
    EXPECT_FALSE(w.form.ImageError->isVisible());
    w.form.ShowIndicator(static_cast<TIndicator>(7));
    EXPECT_TRUE(w.form.ImageTimer->isVisible());
    w.form.ShowIndicator(TIndicator::None);
    EXPECT_FALSE(w.form.ImageTimer->isVisible() || w.form.ImageOK->isVisible() ||
                 w.form.ImageError->isVisible());
}

TEST(TFormKestrow, SettingsComeBackAfterARestart)
{
    TempDir home;
    setenv("KESTROW_SETTINGS", (home.Path() + "settings.json").c_str(), 1);
    {
        Window w;
        setenv("KESTROW_SETTINGS", (home.Path() + "settings.json").c_str(), 1);
        w.form.show();
        EXPECT_TRUE(w.prompts.Messages.empty()) << "a first start finds its settings";
        EXPECT_EQ(w.form.windowTitle().toStdString(), "Kestrow 1.14");
        w.form.EditExtension->setText(".iso");
        w.form.EditOutputPath->setText("/data/iso/");
        w.form.RadioButtonEndsWith->setChecked(true);
        // Preferences are taken from the dialog when it goes, here together with the window.
        w.form.MenuSetupPreferencesClick();
        w.preferences.SpinEditRetries->setValue(7);
        EXPECT_TRUE(w.form.close());
        EXPECT_FALSE(w.preferences.isVisible());
    }
    Window again;
    setenv("KESTROW_SETTINGS", (home.Path() + "settings.json").c_str(), 1);
    again.form.show();
    EXPECT_EQ(again.form.EditExtension->text().toStdString(), ".iso");
    EXPECT_EQ(again.form.EditOutputPath->text().toStdString(), "/data/iso/");
    EXPECT_TRUE(again.form.RadioButtonEndsWith->isChecked());
    EXPECT_EQ(again.preferences.SpinEditRetries->value(), 7);
    EXPECT_TRUE(again.prompts.Messages.empty());
    again.form.move(120, 90);
    const QSize larger = again.form.size() + QSize(120, 80);
    again.form.resize(larger);
    EXPECT_TRUE(again.form.close());

    // Starts that do not move the window leave its stored place as it was, and its size.
    const std::int32_t placed = again.form.Settings.FrmKestrowLoc;
    for (int start = 0; start < 10; ++start)
    {
        Window next;
        setenv("KESTROW_SETTINGS", (home.Path() + "settings.json").c_str(), 1);
        next.form.show();
        EXPECT_EQ(next.form.size(), larger);
        EXPECT_TRUE(next.form.close());
        ASSERT_EQ(next.form.Settings.FrmKestrowLoc, placed) << "start " << start;
    }
    unsetenv("KESTROW_SETTINGS");
}

TEST(TFormKestrow, ClosingDuringARunAsksFirst)
{
    Window w;
    w.DuringARun(
        [&]
        {
            EXPECT_FALSE(w.form.FormClose());
            EXPECT_EQ(w.prompts.Questions, std::vector<std::string>{"Cancel download and quit?"});
            EXPECT_FALSE(w.form.Robot->StopRequested());
            w.prompts.Answers = {true};
            EXPECT_TRUE(w.form.FormClose());
            EXPECT_TRUE(w.form.Robot->StopRequested());
        });
    EXPECT_FALSE(w.form.Robot->RunActive()) << "the run ended on its own once asked to";
}

TEST(TFormKestrow, ADroppedListFileReplacesTheUrlList)
{
    Window w;
    // Dropped as a file manager drops it, by its address; a name that is no UTF-8 is taken as the
    // bytes it is.
    const std::string list = w.home.Write("dropped-caf\xe9.kes", "http://a/1.html->/o/\r\n");
    QMimeData data;
    data.setUrls(
        {QUrl::fromEncoded(QByteArray("file://") + QByteArray::fromStdString(list).toPercentEncoding("/"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w.form, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w.form, &drop);
    EXPECT_EQ(w.form.ListBoxURLList->Items(), std::vector<std::string>{"http://a/1.html->/o/"});
    EXPECT_TRUE(w.form.SpeedButtonGo->isEnabled());

    w.form.FormFilesDropped({"/a.kes", "/b.kes"});
    EXPECT_EQ(w.prompts.Messages,
              std::vector<std::string>{"Sorry - multiple file drops are not supported (yet)"});
    w.form.FormFilesDropped({"/no/such.kes"});
    EXPECT_EQ(w.prompts.Messages.size(), 2u);
    EXPECT_EQ(w.form.ListBoxURLList->Count(), 1) << "a failed load leaves the list as it was";
}

TEST(TFormKestrow, TextsFitTheirPlacesAndIdleBarsStandStill)
{
    Window w;
    w.form.show();
    TRunObserver& shown = w.form;
    for (const std::int64_t received : {std::int64_t{183416832}, std::int64_t{1048565514}})
    {
        shown.FileProgress(received, 1048565514);
        const QLabel* label = w.form.LabelFileProgress;
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width())
            << label->text().toStdString();
    }
    shown.ListProgress(999998, 999999, "999999 of 1000000");
    EXPECT_LE(
        w.form.LabelOverallProgress->fontMetrics().horizontalAdvance(w.form.LabelOverallProgress->text()),
        w.form.LabelOverallProgress->contentsRect().width());
    // A status too long for its panel is cut visibly, and kept whole as the hint.
    shown.StatusText(1, "Request Close Socket");
    const QString drawn = w.form.StatusPanel1->DisplayedText();
    EXPECT_TRUE(drawn == "Request Close Socket" || drawn.endsWith(QChar(0x2026))) << drawn.toStdString();
    EXPECT_LE(w.form.StatusPanel1->fontMetrics().horizontalAdvance(drawn),
              w.form.StatusPanel1->contentsRect().width());
    EXPECT_EQ(w.form.StatusPanel1->toolTip(), "Request Close Socket");

    // Nothing to measure: the bars are empty, not busy.
    shown.ListProgress(0, 0, "1 of 1");
    shown.FileProgress(5000, 0);
    for (const QProgressBar* bar : {w.form.ProgressBarList, w.form.ProgressBarFile})
    {
        EXPECT_GT(bar->maximum(), bar->minimum());
        EXPECT_EQ(bar->value(), bar->minimum());
    }

    // The widest log level shows whole in its box.
    QComboBox* logLevels = w.preferences.ComboBoxLog;
    QStyleOptionComboBox box;
    box.initFrom(logLevels);
    const QRect field = logLevels->style()->subControlRect(QStyle::CC_ComboBox, &box,
                                                           QStyle::SC_ComboBoxEditField, logLevels);
    EXPECT_GE(field.width(), logLevels->fontMetrics().horizontalAdvance(logLevels->itemText(3)));

    // Only what each window offers: dialogs are of one size, so no window manager offers to
    // maximise them.
    EXPECT_EQ(w.preferences.minimumSize(), w.preferences.maximumSize());
    EXPECT_FALSE(w.preferences.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    // The start-time grid hides no other control.
    const QRect grid = w.preferences.StringGridStartTime->geometry();
    for (const QWidget* control : w.preferences.findChildren<QWidget*>())
    {
        if (control == w.preferences.StringGridStartTime || control == w.preferences.MemoLog ||
            w.preferences.StringGridStartTime->isAncestorOf(control) ||
            w.preferences.MemoLog->isAncestorOf(control) || control->parentWidget() != &w.preferences)
            continue;
        EXPECT_FALSE(grid.intersects(control->geometry())) << control->metaObject()->className();
    }
    EXPECT_FALSE(grid.intersects(w.preferences.GroupBox1->geometry()));
}

TEST(TFormKestrow, TheWindowOpensAtItsSizeAndTheListsTakeTheRoomOfALargerOne)
{
    Window w;
    w.form.show();
    const QSize opening = w.form.size();
    EXPECT_EQ(w.form.minimumSize(), opening) << "never smaller than it opens";
    EXPECT_EQ(w.form.centralWidget()->size(), QSize(462, 418));
    EXPECT_TRUE(w.form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w.form.windowFlags() & Qt::WindowMinimizeButtonHint);
    const QRect urls = w.form.ListBoxURLList->geometry();
    const QRect files = w.form.ListBoxFileList->geometry();
    const QRect stats = w.form.LabellStats->geometry();
    const QRect bar = w.form.ProgressBarFile->geometry();

    w.form.resize(opening + QSize(300, 250));
    QCoreApplication::processEvents();
    EXPECT_EQ(w.form.ListBoxURLList->geometry(), urls.adjusted(0, 0, 300, 100));
    EXPECT_EQ(w.form.ListBoxFileList->geometry(), files.adjusted(0, 100, 300, 250));
    EXPECT_EQ(w.form.ProgressBarFile->width(), bar.width() + 300);
    EXPECT_EQ(w.form.LabelFileProgress->x(), w.form.ProgressBarFile->geometry().right() + 7);
    EXPECT_EQ(w.form.LabellStats->width(), stats.width() + 300);
    EXPECT_EQ(w.form.ButtonBuild->geometry().right(), w.form.Panel5->width() - 9);
    // Nothing overlaps, nothing is left outside: the panels tile the client area.
    const QWidget* client = w.form.centralWidget();
    EXPECT_EQ(w.form.Panel2->geometry().bottom() + 1, w.form.Panel5->y());
    EXPECT_EQ(w.form.Panel5->geometry().bottom() + 1, w.form.Panel4->y());
    EXPECT_EQ(w.form.Panel4->geometry().bottom() + 1, w.form.Panel1->y());
    EXPECT_EQ(w.form.Panel1->geometry().bottom() + 1, client->height());
    for (const QWidget* panel : {w.form.Panel2, w.form.Panel5, w.form.Panel4, w.form.Panel1})
        EXPECT_EQ(panel->width(), client->width());
    EXPECT_LT(w.form.ListBoxURLList->geometry().bottom(), w.form.Label2->y());
    EXPECT_LT(w.form.Label2->geometry().bottom(), w.form.ListBoxFileList->y());
    EXPECT_LE(w.form.ListBoxFileList->geometry().bottom(), w.form.Panel4->height());
    EXPECT_GT(w.form.ImageOK->x(), w.form.ListBoxFileList->geometry().right());
    EXPECT_LE(w.form.ImageOK->geometry().right(), w.form.Panel4->width());

    // Back to its opening size, everything is where it was.
    w.form.resize(opening);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.form.ListBoxURLList->geometry(), urls);
    EXPECT_EQ(w.form.ListBoxFileList->geometry(), files);
}

TEST(TFormKestrow, TheLogShowsItsEndFromTheStartOfEachLine)
{
    Window w;
    w.Preferences(1, 0);
    for (int line = 0; line < 60; ++line)
        w.form.WriteLog("Failed to download page http://127.0.0.1:1/" + std::string(200, 'x') + " (line " +
                        std::to_string(line) + ")");
    w.form.MenuSetupPreferencesClick();
    const QPlainTextEdit* memo = w.preferences.MemoLog;
    EXPECT_EQ(memo->horizontalScrollBar()->value(), memo->horizontalScrollBar()->minimum());
    EXPECT_EQ(memo->verticalScrollBar()->value(), memo->verticalScrollBar()->maximum());
    EXPECT_GT(memo->verticalScrollBar()->maximum(), 0);
    w.form.WriteLog(std::string(300, 'y'));
    EXPECT_EQ(memo->horizontalScrollBar()->value(), memo->horizontalScrollBar()->minimum());
}
