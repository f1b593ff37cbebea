// Cookies files, the User-Agent and extra headers of kestrow-cli run and get, against scripted
// servers that record what each request carried.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <QTcpSocket>

#include "clirun.h"
#include "peers.h"
#include "scriptedserver.h"
#include "scriptedtlsserver.h"
#include "tempdir.h"

namespace
{
using Script = ScriptedServer::Script;

Script Page(const std::string& extraHeader = {})
{
    return Script()
        .ExpectHeader()
        .Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n" + extraHeader + "\r\n<html></html>")
        .Close();
}

// The Cookie line of the request for target among those a server received, or "(none)";
// "(not asked)" when no request was for it.
std::string CookieFor(const std::vector<std::string>& requests, const std::string& target)
{
    for (const std::string& request : requests)
    {
        if (!request.starts_with("GET " + target + " "))
            continue;
        const std::size_t at = request.find("\r\nCookie: ");
        return at == std::string::npos ? "(none)"
                                       : request.substr(at + 10, request.find("\r\n", at + 2) - at - 10);
    }
    return "(not asked)";
}

std::vector<std::string> Requests(const ScriptedServer& server)
{
    std::vector<std::string> requests;
    for (int i = 0; i < server.ConnectionCount(); ++i)
        requests.push_back(server.Received(i));
    return requests;
}
} // namespace

TEST(KestrowCliCookies, RunSendsTheFilesCookiesOnlyWhereTheyBelongAndSavesTheRunsOwn)
{
    // The page in /docs sets a cookie without a Path: it belongs to /docs alone.
    ScriptedServer plain;
    plain.AddScript(Script()
                        .ExpectHeader()
                        .Call(
                            [](ScriptedServer::Connection& connection)
                            {
                                const bool docs = connection.received.starts_with("GET /docs/index.html ");
                                const std::string answer = std::string("HTTP/1.0 200 OK\r\n") +
                                                           (docs ? "Set-Cookie: visit=1\r\n" : "") +
                                                           "Content-Type: text/html\r\n\r\n<html></html>";
                                connection.socket->write(answer.data(), static_cast<qint64>(answer.size()));
                            })
                        .Close());
    ScriptedServer v6{QHostAddress(QHostAddress::LocalHostIPv6)};
    ASSERT_TRUE(v6.Listening());
    v6.AddScript(Page());
    const std::string tls = PeerStateDir("nginx_tls");
    ScriptedTlsServer secure(tls + "tls/server.pem", tls + "tls/server.key");
    secure.Answer("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html></html>",
                  ScriptedTlsServer::Ending::CloseNotify);

    TempDir home;
    const std::string cookies =
        home.Write("cookies.txt", "# Netscape HTTP Cookie File\r\n"
                                  "127.0.0.1\tFALSE\t/\tFALSE\t0\tall\t1\r\n"
                                  "127.0.0.1\tFALSE\t/docs\tFALSE\t0\tdocs\t2\r\n"
                                  "127.0.0.1\tFALSE\t/\tTRUE\t0\tsecure\t3\r\n"
                                  "127.0.0.1\tFALSE\t/\tFALSE\t1\texpired\t4\r\n"
                                  "#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t4102444800\thttponly\t5\r\n"
                                  "::1\tFALSE\t/\tFALSE\t0\tsix\t6\r\n"
                                  ".example.com\tTRUE\t/\tFALSE\t0\telsewhere\t7\r\n"
                                  "this line is no cookie\r\n");
    const std::string saved = home.Path() + "saved.txt";
    const CliResult result = RunList(home.Path(),
                                     {plain.Url("/docs/index.html"), plain.Url("/other.html"),
                                      v6.Url("/index.html"), secure.Url("/index.html")},
                                     {"--load-cookies", Q(cookies), "--save-cookies", Q(saved), "--log-level",
                                      "1", "--ca-file", Q(tls + "ca.pem")});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("Cookies file " + cookies +
                              " line 9 skipped: 7 tab-separated fields expected, 1 found\n"),
              std::string::npos)
        << result.out;

    // Each server gets the cookies of its host, path and scheme: never an expired one or another
    // domain's, a Secure one only over https. Longer paths come first.
    const std::vector<std::string> plainRequests = Requests(plain);
    EXPECT_EQ(CookieFor(plainRequests, "/docs/index.html"), "docs=2; all=1; httponly=5");
    EXPECT_EQ(CookieFor(plainRequests, "/other.html"), "all=1; httponly=5");
    EXPECT_EQ(CookieFor(Requests(v6), "/index.html"), "six=6");
    EXPECT_EQ(CookieFor(secure.Requests(), "/index.html"), "all=1; secure=3; httponly=5");

    // The saved file holds what was read, less the expired cookie, and what the server set for
    // the folder of its page; it reads back the same.
    const std::string text = ReadWhole(saved);
    for (const std::string line :
         {"127.0.0.1\tFALSE\t/\tFALSE\t0\tall\t1", "127.0.0.1\tFALSE\t/\tTRUE\t0\tsecure\t3",
          "#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t4102444800\thttponly\t5", "::1\tFALSE\t/\tFALSE\t0\tsix\t6",
          ".example.com\tTRUE\t/\tFALSE\t0\telsewhere\t7", "127.0.0.1\tFALSE\t/docs\tFALSE\t0\tvisit\t1"})
        EXPECT_NE(text.find("\n" + line + "\n"), std::string::npos) << line << "\n" << text;
    EXPECT_EQ(text.find("expired"), std::string::npos);
    EXPECT_EQ(ReadWhole(cookies).find("visit"), std::string::npos) << "the file read is never written";

    // The saved file serves the next run as it is.
    const CliResult again = RunList(home.Path(), {plain.Url("/docs/again.html")},
                                    {"--load-cookies", Q(saved), "--log-level", "1"});
    EXPECT_EQ(again.exitCode, 0) << again.out << again.err;
    EXPECT_EQ(again.out.find("skipped"), std::string::npos) << again.out;
    EXPECT_EQ(CookieFor(Requests(plain), "/docs/again.html"), "docs=2; visit=1; all=1; httponly=5");
}

TEST(KestrowCliCookies, IdentityAndHeadersAreSentAndInjectionIsRefused)
{
    ScriptedServer server;
    server.AddScript(Page("Set-Cookie: session=abc; Max-Age=3600\r\n"));
    TempDir dir;
    const std::string cookies = dir.Write("in.txt", "127.0.0.1\tFALSE\t/\tFALSE\t0\tsid\ts1\n");
    const QStringList identity{"--user-agent",   "Kestrow-Test/3 (+mailto:me@example.com)",
                               "--header",       "X-Token: t",
                               "--header",       "Accept-Language: de",
                               "--load-cookies", Q(cookies),
                               "--save-cookies", Q(dir.Path() + "out.txt")};
    CliResult result =
        RunCli(QStringList{"get", Q(server.Url("/f.html")), Q(dir.Path() + "f.html")} + identity);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    ASSERT_EQ(server.ConnectionCount(), 1);
    const std::string request = server.Received(0);
    for (const std::string line : {"User-Agent: Kestrow-Test/3 (+mailto:me@example.com)", "X-Token: t",
                                   "Accept-Language: de", "Cookie: sid=s1"})
        EXPECT_NE(request.find("\r\n" + line + "\r\n"), std::string::npos) << line << "\n" << request;
    const std::string saved = ReadWhole(dir.Path() + "out.txt");
    EXPECT_NE(saved.find("\n127.0.0.1\tFALSE\t/\tFALSE\t0\tsid\ts1\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\tsession\tabc\n"), std::string::npos) << saved;

    // A line break, a header of Kestrow's own or a line that is no header is a usage error, for
    // run as for get, and nothing reaches the server.
    const std::string list = dir.Write("list.kes", server.Url("/f.html") + "\r\n");
    const std::vector<std::pair<QStringList, std::string>> refused{
        {{"--header", "X-A: 1\r\nHost: evil.test"},
         "--header refused: a header may not hold a line break, NUL or other control byte"},
        {{"--header", "host: evil.test"}, "--header refused: Host is written by Kestrow itself"},
        {{"--header", "Cookie: a=1"},
         "--header refused: Cookie is written by Kestrow itself: give a cookies file with --load-cookies"},
        {{"--header", "no header"}, "--header refused: 'no header' is no header: \"Name: value\" expected"},
        {{"--user-agent", "a\nX-Evil: 1"}, "--user-agent may not hold a line break or other control byte"},
        {{"--load-cookies", Q(dir.Path() + "missing.txt")},
         "cookies file " + dir.Path() + "missing.txt not read: "},
    };
    for (const auto& [arguments, message] : refused)
    {
        result = RunCli(QStringList{"get", Q(server.Url("/g.html")), Q(dir.Path() + "g.html")} + arguments);
        EXPECT_EQ(result.exitCode, 2) << message;
        EXPECT_TRUE(result.err.starts_with("kestrow-cli get: " + message)) << result.err;
        result =
            RunCli(QStringList{"run", Q(list)} + arguments,
                   {Q("KESTROW_HOME=" + dir.Path()), Q("KESTROW_SETTINGS=" + dir.Path() + "settings.json")});
        EXPECT_EQ(result.exitCode, 2) << message;
        EXPECT_TRUE(result.err.starts_with("kestrow-cli run: " + message)) << result.err;
    }
    EXPECT_EQ(server.ConnectionCount(), 1);
    EXPECT_FALSE(dir.Exists("g.html"));
}
