#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include <sys/inotify.h>
#include <unistd.h>

#include "robot/activitylog.h"
#include "robot/programfiles.h"
#include "robot/folders.h"
#include "robot/savepaths.h"
#include "platform/exception.h"
#include "platform/prompt.h"
#include "messageof.h"
#include "tempdir.h"

namespace
{
std::string ErrorOf(std::string_view outputDir, std::string_view entry)
{
    return MessageOf([&] { FileOutputPath(outputDir, entry); });
}
} // namespace

TEST(MakeFileName, FixedFilesBesideTheProgram)
{
    TempDir home;
    setenv("KESTROW_HOME", home.Path().c_str(), 1);
    EXPECT_EQ(MakeFileName(TFixedFile::ProgramDirectory), home.Path());
    EXPECT_EQ(MakeFileName(TFixedFile::HTMLBody), home.Path() + "HTMLBody.html");
    EXPECT_EQ(MakeFileName(TFixedFile::FileList), home.Path() + "FileList.kes");
    EXPECT_EQ(MakeFileName(TFixedFile::Help), home.Path() + "Help/kesthelp.html");
    EXPECT_EQ(MakeFileName(TFixedFile::Log), home.Path() + "KestrowLog.txt");

    platform::ScriptedPrompts prompts;
    EXPECT_EQ(MakeFileName(static_cast<TFixedFile>(7)), "");
    EXPECT_EQ(MakeFileName(static_cast<TFixedFile>(-1)), "");
    EXPECT_EQ(prompts.Messages, (std::vector<std::string>(2, "TFormKestrow.MakeFileName:Invalid file type")));

    // An installed copy whose folder cannot be written keeps its log in the data directory.
    TempDir data;
    setenv("KESTROW_HOME", "/nonexistent/kestrow/", 1);
    setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
    EXPECT_EQ(MakeFileName(TFixedFile::Log), data.Path() + "Kestrow/KestrowLog.txt");
    EXPECT_EQ(MakeFileName(TFixedFile::FileList), data.Path() + "Kestrow/FileList.kes");
    EXPECT_TRUE(data.Exists("Kestrow"));
    EXPECT_EQ(MakeFileName(TFixedFile::Help), "/nonexistent/kestrow/Help/kesthelp.html");
    EXPECT_EQ(MakeFileName(TFixedFile::ProgramDirectory), "/nonexistent/kestrow/");
    unsetenv("XDG_DATA_HOME");
    unsetenv("KESTROW_HOME");
}

TEST(AppendLogLine, OpensAppendsAndClosesTheLogAndTouchesNothingElse)
{
    TempDir home;
    setenv("KESTROW_HOME", home.Path().c_str(), 1);
    EXPECT_EQ(AppendLogLine("first"), "");
    // What happens in the folder from here on: only the log is opened, written and closed.
    const int watch = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(
        inotify_add_watch(watch, home.Path().c_str(), IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE), 0);
    for (const char* line : {"second", "", "third"})
        EXPECT_EQ(AppendLogLine(line), "");
    std::set<std::string> touched;
    int writes = 0;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t got; (got = read(watch, buffer, sizeof buffer)) > 0;)
        for (char* at = buffer; at < buffer + got;)
        {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            touched.insert(event->len ? event->name : "");
            writes += (event->mask & IN_CLOSE_WRITE) ? 1 : 0;
            at += sizeof(inotify_event) + event->len;
        }
    close(watch);
    EXPECT_EQ(touched, std::set<std::string>{"KestrowLog.txt"});
    EXPECT_EQ(writes, 3) << "each line is opened, written and closed";
    EXPECT_EQ(home.Read("KestrowLog.txt"), "first\r\nsecond\r\n\r\nthird\r\n");
    unsetenv("KESTROW_HOME");
}

TEST(AddBackslash, TrimsAndEndsWithOneSeparator)
{
    EXPECT_EQ(AddBackslash("  /home/me/Files  "), "/home/me/Files/");
    EXPECT_EQ(AddBackslash("/home/me/Files/"), "/home/me/Files/");
    EXPECT_EQ(AddBackslash(""), "");
    EXPECT_EQ(AddBackslash("   "), "");
}

TEST(MakePath, CreatesMissingParentsAndReportsFailures)
{
    TempDir dir;
    ASSERT_TRUE(MakePath(dir.Path() + "one/"));
    EXPECT_TRUE(MakePath(dir.Path() + "one/two/three/"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() + "one/two/three"));
    EXPECT_TRUE(MakePath(dir.Path() + "one/two/three"));

    for (const char* nothing : {"", "   "})
        EXPECT_EQ(MessageOf([&] { MakePath(nothing); }), "Unable to create directory")
            << '"' << nothing << '"';
    dir.Write("file", "x");
    EXPECT_THROW(MakePath(dir.Path() + "file/sub/"), Exception);
}

TEST(RemoveEmptyFolders, TakesBackOnlyTheEmptyFoldersAFileStepMade)
{
    TempDir dir;
    dir.Write("kept/old.zip", "x");
    EXPECT_EQ(FirstMissingFolder(dir.Path() + "kept/"), "");
    const std::string made = FirstMissingFolder(dir.Path() + "kept/a/b/c/");
    EXPECT_EQ(made, dir.Path() + "kept/a");
    ASSERT_TRUE(MakePath(dir.Path() + "kept/a/b/c/"));
    dir.Write("kept/a/b/other.zip", "y");
    RemoveEmptyFolders(dir.Path() + "kept/a/b/c/", made);
    EXPECT_FALSE(dir.Exists("kept/a/b/c")) << "the empty folder goes";
    EXPECT_TRUE(dir.Exists("kept/a/b/other.zip")) << "a folder that holds a file stays, and its parents";

    ASSERT_TRUE(MakePath(dir.Path() + "kept/x/y/"));
    RemoveEmptyFolders(dir.Path() + "kept/x/y/", dir.Path() + "kept/x");
    EXPECT_FALSE(dir.Exists("kept/x"));
    EXPECT_TRUE(dir.Exists("kept/old.zip")) << "nothing above the first folder made is touched";
    RemoveEmptyFolders(dir.Path() + "kept/", "");
    EXPECT_TRUE(dir.Exists("kept"));
}

TEST(FileOutputPath, HttpEntriesByTheirFoldersAndNames)
{
    EXPECT_EQ(FileOutputPath("out/", "docs/a.zip"), "out/docs/a.zip");
    EXPECT_EQ(FileOutputPath("out/", "/files/b.zip"), "out/files/b.zip");
    EXPECT_EQ(FileOutputPath("out/", "c.zip"), "out/c.zip");
    EXPECT_EQ(FileOutputPath("out/", "http://host/d/e.zip"), "out/http---host-d-e.zip");
    EXPECT_EQ(FileOutputPath("out/", "http://other/x/e.zip"), "out/http---other-x-e.zip");
    EXPECT_EQ(FileOutputPath("out/", "get.cgi?id=3->label"), "out/get.cgi-id=3--label");
    EXPECT_EQ(FileOutputPath("", "a/b.zip"), "a/b.zip");
}

TEST(FileOutputPath, DirectoriesBecomeHtmlFiles)
{
    EXPECT_EQ(FileOutputPath("out/", "docs/"), "out/docs.html");
    EXPECT_EQ(FileOutputPath("out/", "a/b/"), "out/a/b.html");
    EXPECT_EQ(FileOutputPath("out/", "ftp://host/pub/"), "out/pub.html");
}

TEST(FileOutputPath, FtpEntriesByTheirPathAsTheServerNamesIt)
{
    EXPECT_EQ(FileOutputPath("out/", "ftp://host/pub/tools/a.zip"), "out/pub/tools/a.zip");
    EXPECT_EQ(FileOutputPath("out/", "FTP://host:2121//pub//a.zip"), "out/pub/a.zip");
    EXPECT_EQ(FileOutputPath("out/", "ftp://host/../../etc/a.zip"), "out/etc/a.zip");
    // The last part is the file, with a dot or without; escapes are decoded.
    EXPECT_EQ(FileOutputPath("out/", "ftp://host/pub/README"), "out/pub/README");
    EXPECT_EQ(FileOutputPath("out/", "ftp://host/my%20docs/a%2Bb%25.zip"), "out/my docs/a+b%.zip");
    EXPECT_EQ(FileOutputPath("out/", "ftp://host/%2e%2e/%2E%2E/a.zip"), "out/a.zip");
    EXPECT_EQ(FileOutputPath("out/", "ftp://host/100%/a%zz.zip"), "out/100%/a%zz.zip");
    EXPECT_EQ(ErrorOf("out/", "ftp://host/pub/a%0D%0ADELE%20b.zip"), "Invalid URL");
    EXPECT_EQ(ErrorOf("out/", "ftp://host/pub%00/a.zip"), "Invalid URL");
}

TEST(FileOutputPath, PatentPagesAreNumberedPdfs)
{
    EXPECT_EQ(FileOutputPath("out/", "http://server/dips/bns.pdf?PG=3", true, "EP0123456", 3),
              "out/EP0123456_P003.pdf");
    EXPECT_EQ(FileOutputPath("out/", "anything", true, "GB2123456A", 500), "out/GB2123456A_P500.pdf");
}

TEST(FileOutputPath, NothingLandsOutsideTheOutputDirectory)
{
    EXPECT_EQ(FileOutputPath("out/", "../up.zip"), "out/up.zip");
    EXPECT_EQ(FileOutputPath("out/", "a/../b.zip"), "out/b.zip");
    EXPECT_EQ(FileOutputPath("out/", "../../.bashrc"), "out/.bashrc");
    EXPECT_EQ(FileOutputPath("out/", "/../../etc/x"), "out/etc/x");
    EXPECT_EQ(ErrorOf("out/", ".."), "Invalid file out/..");
    EXPECT_EQ(ErrorOf("out/", "a/.."), "Invalid file out/a/..");
    EXPECT_EQ(ErrorOf("out/", "."), "Invalid file out/.");
    EXPECT_EQ(ErrorOf("out/", "/"), "Invalid file out.html");
    EXPECT_EQ(ErrorOf("out/", "../"), "Invalid file out.html");
    EXPECT_EQ(ErrorOf("out/", "ftp://host/a.b/.."), "Invalid file out/a.b/..");
}

TEST(PageFileName, SafeFormOfTheAddress)
{
    EXPECT_EQ(PageFileName("out/", "http://host/dir/list.html"), "out/http---host-dir-list.html");
    EXPECT_EQ(PageFileName("", "http://h/a?b=1,2"), "http---h-a-b=1-2");
}
