#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include <QProcess>
#include <QTcpServer>

#include "clirun.h"
#include "peers.h"
#include "scriptedserver.h"
#include "tempdir.h"

namespace
{
CliResult RunGet(const QStringList& arguments)
{
    return RunCli(QStringList{"get"} + arguments);
}

QString Nginx(const std::string& path)
{
    return Q("http://127.0.0.1:" + std::to_string(PeerPort("nginx")) + path);
}

// A port on 127.0.0.1 where nobody listens.
quint16 ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
} // namespace

TEST(KestrowCliGet, FetchesIntoTheFileAndReportsTheReply)
{
    TempDir dir;
    CliResult result = RunGet({Nginx("/index.html"), Q(dir.Path() + "page.html")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "HTTP/1.1 200 OK\nReplyCode 200\n");
    std::ifstream expected(PeerStateDir("nginx") + "root/index.html", std::ios::binary);
    EXPECT_EQ(dir.Read("page.html"),
              std::string(std::istreambuf_iterator<char>(expected), std::istreambuf_iterator<char>()));

    // Redirects are followed; the last reply counts.
    result = RunGet({Nginx("/moved"), Q(dir.Path() + "moved.html")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(dir.Read("moved.html"), dir.Read("page.html"));

    result = RunGet({Nginx("/files/large.bin"), Q(dir.Path() + "head.bin"), "--head"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(dir.Exists("head.bin"));
    EXPECT_EQ(dir.Read("head.bin"), "");
}

TEST(KestrowCliGet, ExitCodesTellHttpErrorsFromTransportFailures)
{
    TempDir dir;
    CliResult result = RunGet({Nginx("/files/missing.zip"), Q(dir.Path() + "missing")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "HTTP/1.1 404 Not Found\nReplyCode 404\n");

    result = RunGet({Nginx("/private/secret.txt"), Q(dir.Path() + "secret")});
    EXPECT_EQ(result.exitCode, 1);
    result = RunGet({Nginx("/private/secret.txt"), Q(dir.Path() + "secret"), "--user",
                     Q(PeerValue("nginx", "user")), "--password", Q(PeerValue("nginx", "password"))});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(dir.Read("secret"), "the secret page");

    result = RunGet({Q("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/"), Q(dir.Path() + "refused")});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "kestrow-cli get: Connection Failed (10061:Connection refused)\n");
}

TEST(KestrowCliGet, GoesThroughAProxy)
{
    TempDir dir;
    const CliResult result = RunGet({Nginx("/files/small.txt"), Q(dir.Path() + "small.txt"), "--proxy",
                                     Q("127.0.0.1:" + std::to_string(PeerPort("tinyproxy")))});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(dir.Read("small.txt"), "first line\r\nsecond line\r\nthird line without end");
}

TEST(KestrowCliGet, GivesUpOnAStalledServer)
{
    ScriptedServer server;
    server.AddScript(ScriptedServer::Script().ExpectHeader().Send("HTTP/1.0 200 OK\r\n\r\npart").Stall());
    TempDir dir;
    const CliResult result = RunGet({Q(server.Url("/slow")), Q(dir.Path() + "slow"), "--timeout", "1", "-v"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("Connecting\n"), std::string::npos);
    EXPECT_NE(result.err.find("kestrow-cli get: nothing received for 1 seconds (Socket send aborted)\n"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(dir.Read("slow"), "part");
}

TEST(KestrowCliGet, RefusesWrongUsage)
{
    for (const QStringList& arguments :
         {QStringList{"http://h/"}, QStringList{"gopher://h/", "file"},
          QStringList{"http://h/", "f", "--proxy", "h"}, QStringList{"http://h/", "f", "--timeout", "0"},
          QStringList{"http://h/", "f", "--bogus"}})
    {
        const CliResult result = RunGet(arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_NE(result.err.find("Usage: kestrow-cli get URL FILE"), std::string::npos);
    }
}
