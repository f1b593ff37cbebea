#include <gtest/gtest.h>

#include <vector>

#include "links/linkextraction.h"
#include "platform/exception.h"
#include "tempdir.h"

namespace
{
std::vector<std::string> Links(const std::string& page, const std::string& filter = ".zip",
                               TFilterMode mode = TFilterMode::Contains)
{
    TLinkList list;
    ExtractLinksFromText(PageTextFromBytes(page), filter, mode, list);
    return list.Items();
}

using Entries = std::vector<std::string>;
} // namespace

TEST(ExtractLinks, KeywordAndFilterIgnoreCaseButLinksKeepIt)
{
    for (TFilterMode mode : {TFilterMode::Contains, TFilterMode::EndsWith})
        EXPECT_EQ(Links(R"(<a href="files/A.ZIP">x</a>)", ".zip", mode), Entries{"files/A.ZIP"});
}

TEST(ExtractLinks, CutsTheLinkOutOfTheTag)
{
    EXPECT_EQ(Links("<A HREF=x.zip TARGET=_top>"), Entries{"x.zip"});
    EXPECT_EQ(Links(R"(<A HREF="my file.zip">)", ""), Entries{"my"});
    EXPECT_EQ(Links("<A HREF='a.zip'>"), Entries{"a.zip"});
    EXPECT_EQ(Links("<A HREF=page.html#sec>", ""), Entries{"page.html"});
    EXPECT_EQ(Links("<a href=  \" spaced.zip\" >"), Entries{});
    EXPECT_EQ(Links("<a href=\"a.zip\"class=x>"), Entries{"a.zip"});
}

TEST(ExtractLinks, EmptyAnchorAndMailLinksGiveNothing)
{
    EXPECT_EQ(Links(R"(<A HREF=""><A HREF=#top><A HREF=mailto:me@x.zip><a href=MailTo:y.zip>)", ""),
              Entries{});
}

TEST(ExtractLinks, ContainsAndEndsWithFilters)
{
    const std::string page = "<a href=dir.zip/index.html><a href=a.zip.txt><a href=b.ZIP><a href=c.tar>";
    EXPECT_EQ(Links(page, ".zip", TFilterMode::Contains),
              (Entries{"dir.zip/index.html", "a.zip.txt", "b.ZIP"}));
    EXPECT_EQ(Links(page, ".zip", TFilterMode::EndsWith), Entries{"b.ZIP"});
    EXPECT_EQ(Links("<a href=zip>", ".zip", TFilterMode::EndsWith), Entries{});
    for (TFilterMode mode : {TFilterMode::Contains, TFilterMode::EndsWith})
        EXPECT_EQ(Links(page + "<a href=mailto:x>", "", mode),
                  (Entries{"dir.zip/index.html", "a.zip.txt", "b.ZIP", "c.tar"}));
}

TEST(ExtractLinks, EachLinkOnceAtItsFirstPlace)
{
    EXPECT_EQ(Links("<a href=a.zip><a href=b.zip><A HREF=A.ZIP><a href=a.zip>"), (Entries{"a.zip", "b.zip"}));
}

TEST(ExtractLinks, LineEndsJoinWithNothingBetween)
{
    EXPECT_EQ(Links("<A HREF=x.zip\r\nTARGET=_top>"), Entries{"x.zipTARGET=_top"});
    EXPECT_EQ(Links("<A HREF=x.zip\rTARGET=_top>"), Entries{"x.zipTARGET=_top"});
    // A lone line feed stays in the text and is then deleted from the link.
    EXPECT_EQ(Links("<A HREF=x.zip\nTARGET=_top>"), Entries{"x.zipTARGET=_top"});
    // Everything after an end-of-file byte is not read.
    EXPECT_EQ(Links("<a href=a.zip>\x1A<a href=b.zip>"), Entries{"a.zip"});
}

TEST(ExtractLinks, OnlyTheExactKeywordCounts)
{
    EXPECT_EQ(Links("<A HREF = a.zip><A HREF =b.zip>"), Entries{});
    // Every HREF= counts wherever it stands; a second one inside the same tag is passed over.
    EXPECT_EQ(Links("<link href=s.zip><!-- href=c.zip --><a href=d.zip href=e.zip>"),
              (Entries{"s.zip", "c.zip", "d.zip"}));
    EXPECT_EQ(Links("<a href=a.zip"), Entries{});
    EXPECT_EQ(Links("no links here > at all"), Entries{});
}

TEST(ExtractLinks, CgiLinksCarryALabelThatIsSafeInAFileName)
{
    const Entries cgi = Links(R"(<a href="cgi-bin/get.cgi?f=a.zip" title="x/y\z">)");
    ASSERT_EQ(cgi.size(), 1u);
    EXPECT_EQ(cgi[0].rfind("cgi-bin/get.cgi?f=a.zip->", 0), 0u);
    const std::string label = cgi[0].substr(cgi[0].find("->") + 2);
    EXPECT_FALSE(label.empty());
    EXPECT_EQ(label.find_first_of("/\\\"\r\n"), std::string::npos);
    EXPECT_LE(label.size(), 64u);
    EXPECT_EQ(Links("<a href=GET.CGI?f=a.zip>"), Entries{"GET.CGI?f=a.zip"});
}

TEST(ExtractImageLinks, ListsSourcesUnfilteredAfterTheLinks)
{
    TLinkList list;
    const std::string page = PageTextFromBytes(
        "<a href=a.zip><IMG SRC=pic.gif WIDTH=10><img src=\"PIC.GIF\"><img border=0 src=no.gif>"
        "<img  src=two.gif><IMG SRC=a.zip><img src=''><img src=x.gif#frag>");
    ExtractLinksFromText(page, ".zip", TFilterMode::Contains, list);
    ExtractImageLinksFromText(page, list);
    EXPECT_EQ(list.Items(), (Entries{"a.zip", "pic.gif", "x.gif#frag"}));
}

TEST(ExtractLinks, ReadsThePageFileAndReportsAnUnreadableOne)
{
    TempDir dir;
    const std::string page = dir.Write("page.html", "<a href=a.zip>\r\n<img src=b.gif>");
    TLinkList list;
    list.Append("stale");
    ExtractLinks(page, ".zip", TFilterMode::Contains, list);
    ExtractImageLinks(page, list);
    EXPECT_EQ(list.Items(), (Entries{"a.zip", "b.gif"}));

    ExtractLinks("", ".zip", TFilterMode::Contains, list);
    EXPECT_TRUE(list.Empty());
    list.Append("kept");
    ExtractImageLinks("", list);
    EXPECT_EQ(list.Items(), Entries{"kept"});

    try
    {
        ExtractLinks(dir.Path() + "missing.html", ".zip", TFilterMode::Contains, list);
        FAIL() << "a missing page file must raise";
    }
    catch (const Exception& error)
    {
        EXPECT_NE(std::string(error.what()).find("missing.html"), std::string::npos);
        EXPECT_NE(std::string(error.what()).find("No such file"), std::string::npos);
    }
    EXPECT_TRUE(list.Empty());
}

TEST(LinkList, FindsEntriesIgnoringCase)
{
    TLinkList list;
    EXPECT_TRUE(list.AppendNew("Files/A.zip"));
    EXPECT_FALSE(list.AppendNew("files/a.ZIP"));
    EXPECT_TRUE(list.Contains("FILES/A.ZIP"));
    EXPECT_FALSE(list.Contains("files/a.zi"));
    list.Append("files/a.zip");
    EXPECT_EQ(list.Count(), 2u);
    list.Delete(0);
    EXPECT_TRUE(list.Contains("files/A.ZIP"));
    list.Delete(0);
    EXPECT_FALSE(list.Contains("files/a.zip"));
    list.Assign({"x", "Y"});
    EXPECT_TRUE(list.Contains("y"));
    for (int i = 0; i < 5000; ++i)
        list.Append("link" + std::to_string(i));
    EXPECT_TRUE(list.Contains("LINK4999"));
    EXPECT_TRUE(list.Contains("x"));
    EXPECT_FALSE(list.Contains("link5000"));
    list.Clear();
    EXPECT_FALSE(list.Contains("files/a.zip"));
}
