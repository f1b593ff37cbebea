#include <gtest/gtest.h>

#include <filesystem>

#include "links/linklist.h"
#include "robot/entrylist.h"
#include "robot/pagelinks.h"
#include "robot/pagetitle.h"
#include "robot/transferfile.h"
#include "tempdir.h"

TEST(MergeNewLinks, KeepsPageOrderAndSkipsWhatWasSeen)
{
    TLinkList seen;
    seen.Append("a.zip");
    TLinkList found;
    for (const char* link : {"b.zip", "a.zip", "A.ZIP", "c.zip"})
        found.Append(link);
    TEntryList target;
    target.Add("earlier");
    MergeNewLinks(seen, found, target);
    EXPECT_EQ(target.Items(), (std::vector<std::string>{"earlier", "b.zip", "A.ZIP", "c.zip"}));
}

TEST(ReadPageTitle, LooksAtTheStartOfAFile)
{
    TempDir dir;
    std::string title;
    EXPECT_TRUE(
        ReadPageTitle(dir.Write("e.html", "<html><head><title>404 Not Found</title></head></html>"), title));
    EXPECT_EQ(title, "404 NOT FOUND");
    EXPECT_TRUE(ReadPageTitle(dir.Write("n.html", "<HTML><body>no title"), title));
    EXPECT_EQ(title, "");
    EXPECT_FALSE(ReadPageTitle(dir.Write("z.bin", std::string("PK\0<HTML>", 9)), title));
    EXPECT_FALSE(ReadPageTitle(dir.Write("late.html", std::string(5000, ' ') + "<HTML>"), title));
    EXPECT_FALSE(ReadPageTitle(dir.Path() + "missing", title));
}

TEST(TransferFile, ReplacesTheOutputOnlyWhenCommitted)
{
    TempDir dir;
    const std::string output = dir.Write("a.zip", "old");
    std::string transfer;
    {
        const TTransferFile file(output);
        transfer = file.Path();
        EXPECT_NE(transfer, output);
        EXPECT_EQ(std::filesystem::path(transfer).parent_path(), std::filesystem::path(output).parent_path());
        EXPECT_TRUE(FileExists(transfer));
    }
    EXPECT_FALSE(FileExists(transfer)) << "an uncommitted transfer leaves no trace";
    EXPECT_EQ(dir.Read("a.zip"), "old");

    TTransferFile second(output);
    dir.Write(std::filesystem::path(second.Path()).filename().string(), "new");
    transfer = second.Path();
    TTransferFile moved = std::move(second);
    moved.Commit();
    EXPECT_EQ(dir.Read("a.zip"), "new");
    EXPECT_FALSE(FileExists(transfer));

    EXPECT_TRUE(CanCreateFile(dir.Path() + "b.zip"));
    EXPECT_FALSE(FileExists(dir.Path() + "b.zip"));
    EXPECT_FALSE(CanCreateFile(dir.Path() + std::string(300, 'x')));
    std::filesystem::create_symlink(dir.Path() + "target", dir.Path() + "link");
    EXPECT_FALSE(CanCreateFile(dir.Path() + "link"));
    EXPECT_FALSE(FileExists(dir.Path() + "target"));
}
