#include <gtest/gtest.h>

#include <filesystem>

#include <QLabel>
#include <QLocale>
#include <QPixmap>
#include <QTest>

#include "platform/programdirectory.h"
#include "platform/prompt.h"
#include "platform/shell.h"
#include "settings/formabout.h"
#include "settings/helpfile.h"
#include "settings/makerpages.h"
#include "tempdir.h"

TEST(FormAbout, ShowsTheVersionInTheUsersNumberFormatAndOpensTheHomePage)
{
    platform::ScriptedPrompts prompts;
    TFormAbout about{QPixmap(64, 64)};
    // No browser to hand the page to: said, not passed over.
    QTest::mouseClick(about.LabelCorvaneHome, Qt::LeftButton);
    EXPECT_EQ(prompts.Messages,
              std::vector<std::string>{std::string("No web browser could be found to open ") +
                                       CorvaneHomePage + ".  Please install a web browser."});
    platform::ScriptedShell shell;
    EXPECT_EQ(about.windowTitle(), "About Kestrow");
    about.show();
    EXPECT_EQ(about.LabelVersion->text(), "Version 1.14");
    about.hide();
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    about.show();
    EXPECT_EQ(about.LabelVersion->text(), "Version 1,14");
    QLocale::setDefault(QLocale::c());
    QTest::mouseClick(about.LabelCorvaneHome, Qt::LeftButton);
    EXPECT_EQ(shell.Opened, std::vector<std::string>{CorvaneHomePage});
}

TEST(HelpFile, LookedForBesideTheProgramFirstThenInTheDataFolders)
{
    TempDir dir;
    setenv("KESTROW_HOME", (dir.Path() + "program").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir.Path() + "data").c_str(), 1);
    setenv("XDG_DATA_DIRS", (dir.Path() + "system:" + dir.Path() + "other").c_str(), 1);
    const std::string beside = dir.Path() + "program/Help/kesthelp.html";
    const std::string installed = platform::ExecutableDirectory() + "Help/kesthelp.html";
    EXPECT_EQ(HelpFileCandidates(),
              (std::vector<std::string>{beside, installed, dir.Path() + "data/Kestrow/Help/kesthelp.html",
                                        dir.Path() + "system/kestrow/Help/kesthelp.html",
                                        dir.Path() + "other/kestrow/Help/kesthelp.html"}));
    dir.Write("other/kestrow/Help/kesthelp.html", "<html>");
    // The build puts the page beside the programs, as an installation does.
    ASSERT_TRUE(std::filesystem::exists(installed));
    EXPECT_EQ(HelpFileName(), installed) << "$KESTROW_HOME without a page: the one beside the program";
    dir.Write("program/Help/kesthelp.html", "<html>");
    EXPECT_EQ(HelpFileName(), beside);
    // Nowhere else to look: a missing page is named where the program's files are.
    setenv("KESTROW_HOME", platform::ExecutableDirectory().c_str(), 1);
    EXPECT_EQ(HelpFileCandidates()[1], dir.Path() + "data/Kestrow/Help/kesthelp.html");
    unsetenv("KESTROW_HOME");
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_DATA_DIRS");
}

TEST(HelpFile, EveryFailureHasItsMessage)
{
    TempDir dir;
    const std::string page = dir.Path() + "Help/kesthelp.html";
    EXPECT_EQ(OpenHelpFile(page), platform::ShellPathNotFound);
    dir.Write("Help/other.html", "");
    EXPECT_EQ(OpenHelpFile(page), platform::ShellFileNotFound);
    dir.Write("Help/kesthelp.html", "<html>");
    {
        platform::ScriptedShell shell;
        EXPECT_GE(OpenHelpFile(page), 33);
        EXPECT_EQ(shell.Opened, std::vector<std::string>{page});
    }
    EXPECT_EQ(OpenHelpFile(page), platform::ShellNoAssociation) << "no desktop to open it with";

    EXPECT_EQ(HelpFailureText(2, page), "The file " + page + " was not found.");
    EXPECT_EQ(HelpFailureText(3, page), "The path " + page + " was not found.");
    // A text that does not name the page is followed by its name.
    const std::string named = "\r\nThe help page is " + page;
    EXPECT_EQ(HelpFailureText(5, page), "The operating system denied access to the specified file." + named);
    EXPECT_EQ(HelpFailureText(27, page), "The filename association .html is incomplete or invalid." + named);
    EXPECT_EQ(HelpFailureText(31, page),
              "There is no application associated with .html files.  Please install a web browser." + named);
    EXPECT_EQ(HelpFailureText(30, page), "The DDE transaction could not be completed because other DDE "
                                         "transactions were being processed." +
                                             named);
    EXPECT_EQ(HelpFailureText(0, page), "ShellExecute returned an unknown error 0");
    EXPECT_EQ(HelpFailureText(33, page), "");
}
