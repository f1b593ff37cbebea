#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/elidedlabel.h"
#include "app/listbox.h"
#include "nginxsite.h"
#include "peers.h"
#include "platform/clock.h"
#include "platform/pause.h"
#include "robot/sizetext.h"
#include "robotwindow.h"
#include "scriptedserver.h"
#include "silentlistener.h"

namespace
{
struct Site : NginxSite
{
    explicit Site(const std::string& name) : NginxSite("robot", name) {}
};

std::string TestName()
{
    return CurrentTestName();
}

std::string Label(const QLabel* label)
{
    return label->text().toStdString();
}

int Count(const std::string& text, const std::string& part)
{
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// A web server that answers with headers, part of a body, and then nothing more.
ScriptedServer::Script Stalling(const std::string& announced = "1000000")
{
    ScriptedServer::Script script;
    script.ExpectHeader()
        .Send("HTTP/1.0 200 OK\r\nContent-Length: " + announced + "\r\n\r\n")
        .Send(std::string(1000, 'x'))
        .Stall();
    return script;
}

// A web server that answers HEAD at once and GET with a short body before it closes.
ScriptedServer::Script Short()
{
    ScriptedServer::Script script;
    script.ExpectHeader().Send("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n0123456789").Close();
    return script;
}
} // namespace

TEST(DownloadRun, GoListsMatchingLinksAndMirrorsThemUnderTheOutputDirectory)
{
    RobotWindow w;
    Site site(TestName());
    site.Write("index.html", "<html><body>\r\n"
                             "<a href=\"files/a.zip\">a</a> <A HREF=/robot/" +
                                 TestName() +
                                 "/root.zip>\r\n"
                                 "<a href=\"" +
                                 site.url +
                                 "abs.zip\">abs</a><a href=readme.txt>"
                                 "<a href=gone/deeper/missing.zip><a href=../" +
                                 TestName() +
                                 "/up.zip><img src=pic.gif>\r\n"
                                 "</body></html>\r\n");
    site.Write("files/a.zip", "AAAA");
    site.Write("root.zip", "ROOT");
    site.Write("abs.zip", "ABSOLUTE");
    site.Write("pic.gif", "GIF89a");
    site.Write("up.zip", "UP");
    site.Write("second.html", "<a href=files/a.zip><a href=files/B.zip>");
    site.Write("files/B.zip", "BBBBBB");
    const std::string out = w.home.Path() + "out/";
    w.form.ListBoxURLList->SetItems(
        {site.url + "index.html->" + out, site.url + "second.html->" + out + "two/"});
    w.form.EditExtension->setText(".zip");
    w.form.EditOutputPath->setText("/kept/as/typed");
    w.Preferences(2, 1);
    w.form.UpdateControls();

    QTest::mouseClick(w.form.SpeedButtonGo, Qt::LeftButton);
    w.WaitForTheRun();

    // The missing file is the one error: not retried, not counted as a file, no folder left for it.
    EXPECT_EQ(w.form.Robot->ErrorCount(), 1);
    EXPECT_TRUE(w.prompts.Messages.empty());
    EXPECT_EQ(w.prompts.Questions,
              std::vector<std::string>{"1 error occured.  Would you like to view the log?."});
    EXPECT_FALSE(w.home.Exists("out/gone"));
    EXPECT_EQ(w.home.Read("out/files/a.zip"), "AAAA");
    EXPECT_EQ(w.home.Read("out/robot/" + TestName() + "/root.zip"), "ROOT");
    const std::string absoluteName =
        "http---127.0.0.1-" + std::to_string(PeerPort("nginx")) + "-robot-" + TestName() + "-abs.zip";
    EXPECT_EQ(w.home.Read("out/" + absoluteName), "ABSOLUTE");
    EXPECT_EQ(w.home.Read("out/" + TestName() + "/up.zip"), "UP")
        << "a link upwards stays in the output directory";
    EXPECT_FALSE(w.home.Exists(TestName()));
    EXPECT_FALSE(w.home.Exists("out/readme.txt"));
    EXPECT_FALSE(w.home.Exists("out/pic.gif")) << "images only with Save images";
    EXPECT_FALSE(w.home.Exists("out/gone/deeper/missing.zip")) << "an error page is never kept as the file";
    EXPECT_TRUE(w.home.Exists("out/" + std::string("http---127.0.0.1-") + std::to_string(PeerPort("nginx")) +
                              "-robot-" + TestName() + "-index.html"));
    // The second page's a.zip was listed on the first page already.
    EXPECT_EQ(w.home.Read("out/two/files/B.zip"), "BBBBBB");
    EXPECT_FALSE(w.home.Exists("out/two/files/a.zip"));
    EXPECT_EQ(w.form.ListBoxFileList->Items(), std::vector<std::string>{"files/B.zip"});

    const std::string log = w.Log();
    EXPECT_EQ(log.rfind("Download started ", 0), 0u) << log;
    EXPECT_NE(log.find("\r\n\r\nProcessing URL " + site.url + "index.html\r\n" + out + "files/a.zip\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(Count(log, "\r\n404 NOT FOUND\r\n"), 1) << log;
    EXPECT_NE(log.find("Processing URL " + site.url +
                       "second.html\r\n1 link was taken from an earlier page\r\n" + out +
                       "two/files/B.zip\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(Count(log, " taken from an earlier page"), 1) << log;
    EXPECT_NE(log.find(" downloaded in 5 files\r\n" + std::string(57, '=') + "\r\n"), std::string::npos)
        << log;
    EXPECT_NE(Label(w.form.LabellStats).find(" downloaded in 5 files @ "), std::string::npos);
    EXPECT_EQ(Label(w.form.StatusPanel0), "All done.");
    EXPECT_EQ(w.form.EditOutputPath->text().toStdString(), "/kept/as/typed/");
    EXPECT_FALSE(w.form.Robot->Running());
    EXPECT_TRUE(w.form.SpeedButtonGo->isEnabled());
}

TEST(DownloadRun, ImagesAndPagesSavedWithThem)
{
    RobotWindow w;
    Site site(TestName());
    site.Write("index.html", "<a href=page.html><img src=logo.gif>");
    site.Write("page.html", "<html><body><img src=inner.gif></body></html>");
    site.Write("logo.gif", "LOGO");
    site.Write("inner.gif", "INNER");
    w.form.ListBoxURLList->SetItems({site.url + "index.html->" + w.home.Path() + "out/"});
    w.form.EditExtension->setText(".html");
    w.preferences.CheckBoxSaveImages->setChecked(true);
    w.Preferences(1, 0);
    // Links join the File List while their page is scanned, under the busy cursor; the normal
    // one is back once they have.
    std::vector<Qt::CursorShape> cursors;
    QObject::connect(&w.form.Robot->FileList, &QAbstractItemModel::rowsInserted,
                     [&] { cursors.push_back(ShownCursor()); });
    w.Press(w.form.SpeedButtonGo);
    EXPECT_EQ(w.form.ListBoxFileList->Items(),
              (std::vector<std::string>{"page.html", "logo.gif", "inner.gif"}));
    EXPECT_EQ(cursors, std::vector<Qt::CursorShape>(3, Qt::WaitCursor));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(w.home.Read("out/inner.gif"), "INNER");
    EXPECT_EQ(w.home.Read("out/logo.gif"), "LOGO");
}

TEST(DownloadRun, EachEntryStartsWithEmptyBarsAndAFailedPageLeavesNone)
{
    RobotWindow w;
    Site site(TestName());
    site.Write("index.html", "<a href=a.zip>");
    site.Write("a.zip", "AAAA");
    // The next entry's server takes its time, and answers with an error page.
    ScriptedServer slow;
    const std::string notFound = "HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\n";
    slow.AddScript(ScriptedServer::Script().ExpectHeader().Pause(300).Send(notFound).Close());
    slow.AddScript(ScriptedServer::Script().ExpectHeader().Send(notFound + "not found").Close());
    const std::string out = w.home.Path() + "out/";
    w.form.ListBoxURLList->SetItems({site.url + "index.html->" + out, slow.Url("/list.html") + "->" + out});
    w.form.EditExtension->setText(".zip");
    w.Preferences(1, 0);
    std::vector<std::string> shown;
    int listBar = -1, fileBar = -1;
    const WhenReady when([&]
                         { return Label(w.form.StatusPanel0) == "Downloading " + slow.Url("/list.html"); },
                         [&]
                         {
                             shown = {Label(w.form.LabelOverallProgress), Label(w.form.LabelFileProgress)};
                             listBar = w.form.ProgressBarList->value();
                             fileBar = w.form.ProgressBarFile->value();
                         });
    w.Press(w.form.SpeedButtonGo);
    EXPECT_EQ(w.home.Read("out/a.zip"), "AAAA");
    EXPECT_EQ(shown, (std::vector<std::string>{"", ""})) << "nothing of the entry before";
    EXPECT_EQ(listBar, 0);
    EXPECT_EQ(fileBar, 0);
    EXPECT_EQ(w.form.Robot->ErrorCount(), 1);
    EXPECT_EQ(w.form.ProgressBarFile->value(), 0);
    EXPECT_TRUE(w.form.LabelFileProgress->text().isEmpty()) << Label(w.form.LabelFileProgress);
}

TEST(DownloadRun, AFileThatFailsForGoodShowsTheErrorAndAsksToViewTheLog)
{
    RobotWindow w;
    Site site(TestName());
    ScriptedServer server;
    server.AddScript(Short());
    // And a server that is not there: the log says which and what happened.
    QTcpServer gone;
    gone.listen(QHostAddress::LocalHost, 0);
    const std::string refused = "127.0.0.1:" + std::to_string(gone.serverPort());
    gone.close();
    site.Write("index.html", "<a href=" + server.Url("/broken.zip") + "><a href=fine.zip><a href=http://" +
                                 refused + "/gone.zip>");
    site.Write("fine.zip", "FINE");
    w.form.ListBoxURLList->SetItems({site.url + "index.html->" + w.home.Path() + "out/"});
    w.Preferences(2, 0);
    w.form.show();
    // The question at the end comes while the indicator still shows the error.
    struct Asked : platform::ScriptedPrompts
    {
        std::function<void()> OnQuestion;
        bool Confirm(const std::string& text) override
        {
            OnQuestion();
            return ScriptedPrompts::Confirm(text);
        }
    } asked;
    bool errorShown = false;
    asked.OnQuestion = [&] { errorShown = w.form.ImageError->isVisible(); };
    w.Press(w.form.SpeedButtonGo);

    EXPECT_TRUE(errorShown) << "the error indicator shows once the file failed";
    EXPECT_TRUE(w.form.ImageError->isHidden()) << "and goes with the run";
    EXPECT_EQ(asked.Questions,
              std::vector<std::string>{"2 errors occured.  Would you like to view the log?."});
    const std::string memo = w.preferences.MemoLog->toPlainText().toStdString();
    EXPECT_NE(memo.find("\n(Transfer incomplete: 10 of 100 bytes)\n"), std::string::npos)
        << "the log shows in the preferences' memo";
    EXPECT_NE(memo.find("\n(Connection Failed: " + refused + " refused the connection)\n"), std::string::npos)
        << memo;
    EXPECT_EQ(Label(w.form.StatusPanel0), "All done.");
}

TEST(DownloadRun, AtLogLevelZeroNothingIsLoggedAndTheErrorsAreAnnounced)
{
    RobotWindow w;
    w.form.ListBoxURLList->SetItems(
        {"http://127.0.0.1:1/nothing.html->" + w.home.Path() + "out/", "http://127.0.0.1:1/either.html"});
    w.Preferences(0, 0);
    w.Press(w.form.SpeedButtonGo);
    EXPECT_EQ(w.form.Robot->ErrorCount(), 2);
    EXPECT_EQ(w.Log(), "");
    EXPECT_EQ(w.prompts.Messages, std::vector<std::string>{"2 errors occured and were not logged."});

    RobotWindow logged;
    logged.form.ListBoxURLList->SetItems({"127.0.0.1:1/x.html"});
    logged.Preferences(1, 0);
    logged.Press(logged.form.SpeedButtonGo);
    EXPECT_NE(logged.Log().find("Processing URL http://127.0.0.1:1/x.html\r\nFailed to download page "
                                "http://127.0.0.1:1/x.html (Unable to create directory)\r\n"),
              std::string::npos)
        << logged.Log();
}

TEST(DownloadRun, ExistingFilesAreSkippedOrReplacedButNeverLostToAFailure)
{
    RobotWindow w;
    Site site(TestName());
    ScriptedServer server;
    server.AddScript(Short());
    site.Write("index.html", "<a href=kept.zip><a href=" + server.Url("/lost.zip") + ">");
    site.Write("kept.zip", "NEW");
    const std::string lostName = "out/http---127.0.0.1-" + std::to_string(server.Port()) + "-lost.zip";
    w.home.Write("out/kept.zip", "OLD");
    w.home.Write(lostName, "PRECIOUS");
    w.form.ListBoxURLList->SetItems({site.url + "index.html->" + w.home.Path() + "out/"});
    w.Preferences(2, 0);
    w.Press(w.form.SpeedButtonGo);
    EXPECT_EQ(w.home.Read("out/kept.zip"), "OLD");
    EXPECT_NE(w.Log().find(w.home.Path() + "out/kept.zip (File exists. Skipped.)\r\n"), std::string::npos);
    EXPECT_EQ(server.ConnectionCount(), 0);
    EXPECT_EQ(w.form.Robot->FilesDone(), 2u);

    w.preferences.CheckBoxOverWrite->setChecked(true);
    w.Press(w.form.SpeedButtonGo);
    EXPECT_EQ(w.home.Read("out/kept.zip"), "NEW");
    EXPECT_EQ(w.home.Read(lostName), "PRECIOUS") << "a failed overwrite keeps the old file";
    EXPECT_EQ(w.form.Robot->ErrorCount(), 1);
    for (const auto& entry : std::filesystem::directory_iterator(w.home.Path() + "out"))
        EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
}

TEST(DownloadRun, ATestRunWritesNothingButCountsAndPrintsEveryFile)
{
    RobotWindow w;
    Site site(TestName());
    site.Write("index.html", "<a href=a.zip><a href=sub/b.zip>");
    w.form.ListBoxURLList->SetItems({site.url + "index.html->" + w.home.Path() + "out/"});
    w.Preferences(2, 0);
    w.preferences.CheckBoxPrint->setChecked(true);
    w.shell.PrintResult = platform::ShellFileNotFound;
    w.Press(w.form.SpeedButtonTest);
    EXPECT_FALSE(w.home.Exists("out/a.zip"));
    EXPECT_FALSE(w.home.Exists("out/sub"));
    EXPECT_EQ(w.form.Robot->FilesDone(), 2u);
    EXPECT_EQ(w.form.Robot->BytesDone(), 0);
    EXPECT_EQ(w.shell.Printed.size(), 2u);
    EXPECT_NE(w.Log().find("The file " + w.home.Path() + "out/sub/b.zip was not found.\r\n"),
              std::string::npos);
    EXPECT_EQ(w.form.Robot->ErrorCount(), 0);

    // A printer that fails for its own reason says so once a run, and the log has it for every file.
    w.shell.PrintResult = 1;
    w.shell.PrintError = "lp: Error - No default destination.";
    w.Press(w.form.SpeedButtonTest);
    EXPECT_EQ(w.prompts.Messages, std::vector<std::string>{"lp: Error - No default destination."});
    EXPECT_EQ(Count(w.Log(), "\r\nlp: Error - No default destination.\r\n"), 2) << w.Log();
}

TEST(DownloadRun, TheWatchdogEndsAStalledTransfer)
{
    RobotWindow w;
    Site site(TestName());
    ScriptedServer server;
    server.AddScript(Stalling());
    site.Write("index.html", "<a href=" + server.Url("/slow.zip") + ">");
    SilentListener silent;
    const std::string silentPage = "http://127.0.0.1:" + std::to_string(silent.Port()) + "/list.html";
    w.form.ListBoxURLList->SetItems(
        {site.url + "index.html->" + w.home.Path() + "out/", silentPage + "->" + w.home.Path() + "out/"});
    w.Preferences(1, 0, 5);
    platform::SetTimeOutScale(1, 20);
    w.Press(w.form.SpeedButtonGo);
    platform::SetTimeOutScale(1, 1);
    EXPECT_EQ(w.form.Robot->ErrorCount(), 2);
    EXPECT_EQ(server.ConnectionCount(), 1);
    // The failure lines, of the file and of the page, say it was the time-out, in the seconds
    // of the preference.
    const std::string log = w.Log();
    EXPECT_EQ(Count(log, "\r\n("), 1) << log;
    EXPECT_EQ(Count(log, ": no data for 5 s)\r\n"), 2) << log;
    EXPECT_NE(log.find("Failed to download page " + silentPage + " ("), std::string::npos) << log;
    // The file failed: its bar is empty, not left at the part that came.
    EXPECT_EQ(w.form.ProgressBarFile->value(), 0);
    EXPECT_TRUE(w.form.LabelFileProgress->text().isEmpty()) << w.form.LabelFileProgress->text().toStdString();
}

TEST(DownloadRun, StopSkipFileAndSkipUrlDuringATransfer)
{
    struct Case
    {
        QToolButton* (*button)(TFormKestrow&);
        const char* question;
    };
    const Case cases[] = {
        {[](TFormKestrow& f) { return f.SpeedButtonSkipFile; }, "Skip this file?"},
        {[](TFormKestrow& f) { return f.SpeedButtonSkipURL; }, "Skip this URL?"},
        {[](TFormKestrow& f) { return f.SpeedButtonStop; }, "Stop downloads?"},
    };
    for (const Case& c : cases)
    {
        RobotWindow w;
        Site site(TestName() + std::to_string(&c - cases));
        ScriptedServer server;
        server.AddScript(Stalling());
        site.Write("index.html", "<a href=" + server.Url("/slow.zip") + "><a href=next.zip>");
        site.Write("next.zip", "NEXT");
        site.Write("other.html", "<a href=other.zip>");
        site.Write("other.zip", "OTHER");
        const std::string out = w.home.Path() + "out/";
        w.form.ListBoxURLList->SetItems({site.url + "index.html->" + out, site.url + "other.html->" + out});
        w.Preferences(1, 3, 60);
        w.prompts.Answers = {true};
        w.form.setWindowTitle("Kestrow idle");
        QToolButton* button = c.button(w.form);
        const WhenReady when([&] { return w.form.LabelFileProgress->text().contains("of"); },
                             [&] { QTest::mouseClick(button, Qt::LeftButton); });
        w.Press(w.form.SpeedButtonGo);

        // Each button asks first; the engine's tests tell what each does to the run.
        ASSERT_FALSE(w.prompts.Questions.empty());
        EXPECT_EQ(w.prompts.Questions[0], c.question);
        const bool stop = button == w.form.SpeedButtonStop;
        const std::string log = w.Log();
        EXPECT_EQ(Count(log, "-slow.zip Skipped\r\n"), stop ? 0 : 1) << log;
        EXPECT_EQ(Count(log, "-slow.zip Stopped\r\n"), stop ? 1 : 0) << log;
        EXPECT_EQ(Label(w.form.StatusPanel0), stop ? "Cancelled." : "All done.");
        EXPECT_EQ(w.home.Exists("out/other.zip"), !stop) << c.question;
        EXPECT_TRUE(w.form.SpeedButtonGo->isEnabled()) << c.question;
        EXPECT_FALSE(w.form.SpeedButtonStop->isEnabled()) << c.question;
        EXPECT_EQ(w.form.windowTitle(), "Kestrow idle") << "the run's caption goes with it";
    }
}

TEST(DownloadRun, ClosingDuringARunKeepsWhatSaveToHeldBeforeIt)
{
    RobotWindow w;
    setenv("KESTROW_SETTINGS", (w.home.Path() + "settings.json").c_str(), 1);
    w.form.show();
    Site site(TestName());
    ScriptedServer server;
    server.AddScript(Stalling());
    site.Write("index.html", "<a href=" + server.Url("/slow/big-dataset.zip") + ">");
    w.form.ListBoxURLList->SetItems({site.url + "index.html->" + w.home.Path() + "out/"});
    w.form.EditOutputPath->setText("/typed/by/the/user");
    w.Preferences(1, 0, 60);
    w.prompts.Answers = {true};
    const WhenReady when([&] { return w.form.LabelFileProgress->text().contains("of"); },
                         [&] { w.form.close(); });
    w.Press(w.form.SpeedButtonGo);
    EXPECT_EQ(w.prompts.Questions.front(), "Cancel download and quit?");
    EXPECT_EQ(w.form.Settings.OutputPath, "/typed/by/the/user/");
    EXPECT_NE(w.home.Read("settings.json").find("\"/typed/by/the/user/\""), std::string::npos);
}

// Every text a status panel shows, in order.
class PanelTexts : public QObject
{
  public:
    explicit PanelTexts(TElidedLabel* panel) : panel(panel) { panel->installEventFilter(this); }
    std::vector<std::string> Texts;
    bool Showed(const std::string& start) const
    {
        return std::any_of(Texts.begin(), Texts.end(),
                           [&](const std::string& text) { return text.starts_with(start); });
    }

  protected:
    // A panel's text is also its hint, so every new text announces itself as a hint change.
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::ToolTipChange)
            Texts.push_back(panel->text().toStdString());
        return false;
    }

  private:
    TElidedLabel* panel;
};

TEST(DownloadRun, TheClientsReportsReachThePanelsThroughTheRun)
{
    RobotWindow w;
    Site site(TestName());
    const std::string ftp = "ftp://127.0.0.1:" + std::to_string(PeerPort("ftp"));
    site.Write("index.html", "<a href=" + ftp + "/pub/none.txt><a href=" + ftp + "/small.txt>");
    w.form.ListBoxURLList->SetItems({site.url + "index.html->" + w.home.Path() + "out/"});
    w.form.EditExtension->setText(".txt");
    w.Preferences(1, 0);
    const PanelTexts wide(w.form.StatusPanel0);
    const PanelTexts narrow(w.form.StatusPanel1);
    w.Press(w.form.SpeedButtonGo);

    EXPECT_EQ(w.home.Read("out/small.txt"), "first line\r\nsecond line\r\nthird line without end");
    // The FTP client's replies in the wide panel, one line each; the HTTP client's reports in
    // the narrow one.
    EXPECT_TRUE(wide.Showed("USER anonymous")) << ::testing::PrintToString(wide.Texts);
    EXPECT_TRUE(wide.Showed("226")) << ::testing::PrintToString(wide.Texts);
    for (const std::string& text : wide.Texts)
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
    EXPECT_TRUE(narrow.Showed("Transaction Completed")) << ::testing::PrintToString(narrow.Texts);
    EXPECT_EQ(Label(w.form.StatusPanel0), "All done.");
    // The server's error reply is one log line, without its line end.
    EXPECT_NE(w.preferences.MemoLog->toPlainText().toStdString().find("\n(550 No such file or directory.)\n"),
              std::string::npos);
}

TEST(DownloadRun, AScheduledWaitShowsItsTimeAndStopEndsIt)
{
    RobotWindow w;
    w.form.ListBoxURLList->SetItems({"http://127.0.0.1:1/index.html->" + w.home.Path() + "out/"});
    w.Preferences(1, 0);
    w.preferences.CheckBoxStartAt->setChecked(true);
    w.form.show();
    w.form.setWindowTitle("Kestrow idle");
    w.prompts.Answers = {true};
    const platform::ScriptedClock clock(QDateTime(QDate(2026, 12, 7), QTime(3, 1)), 0);
    bool timerShown = false;
    QString caption;
    std::string waiting;
    const WhenReady when([&] { return w.form.StatusPanel0->text().contains(" Waiting until "); },
                         [&]
                         {
                             timerShown = w.form.ImageTimer->isVisible();
                             caption = w.form.windowTitle();
                             waiting = Label(w.form.StatusPanel0);
                             w.form.SpeedButtonStopClick();
                         });
    w.Press(w.form.SpeedButtonGo);
    EXPECT_TRUE(timerShown);
    EXPECT_EQ(caption, "Kestrow ZZzz..");
    EXPECT_EQ(waiting, "03:01 Waiting until " + w.preferences.SelectedStartTime());
    EXPECT_EQ(w.prompts.Questions, std::vector<std::string>{"Stop downloads?"});
    EXPECT_EQ(Label(w.form.StatusPanel0), "Cancelled.");
    EXPECT_FALSE(w.form.ImageTimer->isVisible());
    EXPECT_EQ(w.form.windowTitle(), "Kestrow idle");
}

TEST(DownloadRun, AFileBehindALoginIsFetchedAgainOnceTheLoginIsAnswered)
{
    for (const bool answered : {false, true})
    {
        RobotWindow w;
        Site site(TestName() + (answered ? "Answered" : "Cancelled"));
        site.Write("index.html", "<a href=/private/secret.txt>");
        w.form.ListBoxURLList->SetItems({site.url + "index.html->" + w.home.Path() + "out/"});
        w.form.EditExtension->setText(".txt");
        w.Preferences(2, 0);
        if (answered)
            w.prompts.LoginAnswers.push_back(
                platform::LoginAnswer{PeerValue("nginx", "user"), PeerValue("nginx", "password")});
        w.Press(w.form.SpeedButtonGo);
        EXPECT_EQ(w.home.Read("out/private/secret.txt"), answered ? "the secret page" : "");
        EXPECT_EQ(w.home.Exists("out/private/secret.txt"), answered);
        EXPECT_EQ(w.form.Robot->ErrorCount(), answered ? 0 : 1);
        EXPECT_EQ(w.Log().find("(Login cancelled)") != std::string::npos, !answered) << w.Log();
    }
}

TEST(DownloadRun, ThroughTheProxyOfThePreferences)
{
    RobotWindow w;
    Site site(TestName());
    site.Write("index.html", "<a href=a.zip>");
    site.Write("a.zip", "VIA PROXY");
    w.form.ListBoxURLList->SetItems({site.url + "index.html->" + w.home.Path() + "out/"});
    w.preferences.EditProxyServer->setText(
        QString::fromStdString("127.0.0.1:" + std::to_string(PeerPort("tinyproxy"))));
    w.Preferences(1, 0);
    w.Press(w.form.SpeedButtonGo);
    EXPECT_EQ(w.home.Read("out/a.zip"), "VIA PROXY");
    std::ifstream proxyLog(PeerStateDir("tinyproxy") + "tinyproxy.log");
    const std::string logged((std::istreambuf_iterator<char>(proxyLog)), std::istreambuf_iterator<char>());
    EXPECT_NE(logged.find("/robot/" + TestName() + "/a.zip"), std::string::npos);
}

TEST(DownloadRun, ThroughAnAuthenticatingProxyToAProtectedListBehindRedirects)
{
    // Behind /private/ nginx asks for a login; the list is reached without its folder's "/" and
    // through a redirect the server was told to make. A page links to a server on another port,
    // which must never hear the site's login.
    NginxSite site("private", TestName());
    site.Write("a.zip", "A");
    site.Write("sub/b.zip", "B");
    site.Write("second.html", "<a href=c.zip>");
    site.Write("c.zip", "C");
    ScriptedServer other;
    other.AddScript(ScriptedServer::Script().ExpectHeader().Send("HTTP/1.0 200 OK\r\n\r\nOTHER").Close());
    site.Write("index.html", "<a href=a.zip><a href=sub/b.zip><a href=" + other.Url("/other.zip") + ">");
    const std::string nginx = "http://127.0.0.1:" + std::to_string(PeerPort("nginx"));
    const std::string folder = nginx + "/private/" + TestName();
    const std::string redirected = nginx + "/redirect/private/" + TestName() + "/second.html";
    const platform::LoginAnswer proxyLogin{PeerValue("tinyproxy_auth", "user"),
                                           PeerValue("tinyproxy_auth", "password")};
    const platform::LoginAnswer siteLogin{PeerValue("nginx", "user"), PeerValue("nginx", "password")};

    enum Case
    {
        Answered,
        SiteCancelled,
        ProxyCancelled
    };
    for (const Case c : {Answered, SiteCancelled, ProxyCancelled})
    {
        SCOPED_TRACE(c);
        RobotWindow w;
        const std::string out = w.home.Path() + "out/";
        w.form.ListBoxURLList->SetItems({folder + "->" + out, redirected + "->" + out});
        w.form.EditExtension->setText(".zip");
        w.preferences.EditProxyServer->setText(
            QString::fromStdString("127.0.0.1:" + std::to_string(PeerPort("tinyproxy_auth"))));
        w.Preferences(1, 0);
        if (c == ProxyCancelled)
            w.prompts.LoginAnswers = {std::nullopt};
        else
            w.prompts.LoginAnswers = {proxyLogin, c == Answered ? std::optional(siteLogin) : std::nullopt};
        w.Press(w.form.SpeedButtonGo);

        const std::vector<platform::LoginQuestion>& asked = w.prompts.LoginQuestions;
        const std::string log = w.Log();
        if (c == Answered)
        {
            ASSERT_EQ(asked.size(), 2u) << "one question each for the proxy and the site";
            EXPECT_EQ(asked[0].Caption, "Proxy server login");
            EXPECT_EQ(asked[1].Caption, "Web site login");
            EXPECT_EQ(asked[1].Challenge, "Basic realm=\"Kestrow tests\"");
            EXPECT_EQ(w.home.Read("out/a.zip"), "A");
            EXPECT_EQ(w.home.Read("out/sub/b.zip"), "B");
            EXPECT_EQ(w.home.Read("out/c.zip"), "C");
            EXPECT_EQ(w.home.Read("out/http---127.0.0.1-" + std::to_string(other.Port()) + "-other.zip"),
                      "OTHER");
            EXPECT_EQ(w.form.Robot->ErrorCount(), 0) << log;
            ASSERT_EQ(other.ConnectionCount(), 1);
            EXPECT_EQ(other.Received(0).find("Authorization"), std::string::npos) << other.Received(0);
        }
        else
        {
            EXPECT_EQ(asked.size(), c == SiteCancelled ? 3u : 2u) << "each page asks once";
            EXPECT_NE(
                log.find("Failed to download page " + folder + " (" +
                         (c == SiteCancelled ? "Login cancelled" : "407:Proxy Authentication Required") +
                         ")\r\n"),
                std::string::npos)
                << log;
            EXPECT_EQ(w.form.Robot->ErrorCount(), 2);
            EXPECT_FALSE(w.home.Exists("out/a.zip"));
            EXPECT_EQ(other.ConnectionCount(), 1) << "nothing more after the first case";
        }
    }
}

TEST(DownloadRun, FiveTransfersAtOnceShowTheirStatesTheirBytesTheirRateAndStopEndsThemAll)
{
    RobotWindow w;
    Site site(TestName());
    ScriptedServer slow;
    std::string page;
    for (int i = 0; i < 6; ++i)
    {
        slow.AddScript(Stalling());
        page += "<a href=" + slow.Url("/s" + std::to_string(i) + ".zip") + ">";
    }
    site.Write("index.html", page);
    const std::string out = w.home.Path() + "out/";
    w.form.ListBoxURLList->SetItems({site.url + "index.html->" + out});
    w.form.EditExtension->setText(".zip");
    w.Preferences(1, 0, 60, 5);
    w.preferences.SpinEditPause->setValue(0);
    w.prompts.Answers = {true};
    std::string status, fileLabel, overall, firstRow, lastRow;
    int fileBar = -1, fileBarMaximum = -1;
    const WhenReady when(
        [&] {
            return w.form.Robot->InFlight() == 5 &&
                   Label(w.form.LabelFileProgress).starts_with(SizeText(5000));
        },
        [&]
        {
            status = Label(w.form.StatusPanel0);
            fileLabel = Label(w.form.LabelFileProgress);
            overall = Label(w.form.LabelOverallProgress);
            fileBar = w.form.ProgressBarFile->value();
            fileBarMaximum = w.form.ProgressBarFile->maximum();
            const QAbstractItemModel* files = w.form.ListBoxFileList->model();
            firstRow = files->data(files->index(0, 0)).toString().toStdString();
            lastRow = files->data(files->index(5, 0)).toString().toStdString();
            QTest::mouseClick(w.form.SpeedButtonStop, Qt::LeftButton);
        });
    w.Press(w.form.SpeedButtonGo);

    EXPECT_TRUE(status.starts_with("5 transfers under way @ ")) << status;
    EXPECT_EQ(fileLabel, SizeText(5000) + " of " + SizeText(5000000))
        << "the bytes of the five against their total";
    EXPECT_EQ(fileBar * 1000 / fileBarMaximum, 1);
    EXPECT_EQ(overall, "0 of 6");
    EXPECT_EQ(firstRow, slow.Url("/s0.zip") + "  (0 %)");
    EXPECT_EQ(lastRow, slow.Url("/s5.zip") + "  (waiting)");
    // Stop ends the five at once: nothing of them is left, and the sixth never started.
    EXPECT_EQ(slow.ConnectionCount(), 5);
    EXPECT_EQ(Count(w.Log(), " Stopped\r\n"), 5) << w.Log();
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left.size(), 1u) << "only the page: " << ::testing::PrintToString(left);
    EXPECT_EQ(Label(w.form.StatusPanel0), "Cancelled.");
}
