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
