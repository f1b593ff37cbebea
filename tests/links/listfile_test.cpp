#include <gtest/gtest.h>

#include "links/listfile.h"
#include "platform/exception.h"
#include "tempdir.h"

using Entries = std::vector<std::string>;

TEST(ListFile, EveryKindOfLineEnd)
{
    EXPECT_EQ(ParseListText("a\r\nb\r\n"), (Entries{"a", "b"}));
    EXPECT_EQ(ParseListText("a\nb\rc"), (Entries{"a", "b", "c"}));
    EXPECT_EQ(ParseListText("a\r\n\r\nb\r\n"), (Entries{"a", "", "b"}));
    EXPECT_EQ(ParseListText("a\n\nb"), (Entries{"a", "", "b"}));
    EXPECT_EQ(ParseListText(""), Entries{});
    EXPECT_EQ(ParseListText("\r\n"), Entries{""});
    EXPECT_EQ(ParseListText(std::string("a\r\nb\0c\r\n", 9)), (Entries{"a", "b"}));
    EXPECT_EQ(ParseListText(" http://x/ ->out/ \r\n"), Entries{" http://x/ ->out/ "});
    EXPECT_EQ(ParseListText("a\r"), Entries{"a"});
    EXPECT_EQ(ParseListText("\r\r\nb\n\r"), (Entries{"", "", "b", ""}));
    EXPECT_EQ(ParseListText("a\n\rb\r\n"), (Entries{"a", "", "b"}));
}

TEST(ListFile, WritesCrLfAfterEveryEntryAndReadsItBack)
{
    TempDir dir;
    const Entries entries = {"http://a/list.html->/tmp/out/", "", "patent://EP1"};
    WriteListFile(dir.Path() + "list.kes", entries);
    EXPECT_EQ(dir.Read("list.kes"), "http://a/list.html->/tmp/out/\r\n\r\npatent://EP1\r\n");
    EXPECT_EQ(ReadListFile(dir.Path() + "list.kes"), entries);
    WriteListFile(dir.Path() + "empty.kes", {});
    EXPECT_EQ(dir.Read("empty.kes"), "");
    EXPECT_THROW(ReadListFile(dir.Path() + "missing.kes"), Exception);
    EXPECT_THROW(WriteListFile(dir.Path() + "no/such/folder/x.kes", entries), Exception);
}

TEST(ListFile, ReplacingPutsAWholeNewFileInPlaceOrLeavesTheOldOne)
{
    TempDir dir;
    dir.Write("URLList.kes", "old\r\n");
    ReplaceListFile(dir.Path() + "URLList.kes", {"new one", "new two"});
    EXPECT_EQ(dir.Read("URLList.kes"), "new one\r\nnew two\r\n");
    EXPECT_FALSE(dir.Exists("URLList.kes.partial"));

    // A name that cannot be replaced: the error names it, and nothing is left behind.
    dir.Write("taken/inside.txt", "keep");
    try
    {
        ReplaceListFile(dir.Path() + "taken", {"x"});
        ADD_FAILURE() << "a folder cannot be replaced by a list";
    }
    catch (const Exception& error)
    {
        EXPECT_EQ(error.Message().rfind("Cannot open file \"" + dir.Path() + "taken\". ", 0), 0u)
            << error.what();
    }
    EXPECT_EQ(dir.Read("taken/inside.txt"), "keep");
    EXPECT_FALSE(dir.Exists("taken.partial"));
}
