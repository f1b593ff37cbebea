#include <gtest/gtest.h>

#include <vector>

#include <sys/stat.h>

#include "links/linkextraction.h"
#include "messageof.h"
#include "platform/exception.h"
#include "tempdir.h"

namespace
{
std::vector<std::string> Links(const std::string& page, const std::string& filter = ".zip",
                               TFilterMode mode = TFilterMode::Contains, const std::string& pageAddress = {})
{
    TLinkList list;
    ExtractLinksFromText(page, filter, mode, list, pageAddress);
    return list.Items();
}

using Entries = std::vector<std::string>;

// What the scanner finds when fed the page in the given pieces.
Entries Scanned(TLinkScanner::TKind kind, const std::vector<std::string_view>& pieces)
{
    Entries found;
    TLinkScanner scanner(
        kind, [&found](TLinkScanner::TFound& link)
        { found.push_back((link.Base ? "base:" : "") + link.Link + "|" + std::string(link.TagText)); });
    for (std::string_view piece : pieces)
        scanner.Feed(piece);
    scanner.Finish();
    return found;
}
} // namespace

TEST(ExtractLinks, KeywordAndFilterIgnoreCaseButLinksKeepIt)
{
    for (TFilterMode mode : {TFilterMode::Contains, TFilterMode::EndsWith})
        EXPECT_EQ(Links(R"(<a href="files/A.ZIP">x</a>)", ".zip", mode), Entries{"files/A.ZIP"});
}

TEST(ExtractLinks, CutsTheLinkOutOfTheTag)
{
    EXPECT_EQ(Links("<A HREF=x.zip TARGET=_top>"), Entries{"x.zip"});
    EXPECT_EQ(Links("<A HREF='a.zip'>"), Entries{"a.zip"});
    EXPECT_EQ(Links("<A HREF=page.html#sec>", ""), Entries{"page.html"});
    EXPECT_EQ(Links("<a href=\"a.zip\"class=x>"), Entries{"a.zip"});
    // A quoted value runs to its closing quote, blanks, ">" and the other quote included.
    EXPECT_EQ(Links(R"(<A HREF="my file.zip"><a href=  " spaced.zip" ><a href="it's.zip?a>b" x=y>)", ""),
              (Entries{"my file.zip", "spaced.zip", "it's.zip?a>b"}));
    EXPECT_EQ(Links("<a href=\"two\r\nlines.zip\">"), Entries{"twolines.zip"});
    // A quote left open before the next tag is read as it always was, up to the tag's end.
    EXPECT_EQ(Links(R"(<a href="x.zip>X</a> <a href="y.zip">Y</a>)"), (Entries{"x.zip", "y.zip"}));
}

TEST(ExtractLinks, EntitiesInValuesAreDecodedBeforeTheFilter)
{
    EXPECT_EQ(Links(R"(<a href="a&amp;b.zip"><a href="get?id=1&amp;file=c.zip"><a href=nine&#46;zip>)"
                    R"(<a href="&lt;&gt;&quot;&apos;&#x2E;zip"><a href="?a=1&copy=2.zip&amp">)"
                    R"(<a href="&#10;a&#0;&#xD800;&#99999999;.zip"><a href="caf&#233;.zip">)"),
              (Entries{"a&b.zip", "get?id=1&file=c.zip", "nine.zip", "<>\"'.zip", "?a=1&copy=2.zip&amp",
                       "a.zip", "caf\xC3\xA9.zip"}));
    // A fragment written as a reference is still a fragment.
    EXPECT_EQ(Links("<a href=x.zip&#35;top>"), Entries{"x.zip"});
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

TEST(ExtractLinks, EachLinkOnceAtItsFirstPlaceWithLetterCaseCountingOutsideSchemeAndHost)
{
    EXPECT_EQ(Links("<a href=a.zip><a href=b.zip><A HREF=A.ZIP><a href=a.zip><a href=Index.html>"
                    "<a href=index.html><a href=http://Host/x.zip><a href=HTTP://HOST/x.zip>"
                    "<a href=http://host/X.zip><a href=//Mirror/y.zip><a href=//mirror/y.zip>",
                    ""),
              (Entries{"a.zip", "b.zip", "A.ZIP", "Index.html", "index.html", "http://Host/x.zip",
                       "http://host/X.zip", "//Mirror/y.zip"}));
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

TEST(ExtractImageLinks, ListsTheSourceWhereverItStandsUnfilteredAfterTheLinks)
{
    TLinkList list;
    const std::string page =
        "<a href=a.zip><IMG SRC=pic.gif WIDTH=10><img src=\"PIC.GIF\"><img border=0 alt='a > b' src=two.gif>"
        "<img\n  data-src=no.gif\tsrc = \"my pic.gif\" /><IMG SRC=a.zip><img src=''><img src=x.gif#frag>"
        "<img alt=none><imgx src=no.gif><img src=a&amp;b.gif>";
    ExtractLinksFromText(page, ".zip", TFilterMode::Contains, list);
    ExtractImageLinksFromText(page, list);
    EXPECT_EQ(list.Items(),
              (Entries{"a.zip", "pic.gif", "PIC.GIF", "two.gif", "my pic.gif", "x.gif#frag", "a&b.gif"}));
}

TEST(ExtractLinks, BaseHrefAndLinksBackToThePage)
{
    // A folder listing: sort links, the parent folder and the folder itself in its several spellings
    // are passed over; the base says where the others lead and is no link itself.
    const std::string listing = "<head><base href=\"http://mirror:8080/pub/\"></head>"
                                "<a href=\"?C=N;O=D\"><a href=?C=M&amp;O=A><a href=\"/\"><a href=../>"
                                "<a href=/files/><a href=/files><a href=HTTP://Server/files/./><a href=./>"
                                "<a href=sub/><a href=a.zip><a href=http://server:81/files/>"
                                "<a href=https://server/files/><a href=/Files/>";
    TLinkList list;
    EXPECT_EQ(ExtractLinksFromText(listing, "", TFilterMode::Contains, list, "http://server/files/"),
              "http://mirror:8080/pub/");
    EXPECT_EQ(list.Items(), (Entries{"?C=N;O=D", "?C=M&O=A", "/", "../", "/files/", "/files", "./", "sub/",
                                     "a.zip", "http://server:81/files/", "https://server/files/", "/Files/"}))
        << "relative links lead to the mirror, so only the absolute one leads back to the page";

    const std::string page = "<a href=\"?C=N;O=D\"><a href=\"/\"><a href=../><a href=/files/><a href=/files>"
                             "<a href=HTTP://Server:80/files/./><a href=./><a href=list.html?page=2>"
                             "<a href=sub/><a href=a.zip><a href=http://server:81/files/>"
                             "<a href=https://server/files/><a href=/Files/><a href=list.htm>"
                             "<a href=sub/../../><a href=sub/deeper/a-long-name.zip>";
    EXPECT_EQ(ExtractLinksFromText(page, "", TFilterMode::Contains, list, "http://server/files/list.html"),
              "http://server/files/list.html");
    EXPECT_EQ(list.Items(), (Entries{"sub/", "a.zip", "http://server:81/files/", "https://server/files/",
                                     "/Files/", "list.htm", "sub/deeper/a-long-name.zip"}));
    // Without the page's address nothing is passed over; a relative base stands as written.
    EXPECT_EQ(ExtractLinksFromText("<BASE\tHREF='/pub/'><a href=../>", "", TFilterMode::Contains, list),
              "/pub/");
    EXPECT_EQ(list.Items(), Entries{"../"});
    EXPECT_EQ(ExtractLinksFromText("<base href=/pub/>", "", TFilterMode::Contains, list, "http://s/a/b.html"),
              "http://s/pub/");

    // A base inside a comment is none, however far the comment runs; its href is a link like any
    // in a comment. The first base after the comment counts.
    const std::string far(600000, 'x');
    EXPECT_EQ(ExtractLinksFromText("<!-- old mirror " + far + "<base href=http://old/> -->" + far +
                                       "<a href=a.zip>",
                                   "", TFilterMode::Contains, list, "http://s/a/b.html"),
              "http://s/a/b.html");
    EXPECT_EQ(list.Items(), (Entries{"http://old/", "a.zip"}));
    EXPECT_EQ(
        ExtractLinksFromText("<!--<base href=http://old/>--><base href=http://new/><!-- -- <a href=a.zip>",
                             "", TFilterMode::Contains, list, "http://s/a/b.html"),
        "http://new/");
    EXPECT_EQ(list.Items(), (Entries{"http://old/", "a.zip"}));
}

TEST(TLinkScanner, FindsTheSameHoweverThePageIsCutAndHoldsABoundedWindow)
{
    const std::string page =
        "<html>\r\n<!-- <base href=http://c/> -\r\n-><base href=\"http://m/\"><A HREF=\"files/a b.zip\" "
        "title=x>\r"
        "\n<a href=x.zip\r\nTARGET=_top><img width=1 src='p&amp;q.gif'><a href=get.cgi?a=1>"
        "<a href=\"open.zip>O</a><a href=#top><IMG\tSRC=last.gif>\x1A<a href=gone.zip>";
    for (const auto kind : {TLinkScanner::TKind::Links, TLinkScanner::TKind::Images})
    {
        const Entries whole = Scanned(kind, {page});
        ASSERT_FALSE(whole.empty());
        for (std::size_t cut = 0; cut <= page.size(); ++cut)
            EXPECT_EQ(
                Scanned(kind, {std::string_view(page).substr(0, cut), std::string_view(page).substr(cut)}),
                whole)
                << "cut at " << cut;
        std::vector<std::string_view> bytes;
        for (std::size_t at = 0; at < page.size(); ++at)
            bytes.push_back(std::string_view(page).substr(at, 1));
        EXPECT_EQ(Scanned(kind, bytes), whole);
    }
    EXPECT_EQ(Scanned(TLinkScanner::TKind::Links, {page}),
              (Entries{"http://c/|http://c/", "base:http://m/|\"http://m/\"",
                       "files/a b.zip|\"files/a b.zip\" title=x", "x.zipTARGET=_top|x.zipTARGET=_top",
                       "get.cgi?a=1|get.cgi?a=1", "open.zip|\"open.zip", "|#top"}));

    // A gigabyte page, made as it is read: links at its start, across piece ends and at its end,
    // a value too long to be a link, and a tag that never ends.
    std::size_t found = 0;
    std::vector<std::string> links;
    TLinkScanner scanner(TLinkScanner::TKind::Links,
                         [&](TLinkScanner::TFound& link)
                         {
                             ++found;
                             if (links.size() < 8)
                                 links.push_back(link.Link);
                         });
    const std::string filler(1 << 20, 'x');
    const std::string tooLong = "<a href=\"" + std::string(TLinkScanner::MaxLinkBytes, 'y') + "\">";
    scanner.Feed("<a href=first.zip>");
    for (int i = 0; i < 1024; ++i)
    {
        scanner.Feed(filler);
        if (i == 10)
            scanner.Feed(tooLong);
        if (i % 100 == 0)
        {
            scanner.Feed("<a hr");
            scanner.Feed("ef=\"n" + std::to_string(i) + ".zip\">");
        }
    }
    scanner.Feed("<a href=last.zip><a href=open.zip");
    scanner.Finish();
    EXPECT_EQ(found, 13u);
    EXPECT_EQ(links, (Entries{"first.zip", "n0.zip", "n100.zip", "n200.zip", "n300.zip", "n400.zip",
                              "n500.zip", "n600.zip"}));
    EXPECT_LE(scanner.PeakHeldBytes(), 512u * 1024) << "memory stays flat whatever the page's size";
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

    EXPECT_EQ(
        MessageOf([&] { ExtractLinks(dir.Path() + "missing.html", ".zip", TFilterMode::Contains, list); }),
        "Cannot open file \"" + dir.Path() + "missing.html\". No such file or directory");
    EXPECT_TRUE(list.Empty());
    // A FIFO without a writer would block for ever; it is refused at once.
    const std::string fifo = dir.Path() + "page.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(MessageOf([&] { ExtractLinks(fifo, ".zip", TFilterMode::Contains, list); }),
              fifo + " is not a regular file");
    EXPECT_EQ(MessageOf([&] { ExtractImageLinks("/dev/zero", list); }), "/dev/zero is not a regular file");
}

TEST(LinkList, FindsEntriesAsLinksCompare)
{
    TLinkList list;
    EXPECT_TRUE(list.AppendNew("Files/A.zip"));
    EXPECT_FALSE(list.AppendNew("Files/A.zip"));
    EXPECT_TRUE(list.AppendNew("files/a.ZIP"));
    EXPECT_FALSE(list.Contains("files/a.zi"));
    EXPECT_TRUE(list.AppendNew("http://user:Pw@Host:80/Dir/?Q=1"));
    EXPECT_TRUE(list.Contains("HTTP://user:Pw@hOST:80/Dir/?Q=1"));
    EXPECT_TRUE(list.Contains("http://user:Pw@Host:80/Dir/?Q=1"));
    for (const char* other : {"http://User:Pw@Host:80/Dir/?Q=1", "http://user:pw@Host:80/Dir/?Q=1",
                              "http://user:Pw@Host:80/dir/?Q=1", "http://user:Pw@Host:80/Dir/?q=1",
                              "http:/user:Pw@Host:80/Dir/?Q=1"})
        EXPECT_FALSE(list.Contains(other)) << other;
    list.Delete(0);
    EXPECT_FALSE(list.Contains("Files/A.zip"));
    EXPECT_TRUE(list.Contains("files/a.ZIP"));
    list.Assign({"x", "Y"});
    EXPECT_TRUE(list.Contains("Y"));
    EXPECT_FALSE(list.Contains("y"));
    for (int i = 0; i < 5000; ++i)
        list.Append("link" + std::to_string(i));
    EXPECT_TRUE(list.Contains("link4999"));
    EXPECT_TRUE(list.Contains("x"));
    EXPECT_FALSE(list.Contains("link5000"));
    list.Clear();
    EXPECT_FALSE(list.Contains("files/a.zip"));
}
