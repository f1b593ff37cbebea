#include <gtest/gtest.h>

#include <filesystem>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/listbox.h"
#include "platform/programdirectory.h"
#include "robotwindow.h"
#include "settings/formabout.h"
#include "settings/formchoosedir.h"
#include "settings/makerpages.h"

using Entries = std::vector<std::string>;

TEST(WindowHelp, HelpPageAboutBoxAndTheMakersPages)
{
    RobotWindow w;
    // $KESTROW_HOME holds no help page: the one installed beside the program opens; one in
    // $KESTROW_HOME comes first.
    QTest::mouseClick(w.form.SpeedButtonHelp, Qt::LeftButton);
    w.home.Write("Help/kesthelp.html", "<html></html>");
    w.form.MenuHelpContents->trigger();
    EXPECT_EQ(w.shell.Opened, (Entries{platform::ExecutableDirectory() + "Help/kesthelp.html",
                                       w.home.Path() + "Help/kesthelp.html"}));
    EXPECT_TRUE(w.prompts.Messages.empty());
    // Without a handler for .html files the message names the page, to be opened by hand.
    w.shell.OpenSucceeds = false;
    QTest::mouseClick(w.form.SpeedButtonHelp, Qt::LeftButton);
    w.shell.OpenSucceeds = true;
    EXPECT_EQ(
        w.prompts.Messages,
        Entries{"There is no application associated with .html files.  Please install a web browser.\r\n"
                "The help page is " +
                w.home.Path() + "Help/kesthelp.html"});

    w.shell.Opened.clear();
    for (QAction* item : {w.form.MenuHelpUpdates, w.form.MenuHelpReportBug, w.form.MenuHelpTroubleShoot,
                          w.form.MenuHelpCorvaneHome})
        item->trigger();
    EXPECT_EQ(w.shell.Opened, (Entries{CorvaneUpdatesPage, CorvaneBugReportPage, CorvaneTroubleShootingPage,
                                       CorvaneHomePage}));

    // The about box comes up centred over the window wherever it was moved, even off the screen.
    TFormAbout about(QPixmap(64, 64), &w.form);
    w.form.AttachAbout(&about);
    w.form.show();
    w.form.move(-200, 900);
    QPoint placed;
    QTimer::singleShot(0, &about,
                       [&]
                       {
                           placed = about.frameGeometry().center();
                           EXPECT_EQ(about.LabelVersion->text(), "Version 1.14");
                           QTest::mouseClick(about.BitBtnAboutOk, Qt::LeftButton);
                       });
    w.form.MenuHelpAbout->trigger();
    EXPECT_FALSE(about.isVisible());
    EXPECT_LE((placed - w.form.frameGeometry().center()).manhattanLength(), 2);
}

TEST(WindowHelp, ChoosingTheOutputDirectoryAlwaysLeavesItEndingInOneSlash)
{
    RobotWindow w;
    TFormChooseDir chooser(w.form.Settings, &w.form);
    w.form.AttachChooseDir(&chooser);
    const std::string typed = w.home.Path() + "out";
    std::filesystem::create_directories(typed + "/inner");

    // Cancel: the typed path stays, with its final slash; the chooser had gone to it.
    w.form.EditOutputPath->setText(QString::fromStdString(" " + typed + " "));
    QTimer::singleShot(0, &chooser,
                       [&]
                       {
                           EXPECT_EQ(chooser.Directory(), typed);
                           chooser.reject();
                       });
    QTest::mouseClick(w.form.ButtonChooseDir, Qt::LeftButton);
    EXPECT_EQ(w.form.EditOutputPath->text().toStdString(), typed + "/");

    // OK takes the chooser's folder.
    QTimer::singleShot(0, &chooser,
                       [&]
                       {
                           chooser.SetDirectory(typed + "/inner");
                           chooser.accept();
                       });
    w.form.ButtonChooseDirClick();
    EXPECT_EQ(w.form.EditOutputPath->text().toStdString(), typed + "/inner/");

    // A path that does not exist yet: the chooser opens at its nearest folder that does, and
    // Cancel keeps the text.
    w.form.EditOutputPath->setText(QString::fromStdString(typed + "/not/yet"));
    QTimer::singleShot(0, &chooser,
                       [&]
                       {
                           EXPECT_EQ(chooser.Directory(), typed);
                           chooser.reject();
                       });
    w.form.ButtonChooseDirClick();
    EXPECT_EQ(w.form.EditOutputPath->text().toStdString(), typed + "/not/yet/");
    EXPECT_TRUE(w.prompts.Messages.empty());

    // A folder named in another code page is taken as the bytes it is, into the next entry too.
    std::filesystem::create_directories(typed + "/caf\xe9");
    QTimer::singleShot(0, &chooser,
                       [&]
                       {
                           chooser.SetDirectory(typed + "/caf\xe9");
                           chooser.accept();
                       });
    w.form.ButtonChooseDirClick();
    w.form.EditURL->setText("http://a/list.html");
    w.form.ButtonAddURLClick();
    EXPECT_EQ(w.form.ListBoxURLList->Items(),
              std::vector<std::string>{"http://a/list.html->" + typed + "/caf\xe9/"});
}
