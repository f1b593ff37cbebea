#include <gtest/gtest.h>

#include <sys/stat.h>

#include "links/listfile.h"
#include "messageof.h"
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

    // Fed in pieces, a line, a CR LF pair or the end at a NUL cut between two pieces counts whole.
    const std::string text = std::string("one\r\ntwo\rthree\n\r\nfour\r\r\nfive\0six\r\n", 35);
    const Entries whole = ParseListText(text);
    EXPECT_EQ(whole, (Entries{"one", "two", "three", "", "four", "", "five"}));
    for (std::size_t cut = 0; cut <= text.size(); ++cut)
        for (std::size_t second = cut; second <= text.size(); second += 3)
        {
            Entries lines;
            TListLineSplitter splitter([&lines](std::string_view line) { lines.emplace_back(line); });
            splitter.Feed(std::string_view(text).substr(0, cut));
            splitter.Feed(std::string_view(text).substr(cut, second - cut));
            splitter.Feed(std::string_view(text).substr(second));
            splitter.Finish();
            EXPECT_EQ(lines, whole) << "cut at " << cut << " and " << second;
        }
}

TEST(ListFile, ReadsInPiecesRefusingOverlongLinesAndFilesThatAreNoRegularFiles)
{
    TempDir dir;
    const std::string longLine(MaxListLineBytes, 'x');
    const std::string fine = dir.Write("fine.kes", "a\r\n" + longLine + "\r\nbbb\n");
    EXPECT_EQ(ReadListFile(fine), (Entries{"a", longLine, "bbb"}));
    const std::string big =
        dir.Write("big.kes", "first\r\nsecond\r\n" + std::string(400000, 'y') + "\r\nlast\r\n");
    EXPECT_EQ(MessageOf([&] { ReadListFile(big); }), "Line 3 of " + big + " is longer than 65536 bytes");
    // One endless line, the end of which is never reached.
    const std::string endless = dir.Write("endless.kes", std::string(MaxListLineBytes + 1, 'z'));
    EXPECT_EQ(MessageOf([&] { ReadListFile(endless); }),
              "Line 1 of " + endless + " is longer than 65536 bytes");

    const std::string fifo = dir.Path() + "list.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(MessageOf([&] { ReadListFile(fifo); }), fifo + " is not a regular file");
    EXPECT_EQ(MessageOf([&] { ReadListFile(dir.Path()); }), dir.Path() + " is not a regular file");
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
