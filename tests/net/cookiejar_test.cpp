#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "net/cookiejar.h"
#include "net/extraheader.h"

namespace
{
constexpr std::int64_t Now = 1700000000;
} // namespace

TEST(CookieFile, LinesAreReadOrReportedByNumberAndWrittenBackAlike)
{
    const std::string file = "# Netscape HTTP Cookie File\r\n"
                             "\r\n"
                             ".Example.COM\tTRUE\t/\tFALSE\t0\tsid\tabc\r\n"
                             "#HttpOnly_www.example.com\tFALSE\t/app\tTRUE\t1800000000\ttoken\tt=1\n"
                             "   \t  \n"
                             "example.com\tTRUE\t/\tFALSE\t0\tshort\n"
                             "example.com\tMAYBE\t/\tFALSE\t0\tn\tv\n"
                             "example.com\tTRUE\tnoslash\tFALSE\t0\tn\tv\n"
                             "example.com\tTRUE\t/\tyes\t0\tn\tv\n"
                             "example.com\tTRUE\t/\tFALSE\tsoon\tn\tv\n"
                             "\tTRUE\t/\tFALSE\t0\tn\tv\n"
                             "example.com\tTRUE\t/\tFALSE\t0\tn\tv;w\n"
                             "127.0.0.1\tTRUE\t/\tFALSE\t1700000000.5\tip\t\n"
                             "example.com\tTRUE\t/\tFALSE\t0\t\t\n";
    const TCookieFileContents contents = ParseCookieFile(file);

    ASSERT_EQ(contents.Cookies.size(), 3u);
    const TCookie& sid = contents.Cookies[0];
    EXPECT_EQ(sid.Domain, "example.com");
    EXPECT_TRUE(sid.IncludeSubdomains);
    EXPECT_EQ(sid.Expires, 0);
    EXPECT_EQ(sid.Value, "abc") << "the CR of a CRLF line is no part of the value";
    const TCookie& token = contents.Cookies[1];
    EXPECT_TRUE(token.HttpOnly && token.Secure && !token.IncludeSubdomains);
    EXPECT_EQ(token.Path, "/app");
    EXPECT_EQ(token.Value, "t=1");
    EXPECT_EQ(token.Expires, 1800000000);
    // An address has no subdomains, whatever the file says; an empty value is a value.
    EXPECT_FALSE(contents.Cookies[2].IncludeSubdomains);
    EXPECT_EQ(contents.Cookies[2].Expires, 1700000000);

    std::vector<int> lines;
    for (const TCookieFileProblem& problem : contents.Problems)
        lines.push_back(problem.Line);
    EXPECT_EQ(lines, (std::vector<int>{6, 7, 8, 9, 10, 11, 12, 14}));
    EXPECT_EQ(contents.Problems[0].Reason, "7 tab-separated fields expected, 6 found");
    EXPECT_EQ(contents.Problems[4].Reason, "the expiry is not a number of seconds");

    // What the jar writes reads back as the same cookies, each flag in its place.
    const TCookieFileContents again = ParseCookieFile(CookieFileText(contents.Cookies));
    EXPECT_TRUE(again.Problems.empty());
    ASSERT_EQ(again.Cookies.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
    {
        const TCookie& a = contents.Cookies[i];
        const TCookie& b = again.Cookies[i];
        EXPECT_EQ(
            std::tie(a.Domain, a.IncludeSubdomains, a.Path, a.Secure, a.HttpOnly, a.Expires, a.Name, a.Value),
            std::tie(b.Domain, b.IncludeSubdomains, b.Path, b.Secure, b.HttpOnly, b.Expires, b.Name, b.Value))
            << i;
    }
}

TEST(CookieJar, RequestsGetOnlyTheCookiesOfTheirHostPathAndScheme)
{
    TCookieJar jar;
    const auto add = [&](std::string domain, bool subdomains, std::string path, bool secure,
                         std::int64_t expires, std::string name) {
        jar.Add({domain, subdomains, path, secure, false, expires, name, "1"}, Now);
    };
    add("example.com", true, "/", false, 0, "wide");
    add("example.com", false, "/", false, 0, "hostonly");
    add("example.com", true, "/docs", false, 0, "docs");
    add("example.com", true, "/", true, 0, "secure");
    add("example.com", true, "/", false, Now + 60, "later");
    add("example.com", true, "/", false, Now - 1, "gone");
    add("ample.com", true, "/", false, 0, "suffix");
    add("127.0.0.1", false, "/", false, 0, "ip");

    EXPECT_EQ(jar.CookieHeader("example.com", "/", false, Now), "wide=1; hostonly=1; later=1");
    EXPECT_EQ(jar.CookieHeader("WWW.Example.com", "/docs/a.zip?x=1", true, Now),
              "docs=1; wide=1; secure=1; later=1");
    // "/docs" is no folder of "/docsx"; the query is no part of the path.
    EXPECT_EQ(jar.CookieHeader("www.example.com", "/docsx?/docs/", false, Now), "wide=1; later=1");
    EXPECT_EQ(jar.CookieHeader("www.example.com", "/", false, Now + 60), "wide=1");
    EXPECT_EQ(jar.CookieHeader("badexample.com", "/", true, Now), "");
    EXPECT_EQ(jar.CookieHeader("127.0.0.1", "/", false, Now), "ip=1");
    EXPECT_EQ(jar.CookieHeader("0.127.0.0.1", "/", false, Now), "");
    EXPECT_EQ(jar.Count(), 7u) << "an expired cookie is not taken";

    // A server's cookies: attributes are no part of the value, a later one replaces, Max-Age
    // and a past date remove, Max-Age wins over Expires.
    jar.TakeSetCookie("wide=2; Path=/; Domain=.example.com", "www.example.com", "/x", false, Now);
    jar.TakeSetCookie("later=; Max-Age=0", "example.com", "/", false, Now);
    jar.TakeSetCookie("docs=x; Domain=example.com; Path=/docs; Expires=Sun, 06 Nov 1994 08:49:37 GMT",
                      "a.example.com", "/docs/f", false, Now);
    jar.TakeSetCookie("kept=1; Expires=Thu, 01-Jan-1970 00:00:01 GMT; Max-Age=100", "example.com", "/", false,
                      Now);
    // Not this host's to set: another domain, a top-level one, Secure over http, a control byte.
    jar.TakeSetCookie("foreign=1; Domain=other.com", "www.example.com", "/", false, Now);
    jar.TakeSetCookie("tld=1; Domain=com", "www.example.com", "/", false, Now);
    jar.TakeSetCookie("sneaky=1; Secure", "example.com", "/", false, Now);
    jar.TakeSetCookie("bad=a\tb", "example.com", "/", false, Now);
    // Without a Path, the cookie belongs to the folder of the address that set it.
    jar.TakeSetCookie("folder=1", "example.com", "/shop/cart.html", false, Now);
    EXPECT_EQ(jar.CookieHeader("example.com", "/shop/x", true, Now),
              "folder=1; wide=2; hostonly=1; secure=1; kept=1");
    EXPECT_EQ(jar.CookieHeader("example.com", "/docs/", false, Now), "wide=2; hostonly=1; kept=1");
    EXPECT_EQ(jar.CookieHeader("example.com", "/", false, Now + 101), "wide=2; hostonly=1");
}

TEST(CookieJar, DatesAndAHostileServerAreKeptWithinBounds)
{
    EXPECT_EQ(ParseCookieDate("Sun, 06 Nov 1994 08:49:37 GMT"), 784111777);
    EXPECT_EQ(ParseCookieDate("Sunday, 06-Nov-94 08:49:37 GMT"), 784111777);
    EXPECT_EQ(ParseCookieDate("Sun Nov  6 08:49:37 1994"), 784111777);
    EXPECT_EQ(ParseCookieDate("Thu, 29 Feb 2024 00:00:00 GMT"), 1709164800);
    EXPECT_FALSE(ParseCookieDate("Fri, 30 Feb 2024 00:00:00 GMT"));
    EXPECT_FALSE(ParseCookieDate("Sun, 06 Nov 1994 25:49:37 GMT"));
    EXPECT_FALSE(ParseCookieDate("tomorrow"));

    TCookieJar jar;
    EXPECT_FALSE(
        ParseSetCookie("big=" + std::string(TCookieJar::MaxCookieBytes, 'x'), "a.example", "/", false, Now));
    for (std::size_t i = 0; i < TCookieJar::MaxPerDomain + 5; ++i)
        jar.TakeSetCookie("c" + std::to_string(i) + "=v", "a.example", "/", false, Now);
    EXPECT_EQ(jar.Count(), TCookieJar::MaxPerDomain);
    // The oldest made room.
    const std::string header = jar.CookieHeader("a.example", "/", false, Now);
    EXPECT_EQ(header.find("c4=v"), std::string::npos);
    EXPECT_NE(header.find("c5=v"), std::string::npos);
    for (std::size_t i = 0; i < TCookieJar::MaxCookies; ++i)
        jar.TakeSetCookie("n=v", "h" + std::to_string(i) + ".example", "/", false, Now);
    EXPECT_EQ(jar.Count(), TCookieJar::MaxCookies);
    EXPECT_EQ(jar.CookieHeader("a.example", "/", false, Now), "");
    EXPECT_EQ(jar.CookieHeader("h2999.example", "/", false, Now), "n=v");
}

TEST(ExtraHeader, OnlyWellFormedHeadersOfTheUsersOwnPass)
{
    EXPECT_EQ(CheckExtraHeader("X-Token: abc def"), "");
    EXPECT_EQ(CheckExtraHeader("Referer: http://example.com/"), "");
    EXPECT_EQ(CheckExtraHeader("X-Empty:"), "");
    for (const std::string& line : std::vector<std::string>{"X-A: 1\r\nHost: evil", "X-A: 1\nX-B: 2",
                                                            std::string("X-A: 1\0b", 8), "X-A:\t1"})
        EXPECT_EQ(CheckExtraHeader(line), "a header may not hold a line break, NUL or other control byte")
            << ::testing::PrintToString(line);
    EXPECT_EQ(CheckExtraHeader("no colon"), "'no colon' is no header: \"Name: value\" expected");
    EXPECT_EQ(CheckExtraHeader(": value"), "': value' is no header: \"Name: value\" expected");
    EXPECT_EQ(CheckExtraHeader("Bad Name: v"),
              "'Bad Name' is no header name: letters, digits and !#$%&'*+-.^_`|~ only");
    EXPECT_EQ(CheckExtraHeader("host: evil.example"), "Host is written by Kestrow itself");
    EXPECT_EQ(CheckExtraHeader("Range: bytes=0-"), "Range is written by Kestrow itself");
    EXPECT_EQ(CheckExtraHeader("Transfer-Encoding: chunked"),
              "Transfer-Encoding is written by Kestrow itself");
    EXPECT_EQ(CheckExtraHeader("COOKIE: a=1"),
              "Cookie is written by Kestrow itself: give a cookies file with --load-cookies");
    EXPECT_EQ(CheckExtraHeader("User-Agent: x"),
              "User-Agent is written by Kestrow itself: set it with --user-agent");
    EXPECT_EQ(CheckExtraHeader("Authorization: Basic eA=="),
              "Authorization is written by Kestrow itself: give the login with --user and --password");
}
