#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include "clirun.h"
#include "peers.h"
#include "scriptedserver.h"
#include "silentlistener.h"
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

// Bytes an earlier attempt at address left beside target (named name in dir), and the side file
// that says what they are: of the version validator, of a file of total bytes.
void PlantPartial(const TempDir& dir, const std::string& name, const std::string& address,
                  const std::string& bytes, const std::string& validator, std::int64_t total)
{
    dir.Write("." + name + ".part", bytes);
    dir.Write("." + name + ".part-info",
              "Kestrow partial file 1\n" + address + "\n" + validator + "\n" + std::to_string(total) + "\n");
}

// A file of size bytes that no two versions share at any place.
std::string Version(char first, std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(first + i % 23);
    return bytes;
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

    const std::string closed = std::to_string(ClosedPort());
    result = RunGet({Q("http://127.0.0.1:" + closed + "/"), Q(dir.Path() + "refused")});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err,
              "kestrow-cli get: Connection Failed: 127.0.0.1:" + closed + " refused the connection\n");
    // A name that has no address says which name.
    result = RunGet({Q("http://invalid..host/"), Q(dir.Path() + "unknown")});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "kestrow-cli get: Null Remote Address: no address found for invalid..host\n");
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
    dir.Write("slow", "what was there");
    const CliResult result = RunGet({Q(server.Url("/slow")), Q(dir.Path() + "slow"), "--timeout", "1", "-v"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("Connecting\n"), std::string::npos);
    EXPECT_NE(result.err.find("kestrow-cli get: nothing received for 1 seconds (Socket send aborted)\n"),
              std::string::npos)
        << result.err;
    // A failed transfer leaves the file as it was, and nothing beside it.
    EXPECT_EQ(dir.Read("slow"), "what was there");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(KestrowCliGet, RefusesWrongUsage)
{
    for (const QStringList& arguments :
         {QStringList{"http://h/"}, QStringList{"gopher://h/", "file"},
          QStringList{"http://h/", "f", "--proxy", "h"}, QStringList{"http://h/", "f", "--timeout", "0"},
          QStringList{"http://h/", "f", "--bogus"}, QStringList{"http://h/", "f", "--limit-rate", "2x"}})
    {
        const CliResult result = RunGet(arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_NE(result.err.find("Usage: kestrow-cli get URL FILE"), std::string::npos);
    }
}

TEST(KestrowCliGet, UnderASpeedLimitAFileComesWholeAtItsPaceOverFtpAndTls)
{
    // 192 KiB at 128 KiB/s take well over a second, less the first share, through an FTP data
    // connection made either way and through TLS, whose records are read in part.
    const std::string bytes = Version('L', 192 * 1024);
    std::ofstream(PeerStateDir("ftp") + "root/pub/limited.bin", std::ios::binary) << bytes;
    std::ofstream(PeerStateDir("nginx_tls") + "root/files/limited.bin", std::ios::binary) << bytes;
    const QString ftp = Q("ftp://127.0.0.1:" + std::to_string(PeerPort("ftp")) + "/pub/limited.bin");
    const QString tls = Q("https://127.0.0.1:" + PeerValue("nginx_tls", "port") + "/files/limited.bin");
    for (const QStringList& how : {QStringList{ftp}, QStringList{ftp, "--passive"},
                                   QStringList{tls, "--ca-file", Q(PeerStateDir("nginx_tls") + "ca.pem")}})
    {
        TempDir dir;
        QElapsedTimer took;
        took.start();
        const CliResult result = RunGet(
            QStringList{how.front(), Q(dir.Path() + "limited.bin"), "--limit-rate", "128k"} + how.mid(1));
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_TRUE(dir.Read("limited.bin") == bytes) << how.join(' ').toStdString();
        EXPECT_GE(took.elapsed(), 1300) << how.join(' ').toStdString();
    }
}

TEST(KestrowCliGet, OnlyACompleteAnswerReplacesTheFile)
{
    TempDir dir;
    const std::string target = dir.Write("keep.bin", "what was there");
    const auto onlyTarget = [&]
    { return std::distance(std::filesystem::directory_iterator(dir.Path()), {}) == 1; };

    // A body cut short of its Content-Length is a failed transfer.
    ScriptedServer cut;
    cut.AddScript(ScriptedServer::Script()
                      .ExpectHeader()
                      .Send("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n0123456789")
                      .Close());
    CliResult result = RunGet({Q(cut.Url("/a.zip")), Q(target)});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "kestrow-cli get: Transfer incomplete: 10 of 100 bytes\n");
    EXPECT_EQ(dir.Read("keep.bin"), "what was there");
    EXPECT_TRUE(onlyTarget());

    // An error answer is reported and is no copy of the file.
    result = RunGet({Nginx("/files/missing.zip"), Q(target)});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(dir.Read("keep.bin"), "what was there");
    EXPECT_TRUE(onlyTarget());

    // Ctrl+C ends the transfer, removes what had come and keeps the file.
    ScriptedServer stalled;
    stalled.AddScript(ScriptedServer::Script()
                          .ExpectHeader()
                          .Send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(5000, 'x'))
                          .Stall());
    QProcess get;
    get.start(QStringLiteral(KESTROW_CLI), {"get", Q(stalled.Url("/big.zip")), Q(target)});
    ASSERT_TRUE(WaitUntil(
        [&]
        {
            for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
                if (entry.path().filename() == ".keep.bin.part" && entry.file_size() > 0)
                    return true;
            return false;
        },
        30000));
    ::kill(static_cast<pid_t>(get.processId()), SIGINT);
    ASSERT_TRUE(WaitUntil([&] { return get.state() == QProcess::NotRunning; }, 30000));
    EXPECT_EQ(get.exitCode(), 130) << get.readAllStandardError().toStdString();
    EXPECT_EQ(dir.Read("keep.bin"), "what was there");
    EXPECT_TRUE(onlyTarget());

    // Past the file-size limit the write fails like any other: reported, and the old file kept.
    QProcess limited;
    limited.start(QStringLiteral("/bin/sh"),
                  {"-c", "ulimit -f 4; exec \"$0\" \"$@\"", QStringLiteral(KESTROW_CLI), "get",
                   Nginx("/files/large.bin"), Q(target)});
    ASSERT_TRUE(WaitUntil([&] { return limited.state() == QProcess::NotRunning; }, 30000));
    EXPECT_EQ(limited.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(limited.exitCode(), 2);
    // The limit cuts a write short before it fails one; the failure still names the reason.
    EXPECT_TRUE(limited.readAllStandardError().toStdString().ends_with(". File too large\n"));
    EXPECT_EQ(dir.Read("keep.bin"), "what was there");
    // What came waits beside it, and once the limit is gone the next get goes on from there.
    const std::size_t kept = dir.Read(".keep.bin.part").size();
    EXPECT_GT(kept, 0u);
    result = RunGet({Nginx("/files/large.bin"), Q(target)});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string large = PeerStateDir("nginx") + "root/files/large.bin";
    EXPECT_EQ(result.err, "Resumed at " + std::to_string(kept) + " of " +
                              std::to_string(std::filesystem::file_size(large)) +
                              " bytes\nHTTP/1.1 206 Partial Content\nReplyCode 206\n");
    std::ifstream whole(large, std::ios::binary);
    EXPECT_EQ(dir.Read("keep.bin"), std::string(std::istreambuf_iterator<char>(whole), {}));
    EXPECT_TRUE(onlyTarget());
}

TEST(KestrowCliGet, HostileAnswersNeverBecomeTheFile)
{
    using Script = ScriptedServer::Script;
    TempDir dir;
    const std::string target = dir.Write("keep.bin", "what was there");
    const auto get = [&](Script script, const QStringList& options = {})
    {
        ScriptedServer server;
        server.AddScript(std::move(script));
        return RunGet(QStringList{Q(server.Url("/a.zip")), Q(target)} + options);
    };

    for (const std::string statusLine :
         {"HTTP/1.0 65736 OK", "HTTP/1.0 99999 OK", "HTTP/1.0 abc", "HTTP/1.0 0"})
    {
        const CliResult result = get(Script().ExpectHeader().Send(statusLine + "\r\n\r\nbody").Close());
        EXPECT_EQ(result.exitCode, 2) << statusLine;
        EXPECT_EQ(result.err, "kestrow-cli get: Bad status line\n") << statusLine;
    }

    // A reset is no end of a body, with or without an announced length.
    for (const std::string length : {"", "Content-Length: 100000\r\n"})
    {
        const CliResult result =
            get(Script()
                    .ExpectHeader()
                    .Send("HTTP/1.0 200 OK\r\n" + length + "\r\n" + std::string(5000, 'x'))
                    .Pause(50)
                    .Reset());
        EXPECT_EQ(result.exitCode, 2) << length;
        EXPECT_EQ(result.err, "kestrow-cli get: 10054:Connection reset by peer\n") << length;
    }

    // Header lines without end.
    CliResult result =
        get(Script().ExpectHeader().Send("HTTP/1.0 200 OK\r\n").Flood("X-Filler: ffff\r\n", 1u << 30));
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "kestrow-cli get: Header too long\n");
    EXPECT_EQ(dir.Read("keep.bin"), "what was there");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    // A header that trickles in, a line at a time, is no progress: the time-out ends it long
    // before the server would have finished.
    auto trickleDone = std::make_shared<bool>(false);
    Script trickle = Script().ExpectHeader().Send("HTTP/1.0 200 OK\r\n");
    for (int i = 0; i < 600; ++i)
        trickle.Pause(100).Send("X-Slow: " + std::to_string(i) + "\r\n");
    trickle.Call([trickleDone](ScriptedServer::Connection&) { *trickleDone = true; }).Stall();
    result = get(trickle, {"--timeout", "1", "-v"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(
        result.err.ends_with("kestrow-cli get: nothing received for 1 seconds (Socket readln aborted)\n"))
        << result.err;
    EXPECT_FALSE(*trickleDone);

    // More than was announced: the file is what was announced, and a server that keeps the
    // connection open does not hold the transfer up.
    result = get(Script()
                     .ExpectHeader()
                     .Send("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n" + std::string(1000, 'y'))
                     .Stall(),
                 {"--timeout", "30"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(dir.Read("keep.bin"), std::string(10, 'y'));
}

TEST(KestrowCliGet, AFullDiskIsNamed)
{
    if (QProcess::execute("unshare", {"-m", "true"}) != 0)
        GTEST_SKIP() << "no private mount namespace here for a small file system";
    TempDir dir;
    QProcess get;
    // A 64 KiB file system in a mount namespace of the command's own.
    get.start("unshare",
              {"-m", "sh", "-c", "mount -t tmpfs -o size=64k tmpfs \"$0\" && exec \"$@\"", Q(dir.Path()),
               QStringLiteral(KESTROW_CLI), "get", Nginx("/files/large.bin"), Q(dir.Path() + "large.bin")});
    ASSERT_TRUE(WaitUntil([&] { return get.state() == QProcess::NotRunning; }, 30000));
    const std::string err = get.readAllStandardError().toStdString();
    EXPECT_EQ(get.exitCode(), 2) << err;
    EXPECT_EQ(err, "kestrow-cli get: Cannot write file \"" + dir.Path() +
                       ".large.bin.part\". No space left on device\n");
}

TEST(KestrowCliGet, TheAnswersFramingDecidesWhatTheFileIs)
{
    using Script = ScriptedServer::Script;
    TempDir dir;
    const std::string target = dir.Write("keep.bin", "what was there");
    const auto get = [&](const std::string& answer)
    {
        ScriptedServer server;
        server.AddScript(Script().ExpectHeader().Send(answer).Close());
        return RunGet({Q(server.Url("/a.zip")), Q(target)});
    };
    const auto failsKeepingTheOldFile = [&](const std::string& answer, const std::string& reason)
    {
        const std::string before = dir.Read("keep.bin");
        const CliResult result = get(answer);
        EXPECT_EQ(result.exitCode, 2) << answer;
        EXPECT_EQ(result.err, "kestrow-cli get: " + reason + "\n") << answer;
        EXPECT_EQ(dir.Read("keep.bin"), before) << answer;
    };

    // A length that is no plain number, or lengths that disagree, frame nothing.
    for (const std::string length : {"-1", "1e9", "+47", "47 bytes", "0x2f", "99999999999999999999"})
        failsKeepingTheOldFile("HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n" +
                                   std::string(47, 'b'),
                               "Bad Content-Length");
    failsKeepingTheOldFile("HTTP/1.1 200 OK\r\nContent-Length: 47\r\nContent-Length: 10\r\n\r\n" +
                               std::string(47, 'b'),
                           "Bad Content-Length");
    CliResult result = get("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length:  5 \r\n\r\nagree");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(dir.Read("keep.bin"), "agree");

    // Interim answers are passed over; the status line is the real answer's.
    result = get("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </s.css>\r\n\r\n"
                 "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nreal");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "HTTP/1.1 200 OK\nReplyCode 200\n");
    EXPECT_EQ(dir.Read("keep.bin"), "real");
    std::string endless;
    for (int i = 0; i < 100000; ++i)
        endless += "HTTP/1.1 100 Continue\r\n\r\n";
    failsKeepingTheOldFile(endless + "HTTP/1.1 200 OK\r\n\r\nreal", "Header too long");

    // Chunks are taken apart: extensions mean nothing, trailers are passed over, and a length
    // beside them is ignored.
    result = get("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\n"
                 "5;name=value\r\nhello\r\n1\r\n \r\nA \r\nchunk-wise\r\n0\r\nX-Trailer: t\r\n\r\n");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(dir.Read("keep.bin"), "hello chunk-wise");
    for (const std::string chunks :
         {"zz\r\nhello\r\n0\r\n\r\n", "fffffffffffffffffff\r\nhello\r\n0\r\n\r\n", "\r\nhello\r\n0\r\n\r\n"})
        failsKeepingTheOldFile("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunks,
                               "Bad chunk size");
    failsKeepingTheOldFile(
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhelloXX3\r\nabc\r\n0\r\n\r\n",
        "Bad chunked body");
    failsKeepingTheOldFile("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n5\r\nwor",
                           "Transfer incomplete: the chunked body ended before its last chunk");
}

TEST(KestrowCliGet, AKilledTransferLeavesNothingThatPilesUp)
{
    TempDir dir;
    const std::string target = dir.Path() + "big.zip";
    // Transfer files of the older form that a killed process left go with the next transfer.
    dir.Write(".big.zip.part-Ab12Cd", "stale");
    dir.Write(".other.zip.part-Xy34Zw", "stale");
    // Enough that it is worth keeping when the process is killed.
    const std::string body(3000000, 'k');
    ScriptedServer server;
    server.AddScript(ScriptedServer::Script()
                         .ExpectHeader()
                         .Send("HTTP/1.1 200 OK\r\nContent-Length: 3000000\r\nETag: \"k\"\r\n\r\n" +
                               body.substr(0, 1500000))
                         .Stall());
    // The rest, from wherever the client asks.
    server.AddScript(ScriptedServer::Script()
                         .ExpectHeader()
                         .Call(
                             [body](ScriptedServer::Connection& connection)
                             {
                                 const std::size_t at = connection.received.find("Range: bytes=");
                                 const std::size_t from =
                                     at == std::string::npos
                                         ? 0
                                         : std::stoul(connection.received.substr(at + 13));
                                 const std::string answer =
                                     "HTTP/1.1 206 Partial Content\r\nETag: \"k\"\r\nContent-Range: bytes " +
                                     std::to_string(from) + "-2999999/3000000\r\nContent-Length: " +
                                     std::to_string(body.size() - from) + "\r\n\r\n" + body.substr(from);
                                 connection.socket->write(answer.data(), static_cast<qint64>(answer.size()));
                             })
                         .Close());
    QProcess get;
    get.start(QStringLiteral(KESTROW_CLI), {"get", Q(server.Url("/big.zip")), Q(target)});
    ASSERT_TRUE(WaitUntil(
        [&] { return dir.Exists(".big.zip.part-info") && dir.Read(".big.zip.part").size() >= 1024 * 1024; },
        30000));
    EXPECT_FALSE(dir.Exists(".big.zip.part-Ab12Cd"));
    EXPECT_FALSE(dir.Exists(".other.zip.part-Xy34Zw"));
    get.kill();
    ASSERT_TRUE(WaitUntil([&] { return get.state() == QProcess::NotRunning; }, 30000));

    // The next get of the same address and file goes on where the killed one stopped.
    const std::size_t kept = dir.Read(".big.zip.part").size();
    const CliResult result = RunGet({Q(server.Url("/big.zip")), Q(target)});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.err.starts_with("Resumed at " + std::to_string(kept) + " of " +
                                       std::to_string(body.size()) + " bytes\n"))
        << result.err;
    EXPECT_EQ(dir.Read("big.zip"), body);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(KestrowCliGet, AKilledTransferGoesOnFromLighttpdWhichHonoursRangeOnlyInHttp11)
{
    // lighttpd sends this file at 1 MiB a second.
    const std::string body = []
    {
        std::string bytes(4 * 1024 * 1024, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>((i * 7919) >> 8);
        return bytes;
    }();
    std::ofstream(PeerStateDir("lighttpd") + "root/slow/big.bin", std::ios::binary) << body;
    const QString url = Q("http://127.0.0.1:" + PeerValue("lighttpd", "port") + "/slow/big.bin");
    TempDir dir;
    QProcess get;
    get.start(QStringLiteral(KESTROW_CLI), {"get", url, Q(dir.Path() + "big.bin")});
    ASSERT_TRUE(WaitUntil(
        [&] { return dir.Exists(".big.bin.part-info") && dir.Read(".big.bin.part").size() >= 1024 * 1024; },
        30000));
    get.kill();
    ASSERT_TRUE(WaitUntil([&] { return get.state() == QProcess::NotRunning; }, 30000));

    const std::size_t kept = dir.Read(".big.bin.part").size();
    const CliResult result = RunGet({url, Q(dir.Path() + "big.bin")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "Resumed at " + std::to_string(kept) + " of " + std::to_string(body.size()) +
                              " bytes\nHTTP/1.1 206 Partial Content\nReplyCode 206\n");
    EXPECT_TRUE(dir.Read("big.bin") == body);
}

TEST(KestrowCliGet, IPv6AddressesOverHttpHttpsAndFtp)
{
    const std::string web = PeerValue("nginx", "url6");
    if (web == "none")
        GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
    TempDir dir;
    const std::string small = "first line\r\nsecond line\r\nthird line without end";
    CliResult result = RunGet({Q(web + "/files/small.txt"), Q(dir.Path() + "web.txt")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(dir.Read("web.txt"), small);

    // The certificate names the addresses 127.0.0.1 and ::1, and is checked against the IP.
    result = RunGet({Q(PeerValue("nginx_tls", "url6") + "/files/small.txt"), Q(dir.Path() + "tls.txt"),
                     "--ca-file", Q(PeerStateDir("nginx_tls") + "ca.pem")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(dir.Read("tls.txt"), small);

    for (const char* mode : {"--passive", "-v"})
    {
        result = RunGet({Q("ftp://[::1]:" + PeerValue("ftp", "port6") + "/small.txt"),
                         Q(dir.Path() + "ftp.txt"), "-v", mode});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(dir.Read("ftp.txt"), small);
        EXPECT_NE(result.err.find(std::string(mode) == "-v" ? "\nEPRT |2|::1|" : "\nEPSV\n"),
                  std::string::npos)
            << result.err;
    }
}

TEST(KestrowCliGet, AHostNameWithIPv4AndIPv6AddressesIsReachedOverWhicheverAnswers)
{
    // The name's addresses come from a hosts file of the test's, read by the resolver through
    // nss_wrapper.
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "nss_wrapper is preloaded ahead of AddressSanitizer's runtime, which must come first";
#endif
    TempDir dir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD", "libnss_wrapper.so");
    environment.insert("NSS_WRAPPER_HOSTS", Q(dir.Write("hosts", "127.0.0.1 dual.test\n::1 dual.test\n")));
    auto get = [&](quint16 port)
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(KESTROW_CLI),
                      {"get", Q("http://dual.test:" + std::to_string(port) + "/f"), Q(dir.Path() + "f"),
                       "--timeout", "20"});
        EXPECT_TRUE(WaitUntil([&] { return process.state() == QProcess::NotRunning; }, 60000));
        return CliResult{process.exitCode(), "", process.readAllStandardError().toStdString()};
    };
    const ScriptedServer::Script answer = ScriptedServer::Script()
                                              .ExpectHeader()
                                              .Send("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nv6")
                                              .Close();

    // Nothing on the IPv4 address: refused, and the IPv6 one answers.
    ScriptedServer onlyV6(QHostAddress(QHostAddress::LocalHostIPv6));
    if (!onlyV6.Listening())
        GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
    onlyV6.AddScript(answer);
    CliResult result = get(onlyV6.Port());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(dir.Read("f"), "v6");

    // The IPv4 address never answers the connect: after a while the IPv6 one is tried.
    SilentListener silent(1);
    ScriptedServer behind(QHostAddress(QHostAddress::LocalHostIPv6), silent.Port());
    ASSERT_TRUE(behind.Listening()) << "[::1]:" << silent.Port() << " is taken";
    behind.AddScript(answer);
    dir.Write("f", "old");
    result = get(silent.Port());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(dir.Read("f"), "v6");
}

TEST(KestrowCliGet, AResumedFileIsTheRestOfTheSameVersionOrItFails)
{
    using Script = ScriptedServer::Script;
    TempDir dir;
    const std::string v1 = Version('a', 1000);
    const std::string v2 = Version('A', 1000);
    const std::string lastModified = "Mon, 07 Dec 2026 10:00:00 GMT";
    const auto part = [](const std::string& fields, const std::string& body)
    { return "HTTP/1.1 206 Partial Content\r\n" + fields + "\r\n" + body; };
    const std::string whole2 = "HTTP/1.1 200 OK\r\nETag: \"v2\"\r\nContent-Length: 1000\r\n\r\n" + v2;
    const std::string rest = "Content-Range: bytes 400-999/1000\r\n";
    struct Case
    {
        const char* name;
        // What the kept 400 bytes of v1 are described by.
        std::string validator;
        // The answer to the request that goes on from them, and those to later requests.
        std::vector<std::string> answers;
        std::string failure; // empty: the file comes whole
        std::string file;
        // What waits for a later attempt: the kept bytes, with what came after them.
        std::string partial;
        bool ranged;
    };
    const std::vector<Case> cases = {
        {"the rest of that version",
         "\"v1\"",
         {part("ETag: \"v1\"\r\n" + rest + "Content-Length: 600\r\n", v1.substr(400))},
         "",
         v1,
         "",
         true},
        {"a range that ends early",
         "\"v1\"",
         {part("ETag: \"v1\"\r\nContent-Range: bytes 400-409/1000\r\nContent-Length: 10\r\n",
               v1.substr(400, 10))},
         "Bad Content-Range",
         "",
         "",
         true},
        {"a length short of the range",
         "\"v1\"",
         {part("ETag: \"v1\"\r\n" + rest + "Content-Length: 300\r\n", v1.substr(400, 300))},
         "Bad Content-Range",
         "",
         "",
         true},
        {"a length beyond the range",
         "\"v1\"",
         {part("ETag: \"v1\"\r\n" + rest + "Content-Length: 700\r\n", v1.substr(400) + v2.substr(0, 100))},
         "Bad Content-Range",
         "",
         "",
         true},
        {"a body past its range, ended by the close",
         "\"v1\"",
         {part("ETag: \"v1\"\r\n" + rest, v1.substr(400) + v2.substr(0, 100))},
         "Bad Content-Range",
         "",
         "",
         true},
        // A part that does not make the file whole adds nothing to the bytes kept before it.
        {"a body that ends at a close half-way",
         "\"v1\"",
         {part("ETag: \"v1\"\r\n" + rest, v1.substr(400, 300))},
         "Transfer incomplete: 700 of 1000 bytes",
         "",
         v1.substr(0, 400),
         true},
        {"a chunked body cut half-way",
         "\"v1\"",
         {part("ETag: \"v1\"\r\n" + rest + "Transfer-Encoding: chunked\r\n",
               "12c\r\n" + v1.substr(400, 300))},
         "Transfer incomplete: the chunked body ended before its last chunk",
         "",
         v1.substr(0, 400),
         true},
        {"a part of another version",
         "\"v1\"",
         {part("ETag: \"v2\"\r\n" + rest + "Content-Length: 600\r\n", v2.substr(400)), whole2},
         "",
         v2,
         "",
         true},
        {"a part without a validator",
         "\"v1\"",
         {part(rest + "Content-Length: 600\r\n", v2.substr(400)), whole2},
         "",
         v2,
         "",
         true},
        {"a Last-Modified a second before the Date",
         lastModified,
         {part("Last-Modified: " + lastModified + "\r\nDate: Mon, 07 Dec 2026 10:00:01 GMT\r\n" + rest +
                   "Content-Length: 600\r\n",
               v1.substr(400))},
         "",
         v1,
         "",
         true},
        {"a Last-Modified that is the Date",
         lastModified,
         {part("Last-Modified: " + lastModified + "\r\nDate: " + lastModified + "\r\n" + rest +
                   "Content-Length: 600\r\n",
               v2.substr(400)),
          whole2},
         "",
         v2,
         "",
         true},
        {"a weak ETag kept", "W/\"v1\"", {whole2}, "", v2, "", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        for (const std::string& answer : c.answers)
            server.AddScript(Script().ExpectHeader().Send(answer).Close());
        const std::string target = dir.Write("keep.bin", "what was there");
        PlantPartial(dir, "keep.bin", server.Url("/a.zip"), v1.substr(0, 400), c.validator, 1000);
        const CliResult result = RunGet({Q(server.Url("/a.zip")), Q(target)});
        EXPECT_EQ(result.exitCode, c.failure.empty() ? 0 : 2) << result.err;
        if (!c.failure.empty())
        {
            EXPECT_TRUE(result.err.ends_with("kestrow-cli get: " + c.failure + "\n")) << result.err;
        }
        EXPECT_EQ(dir.Read("keep.bin"), c.file.empty() ? "what was there" : c.file);
        EXPECT_EQ(dir.Read(".keep.bin.part"), c.partial);
        EXPECT_EQ(dir.Exists(".keep.bin.part-info"), !c.partial.empty());
        const std::string asked = server.Received(0);
        EXPECT_EQ(asked.find("\r\nRange: bytes=400-\r\nIf-Range: " + c.validator + "\r\n") !=
                      std::string::npos,
                  c.ranged)
            << asked;
        EXPECT_EQ(server.ConnectionCount(), static_cast<int>(c.answers.size()));
        for (int later = 1; later < server.ConnectionCount(); ++later)
            EXPECT_EQ(server.Received(later).find("Range:"), std::string::npos)
                << "the file comes from its start";
    }

    // Only a strong validator describes the bytes of a cut transfer: they are kept for a later
    // attempt only then.
    const std::vector<std::pair<std::string, bool>> validators = {
        {"ETag: W/\"v1\"\r\n", false},
        {"Last-Modified: " + lastModified + "\r\nDate: " + lastModified + "\r\n", false},
        {"Last-Modified: " + lastModified + "\r\n", false},
        {"ETag: \"v\r1\"\r\n", false},
        {"Last-Modified: " + lastModified + "\r\nDate: Mon, 07 Dec 2026 10:00:01 GMT\r\n", true},
    };
    for (const auto& [fields, kept] : validators)
    {
        SCOPED_TRACE(fields);
        ScriptedServer server;
        server.AddScript(
            Script()
                .ExpectHeader()
                .Send("HTTP/1.1 200 OK\r\n" + fields + "Content-Length: 1000\r\n\r\n" + v1.substr(0, 400))
                .Pause(50)
                .Reset());
        const CliResult result = RunGet({Q(server.Url("/a.zip")), Q(dir.Path() + "cut.bin")});
        EXPECT_EQ(result.exitCode, 2) << result.err;
        EXPECT_EQ(dir.Read(".cut.bin.part"), kept ? v1.substr(0, 400) : "");
        EXPECT_EQ(dir.Read(".cut.bin.part-info"),
                  kept ? "Kestrow partial file 1\n" + server.Url("/a.zip") + "\n" + lastModified + "\n1000\n"
                       : "");
    }
}

TEST(KestrowCliGet, ASideFileIsOnlyEverARegularFileOfItsOwn)
{
    using Script = ScriptedServer::Script;
    TempDir dir;
    TempDir outside;
    const std::string v1 = Version('a', 1000);
    const std::string whole = "HTTP/1.1 200 OK\r\nETag: \"v1\"\r\nContent-Length: 1000\r\n\r\n" + v1;
    const std::string info = dir.Path() + ".keep.bin.part-info";
    const auto unranged = [](const ScriptedServer& server)
    { return server.Received(0).find("Range:") == std::string::npos; };

    // A link planted as the side file: what it leads to is neither read nor written, also when
    // it is planted again while the transfer runs.
    ScriptedServer server;
    const std::string victim =
        outside.Write("victim.txt", "Kestrow partial file 1\n" + server.Url("/a.zip") + "\n\"v1\"\n2000\n");
    const std::string victimBefore = outside.Read("victim.txt");
    server.AddScript(
        Script()
            .ExpectHeader()
            .Send("HTTP/1.1 200 OK\r\nETag: \"v1\"\r\nContent-Length: 1000\r\n\r\n" + v1.substr(0, 600))
            .Pause(200)
            .Call([&](ScriptedServer::Connection&) { std::filesystem::create_symlink(victim, info); })
            .Reset());
    dir.Write(".keep.bin.part", v1.substr(0, 400));
    std::filesystem::create_symlink(victim, info);
    CliResult result = RunGet({Q(server.Url("/a.zip")), Q(dir.Path() + "keep.bin")});
    EXPECT_EQ(result.exitCode, 2) << result.err;
    EXPECT_TRUE(unranged(server)) << server.Received(0);
    EXPECT_EQ(outside.Read("victim.txt"), victimBefore);
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(info)));
    EXPECT_EQ(dir.Read(".keep.bin.part"), v1.substr(0, 600));

    // A side file whose validator holds a CR, one of 3 GiB without a line end and a FIFO are
    // none of ours: the file comes afresh, at once, and nothing of them stays.
    const std::vector<std::pair<const char*, std::function<void(const std::string&)>>> planted = {
        {"CR", [&](const std::string& address)
         { PlantPartial(dir, "keep.bin", address, v1.substr(0, 400), "\"v\r1\"", 1000); }},
        {"3 GiB", [&](const std::string&)
         { std::filesystem::resize_file(dir.Write(".keep.bin.part-info", "x"), 3ull << 30); }},
        {"FIFO", [&](const std::string&) { ASSERT_EQ(mkfifo(info.c_str(), 0600), 0); }},
    };
    for (const auto& [name, plant] : planted)
    {
        SCOPED_TRACE(name);
        std::filesystem::remove(info);
        ScriptedServer fresh;
        fresh.AddScript(Script().ExpectHeader().Send(whole).Close());
        dir.Write(".keep.bin.part", v1.substr(0, 400));
        plant(fresh.Url("/a.zip"));
        // Should the side file be read whole, it fails within this limit rather than take the
        // machine's memory. AddressSanitizer reserves terabytes of address space for its shadow,
        // so under it only the resident size below tells.
#if defined(__SANITIZE_ADDRESS__)
        const QString limit = "exec \"$0\" \"$@\"";
#else
        const QString limit = "ulimit -v 1000000; exec \"$0\" \"$@\"";
#endif
        QProcess get;
        get.start("/bin/sh", {"-c", limit, QStringLiteral(KESTROW_CLI), "get", Q(fresh.Url("/a.zip")),
                              Q(dir.Path() + "keep.bin"), "--timeout", "5"});
        ASSERT_TRUE(WaitUntil([&] { return get.state() == QProcess::NotRunning; }, 30000)) << "get hangs";
        EXPECT_EQ(get.exitCode(), 0) << get.readAllStandardError().toStdString();
        EXPECT_EQ(dir.Read("keep.bin"), v1);
        EXPECT_TRUE(unranged(fresh)) << fresh.Received(0);
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(info)));
        // Nothing was read whole: the largest command so far stayed far below the 3 GiB.
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        EXPECT_LT(usage.ru_maxrss, 256 * 1024) << "kilobytes";
    }
    EXPECT_EQ(outside.Read("victim.txt"), victimBefore);
}
