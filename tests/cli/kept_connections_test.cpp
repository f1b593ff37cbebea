// kestrow-cli run keeps a connection for the next request while the server allows it, and opens a
// new one where it does not or where the server has closed it meanwhile.
#include <gtest/gtest.h>

#include "clirun.h"
#include "scriptedserver.h"
#include "tempdir.h"

namespace
{
using Script = ScriptedServer::Script;

// The page linking a.zip and b.zip, then the two files, as the server answers them.
const std::string Page = "<a href=a.zip><a href=b.zip>";

std::string Answer(const std::string& head, const std::string& body)
{
    return head + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

CliResult RunPage(const TempDir& home, const ScriptedServer& server)
{
    return RunList(
        home.Path(), {server.Url("/list.html")},
        {"--filter", ".zip", "--pause", "0", "--parallel", "1", "--retries", "0", "--log-level", "3"});
}
} // namespace

TEST(KestrowCliKeptConnections, OneConnectionCarriesEveryRequestWhileTheServerKeepsIt)
{
    const struct
    {
        std::string head;
        bool kept;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\n", true},
        {"HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\n", true},
        {"HTTP/1.1 200 OK\r\nConnection: close\r\n", false},
        {"HTTP/1.0 200 OK\r\n", false},
        {"HTTP/1.1 200 OK\r\nConnection: keep-alive, Close\r\n", false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.head);
        // The server never closes: a client that waited for it would wait for ever.
        ScriptedServer server;
        server.AddScript(Script()
                             .ExpectHeader()
                             .Send(Answer(c.head, Page))
                             .ExpectHeader()
                             .Send(Answer(c.head, "AAAA"))
                             .ExpectHeader()
                             .Send(Answer(c.head, "BB"))
                             .Stall());
        server.AddScript(Script().ExpectHeader().Send(Answer(c.head, "AAAA")).Stall());
        server.AddScript(Script().ExpectHeader().Send(Answer(c.head, "BB")).Stall());
        TempDir home;
        const CliResult result = RunPage(home, server);
        EXPECT_EQ(result.exitCode, 0) << result.out;
        EXPECT_EQ(home.Read("out/a.zip") + home.Read("out/b.zip"), "AAAABB");
        EXPECT_EQ(server.ConnectionCount(), c.kept ? 1 : 3);
        EXPECT_TRUE(server.Received(0).starts_with("GET /list.html HTTP/1.1\r\n")) << server.Received(0);
        EXPECT_EQ(server.Received(0).find("\r\n\r\nGET /b.zip HTTP/1.1\r\n") != std::string::npos, c.kept);
    }
}

TEST(KestrowCliKeptConnections, AConnectionTheServerClosedIsOpenedAgainWithoutAnError)
{
    // The server closes the kept connection at once, or once the next request has come, without
    // a byte of an answer; the request goes again on a new connection, and nothing counts as a
    // failure or a retry.
    for (const bool afterRequest : {false, true})
    {
        SCOPED_TRACE(afterRequest);
        ScriptedServer server;
        Script first;
        first.ExpectHeader().Send(Answer("HTTP/1.1 200 OK\r\n", Page));
        if (afterRequest)
            first.ExpectHeader();
        server.AddScript(first.Close());
        server.AddScript(Script()
                             .ExpectHeader()
                             .Send(Answer("HTTP/1.1 200 OK\r\n", "AAAA"))
                             .ExpectHeader()
                             .Send(Answer("HTTP/1.1 200 OK\r\n", "BB"))
                             .Stall());
        TempDir home;
        const CliResult result = RunPage(home, server);
        EXPECT_EQ(result.exitCode, 0) << result.out;
        EXPECT_EQ(home.Read("out/a.zip") + home.Read("out/b.zip"), "AAAABB");
        EXPECT_EQ(server.ConnectionCount(), 2);
        EXPECT_EQ(result.out.find("Failed"), std::string::npos) << result.out;
        EXPECT_EQ(result.out.find("Retry"), std::string::npos) << result.out;
    }
}

TEST(KestrowCliKeptConnections, WhatArrivedIsCountedHoweverTheBodyWasFramed)
{
    const std::string hundredThousand(100000, 'z');
    std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (std::size_t at = 0; at < hundredThousand.size(); at += 30000)
    {
        const std::string piece = hundredThousand.substr(at, 30000);
        char size[16];
        std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
        chunked += size + piece + "\r\n";
    }
    chunked += "0\r\n\r\n";
    ScriptedServer server;
    server.AddScript(Script()
                         .ExpectHeader()
                         .Send(Answer("HTTP/1.1 200 OK\r\n", Page))
                         .ExpectHeader()
                         .Send(chunked)
                         .ExpectHeader()
                         .Send(Answer("HTTP/1.1 200 OK\r\n", hundredThousand))
                         .Stall());
    TempDir home;
    const CliResult result = RunPage(home, server);
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_EQ(home.Read("out/a.zip"), hundredThousand);
    EXPECT_NE(result.out.find("195.3K downloaded in 2 files"), std::string::npos) << result.out;
    EXPECT_EQ(server.ConnectionCount(), 1);
}
