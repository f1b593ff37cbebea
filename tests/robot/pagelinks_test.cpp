#include <gtest/gtest.h>

#include <filesystem>

#include "links/linklist.h"
#include "robot/entrylist.h"
#include "robot/pagelinks.h"
#include "robot/transferfile.h"
#include "tempdir.h"

TEST(MergeNewLinks, KeepsPageOrderAndSkipsWhatWasSeen)
{
    TLinkList seen;
    seen.Append("a.zip");
    TLinkList found;
    for (const char* link : {"b.zip", "A.ZIP", "c.zip"})
        found.Append(link);
    TEntryList target;
    target.Add("earlier");
    MergeNewLinks(seen, found, target);
    EXPECT_EQ(target.Items(), (std::vector<std::string>{"earlier", "b.zip", "c.zip"}));
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
    const std::string transfer = CreateTransferFile(output);
    EXPECT_NE(transfer, output);
    EXPECT_EQ(std::filesystem::path(transfer).parent_path(), std::filesystem::path(output).parent_path());
    DiscardFile(transfer);
    EXPECT_FALSE(FileExists(transfer));
    EXPECT_EQ(dir.Read("a.zip"), "old");

    const std::string second = CreateTransferFile(output);
    dir.Write(std::filesystem::path(second).filename().string(), "new");
    CommitTransferFile(second, output);
    EXPECT_EQ(dir.Read("a.zip"), "new");
    EXPECT_FALSE(FileExists(second));

    EXPECT_TRUE(CanCreateFile(dir.Path() + "b.zip"));
    EXPECT_FALSE(FileExists(dir.Path() + "b.zip"));
    EXPECT_FALSE(CanCreateFile(dir.Path() + std::string(300, 'x')));
    std::filesystem::create_symlink(dir.Path() + "target", dir.Path() + "link");
    EXPECT_FALSE(CanCreateFile(dir.Path() + "link"));
    EXPECT_FALSE(FileExists(dir.Path() + "target"));
}
