#include <gtest/gtest.h>

#include <tuple>

#include "net/httpparse.h"
#include "platform/exception.h"

using httpparse::ParseRequestURL;

TEST(ParseRequestURL, AddsTheRootPathWhenThereIsNone)
{
    auto target = ParseRequestURL("http://h", "", 0);
    EXPECT_EQ(target.url, "http://h/");
    EXPECT_EQ(target.requestPath, "/");
    EXPECT_EQ(target.host, "h");
    EXPECT_EQ(target.port, 80);

    target = ParseRequestURL("http://h/", "", 0);
    EXPECT_EQ(target.url, "http://h/");
    EXPECT_EQ(target.requestPath, "/");

    target = ParseRequestURL("http://h/dir/", "", 0);
    EXPECT_EQ(target.requestPath, "/dir/");
    EXPECT_EQ(target.url, "http://h/dir/");
}

TEST(ParseRequestURL, BlanksAndBytesOfOtherCodePagesGoPercentEncoded)
{
    auto target = ParseRequestURL("http://h/caf\xe9 au lait/menu%20du jour.html?q=\xff~", "", 0);
    EXPECT_EQ(target.requestPath, "/caf%E9%20au%20lait/menu%20du%20jour.html?q=%FF~");
    EXPECT_EQ(target.url, "http://h/caf%E9%20au%20lait/menu%20du%20jour.html?q=%FF~")
        << "the form a proxy is sent";
    EXPECT_EQ(target.host, "h");
    target = ParseRequestURL("/\xc3\xa9t\xc3\xa9.zip", "h", 80);
    EXPECT_EQ(target.requestPath, "/%C3%A9t%C3%A9.zip");
    EXPECT_EQ(target.url, "/%C3%A9t%C3%A9.zip");
    // Printable ASCII stays as it was written, escapes and all.
    EXPECT_EQ(ParseRequestURL("http://h/a%2Fb/~x!$&'()*+,;=:@.zip", "", 0).requestPath,
              "/a%2Fb/~x!$&'()*+,;=:@.zip");
}

TEST(ParseRequestURL, PortAndHostCarryOverToAddressesWithoutThem)
{
    auto target = ParseRequestURL("http://h:8080/x", "", 0);
    EXPECT_EQ(target.host, "h");
    EXPECT_EQ(target.port, 8080);
    EXPECT_EQ(target.requestPath, "/x");

    target = ParseRequestURL("/y", target.host, target.port);
    EXPECT_EQ(target.host, "h");
    EXPECT_EQ(target.port, 8080);
    EXPECT_EQ(target.requestPath, "/y");

    target = ParseRequestURL("http://k/z", target.host, target.port);
    EXPECT_EQ(target.host, "k");
    EXPECT_EQ(target.port, 80);

    target = ParseRequestURL("www.example.test/a.zip", "k", 8000);
    EXPECT_EQ(target.host, "www.example.test");
    EXPECT_EQ(target.port, 8000);
    EXPECT_EQ(target.requestPath, "/a.zip");
}

TEST(ParseRequestURL, AnIPv6LiteralKeepsItsBracketsAndThePortComesAfterThem)
{
    auto target = ParseRequestURL("http://[::1]:8080/dir/list.html", "", 0);
    EXPECT_EQ(target.host, "[::1]");
    EXPECT_EQ(target.port, 8080);
    EXPECT_EQ(target.requestPath, "/dir/list.html");
    EXPECT_EQ(httpparse::HostField(target.host, target.port, false), "[::1]:8080");

    target = ParseRequestURL("https://[2001:db8::1]/f.zip", "", 0);
    EXPECT_EQ(target.host, "[2001:db8::1]");
    EXPECT_EQ(target.port, 443);
    EXPECT_EQ(httpparse::HostField(target.host, target.port, true), "[2001:db8::1]");
    EXPECT_EQ(ParseRequestURL("http://[::1]", "", 0).url, "http://[::1]/");
    EXPECT_THROW(ParseRequestURL("http://[::1]:x/", "", 0), Exception);
    EXPECT_THROW(ParseRequestURL("http://[::1]:70000/", "", 0), Exception);

    EXPECT_EQ(httpparse::HostWithoutBrackets("[fe80::1%eth0]"), "fe80::1%eth0");
    EXPECT_EQ(httpparse::HostWithoutBrackets("host"), "host");
    EXPECT_EQ(httpparse::HostWithoutBrackets("["), "[");
}

TEST(ParseRequestURL, SchemeChoosesTheDefaultPort)
{
    EXPECT_EQ(ParseRequestURL("ftp://f/x", "", 8080).port, 21);
    EXPECT_EQ(ParseRequestURL("GOPHER://g/", "", 8080).port, 70);
    EXPECT_EQ(ParseRequestURL("https://s/", "", 8080).port, 443);
    EXPECT_EQ(ParseRequestURL("HtTpS://s/", "", 8080).port, 443);
    EXPECT_EQ(ParseRequestURL("https://s:8443/", "", 0).port, 8443);
    EXPECT_EQ(ParseRequestURL("http://s/", "", 443).port, 80);
}

TEST(UsesTls, TheSchemeDecidesAndAPathAloneKeepsTheWayOfTheRequestBefore)
{
    using httpparse::UsesTls;
    EXPECT_TRUE(UsesTls("https://h/x", false));
    EXPECT_TRUE(UsesTls("HTTPS://h", false));
    EXPECT_FALSE(UsesTls("http://h/x", true));
    EXPECT_FALSE(UsesTls("httpsx://h/x", true));
    // A host without a scheme is reached as http, as everywhere else in the client.
    EXPECT_FALSE(UsesTls("h/https://x", true));
    EXPECT_TRUE(UsesTls("/next.html", true));
    EXPECT_FALSE(UsesTls("/next.html", false));
    EXPECT_EQ(httpparse::ResolveLocation("https://h:8443/dir/p.html", "q.html"), "https://h:8443/dir/q.html");
    EXPECT_EQ(httpparse::ResolveLocation("https://h/a/", "//k/y"), "https://k/y");
}

TEST(ParseRequestURL, KeepsLongPathsWhole)
{
    const std::string path = "/" + std::string(300, 'p') + "/file.zip?" + std::string(200, 'q');
    const auto target = ParseRequestURL("http://h" + path, "", 0);
    EXPECT_EQ(target.requestPath, path);
}

TEST(ParseRequestURL, RejectsEmptyAddressesAndPortsThatAreNone)
{
    try
    {
        ParseRequestURL("", "h", 80);
        FAIL();
    }
    catch (const Exception& error)
    {
        EXPECT_EQ(error.Message(), "Empty URL");
    }
    try
    {
        ParseRequestURL("http://h:abc/x", "", 0);
        FAIL();
    }
    catch (const Exception& error)
    {
        EXPECT_EQ(error.Message(), "'abc' is not a valid integer value");
    }
    // A number that is no port fails here, before any connection is tried.
    for (const char* port : {"70000", "0", "-80"})
        try
        {
            ParseRequestURL(std::string("http://h:") + port + "/x", "", 0);
            ADD_FAILURE() << port;
        }
        catch (const Exception& error)
        {
            EXPECT_EQ(error.Message(), std::string("Invalid port ") + port);
        }
}

TEST(StatusCode, ReadsTheSecondField)
{
    EXPECT_EQ(httpparse::StatusCode("HTTP/1.0 404 Not Found\r\n"), 404);
    EXPECT_EQ(httpparse::StatusCode("HTTP/1.1 200 OK\n"), 200);
    // Without a reason phrase the code still counts; a 404 must not pass for a success.
    EXPECT_EQ(httpparse::StatusCode("HTTP/1.0 404\r\n"), 404);
    EXPECT_EQ(httpparse::StatusCode("HTTP/1.0 302"), 302);
    EXPECT_EQ(httpparse::StatusCode("<html><body>\r\n"), 0);
    EXPECT_EQ(httpparse::StatusCode("HTTP/1.0  200 OK\r\n"), 0);
    EXPECT_EQ(httpparse::StatusCode("HTTP/1.0 2x0 OK\r\n"), 0);
    EXPECT_EQ(httpparse::StatusCode(""), 0);
    EXPECT_EQ(httpparse::StatusCode("HTTP/1.0 99999999999 Big\r\n"), 0);
}

TEST(ContentLength, IsDigitsAloneThatFit63Bits)
{
    EXPECT_EQ(httpparse::ContentLength("Content-Length: 1234\r\n"), 1234);
    EXPECT_EQ(httpparse::ContentLength("Content-Length:12345\r\n"), 12345);
    EXPECT_EQ(httpparse::ContentLength("content-length: \t 77 \r\n"), 77);
    EXPECT_EQ(httpparse::ContentLength("Content-Length: 0\r\n"), 0);
    // Beyond 2 GiB and 4 GiB the value stays as it stands.
    EXPECT_EQ(httpparse::ContentLength("Content-Length: 5000000000\r\n"), 5000000000LL);
    EXPECT_EQ(httpparse::ContentLength("Content-Length: 9223372036854775807\r\n"), 9223372036854775807LL);
    // Anything else is no length: read as a number, each of these once cut a file short.
    for (const char* bad :
         {"Content-Length: 9223372036854775808\r\n", "Content-Length: -1\r\n", "Content-Length: 1e9\r\n",
          "Content-Length: +5\r\n", "Content-Length: 77 bytes\r\n", "Content-Length: 1, 2\r\n",
          "Content-Length: 0x10\r\n", "Content-Length: \r\n", "Content-Length: none\r\n",
          "Content-Length\r\n"})
        EXPECT_EQ(httpparse::ContentLength(bad), std::nullopt) << bad;

    EXPECT_TRUE(httpparse::IsChunkedEncoding("Transfer-Encoding: chunked\r\n"));
    EXPECT_TRUE(httpparse::IsChunkedEncoding("transfer-encoding: gzip, CHUNKED \r\n"));
    EXPECT_FALSE(httpparse::IsChunkedEncoding("Transfer-Encoding: chunked, gzip\r\n"));
    EXPECT_FALSE(httpparse::IsChunkedEncoding("Transfer-Encoding: unchunked\r\n"));
}

TEST(HeaderLines, KeywordValueAndEnd)
{
    EXPECT_EQ(httpparse::HeaderKeyword("set-cookie: a=b\r\n"), "SET-COOKIE:");
    EXPECT_EQ(httpparse::HeaderKeyword("Location:/x\r\n"), "LOCATION:/X\r\n");
    EXPECT_EQ(httpparse::HeaderValueFrom("Location: /new\r\n", 11), "/new");
    EXPECT_EQ(httpparse::HeaderValueFrom("Set-Cookie: id=7; Path=/\n", 13), "id=7; Path=/");
    EXPECT_EQ(httpparse::HeaderValueFrom("Location:\r\n", 11), "");
    EXPECT_TRUE(httpparse::IsHeaderEnd("\r\n"));
    EXPECT_TRUE(httpparse::IsHeaderEnd("\n"));
    EXPECT_FALSE(httpparse::IsHeaderEnd(" \r\n"));
    EXPECT_FALSE(httpparse::IsHeaderEnd(""));
}

TEST(HttpDate, ReadsTheThreeFormsOfTheProtocolAndNothingElse)
{
    // 1994-11-06 08:49:37 UTC.
    constexpr std::int64_t moment = 784111777;
    EXPECT_EQ(httpparse::HttpDate("Sun, 06 Nov 1994 08:49:37 GMT"), moment);
    EXPECT_EQ(httpparse::HttpDate("Sunday, 06-Nov-94 08:49:37 GMT"), moment);
    EXPECT_EQ(httpparse::HttpDate("Sun Nov  6 08:49:37 1994"), moment);
    EXPECT_EQ(httpparse::HttpDate("Tue, 29 Feb 2028 23:59:60 GMT"), 1835481600);
    for (const char* text : {"", "garbage", "Sun, 06 Nov 1994 08:49:37", "Sun, 06 nov 1994 08:49:37 GMT",
                             "Sun, 06 Nov 1994 8:49:37 GMT", "Sun, 32 Nov 1994 08:49:37 GMT",
                             "Sun, 06 Nov 1994 24:00:00 GMT", "Sun, 06 Nov 19945 08:49:37 GMT"})
        EXPECT_EQ(httpparse::HttpDate(text), std::nullopt) << text;

    // The Content-Range line whole, and the line of a header that names it last.
    const httpparse::TContentRange range = httpparse::ParseContentRange("Content-Range: bytes 400-999/1000");
    EXPECT_EQ(std::tuple(range.First, range.Last, range.Total), std::tuple(400, 999, 1000));
    const std::string header = "HTTP/1.1 206 Partial\r\nDate: a\r\nX-Date: b\r\ndate: c\r\n\r\n";
    EXPECT_EQ(httpparse::HeaderLineValue(httpparse::HeaderLineOf(header, "DATE:")), "c");
    EXPECT_EQ(httpparse::HeaderLineOf(header, "ETAG:"), "");
}

TEST(ResolveLocation, TakesRelativeTargetsRelativeToTheRequest)
{
    using httpparse::ResolveLocation;
    EXPECT_EQ(ResolveLocation("http://h:8080/dir/page.html", "/new"), "http://h:8080/new");
    EXPECT_EQ(ResolveLocation("http://h:8080/dir/page.html?a=/b", "next.html"),
              "http://h:8080/dir/next.html");
    EXPECT_EQ(ResolveLocation("http://h/", "x"), "http://h/x");
    EXPECT_EQ(ResolveLocation("http://h", "x"), "http://h/x");
    EXPECT_EQ(ResolveLocation("http://h/a/", "//k/y"), "http://k/y");
    EXPECT_EQ(ResolveLocation("http://h/a/", "http://k/z"), "http://k/z");
    EXPECT_EQ(ResolveLocation("/local/path", "/new"), "/new");
    EXPECT_EQ(ResolveLocation("http://h/a", ""), "");
}
