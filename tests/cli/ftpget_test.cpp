#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include <QProcess>

#include "peers.h"
#include "scriptedftp.h"
#include "scriptedserver.h"
#include "silentlistener.h"
#include "clirun.h"
#include "tempdir.h"

// kestrow-cli get with ftp:// addresses, against the anonymous FTP server of tests/peers.
namespace
{
std::string FileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string FtpUrl(const std::string& path)
{
    return "ftp://127.0.0.1:" + std::to_string(PeerPort("ftp")) + path;
}
} // namespace

TEST(KestrowCliGetFtp, FetchesFilesWithTheRobotSequence)
{
    TempDir dir;
    const std::string root = PeerStateDir("ftp") + "root/";

    const CliResult large = RunCli({"get", Q(FtpUrl("/pub/large.bin")), Q(dir.Path() + "large.bin")});
    EXPECT_EQ(large.exitCode, 0) << large.err;
    EXPECT_TRUE(FileBytes(dir.Path() + "large.bin") == FileBytes(root + "pub/large.bin"));
    EXPECT_EQ(large.err, "Received 25165824 Bytes\n");

    const CliResult small = RunCli({"get", Q(FtpUrl("/small.txt")), Q(dir.Path() + "small.txt"), "-v"});
    EXPECT_EQ(small.exitCode, 0) << small.err;
    EXPECT_EQ(dir.Read("small.txt"), FileBytes(root + "small.txt"));
    // With -v the client's status lines come in the order of the exchange; the password never does.
    const char* order[] = {"220 ",
                           "USER anonymous\n",
                           "PASS \n",
                           "230 ",
                           "CWD /\n",
                           "TYPE I\n",
                           "PORT 127,0,0,1,",
                           "RETR small.txt\n",
                           "Received 47 Bytes\n",
                           "226 ",
                           "QUIT\n",
                           "221 "};
    std::size_t at = 0;
    for (const char* text : order)
    {
        const std::size_t found = small.err.find(text, at);
        ASSERT_NE(found, std::string::npos) << text << " missing after position " << at << " in\n"
                                            << small.err;
        at = found + 1;
    }
    EXPECT_EQ(small.err.find("kestrow@"), std::string::npos);
}

TEST(KestrowCliGetFtp, PassiveModeAndTheFallBackToIt)
{
    TempDir dir;
    const std::string root = PeerStateDir("ftp") + "root/";
    const CliResult passive =
        RunCli({"get", Q(FtpUrl("/pub/large.bin")), Q(dir.Path() + "large.bin"), "--passive", "-v"});
    EXPECT_EQ(passive.exitCode, 0) << passive.err;
    EXPECT_TRUE(FileBytes(dir.Path() + "large.bin") == FileBytes(root + "pub/large.bin"));
    EXPECT_NE(passive.err.find("\nEPSV\n229 "), std::string::npos) << passive.err;
    EXPECT_EQ(passive.err.find("PORT"), std::string::npos) << passive.err;

    // A server that refuses PORT is asked in passive mode; -v says so.
    ScriptedServer server;
    auto data = std::make_shared<PassivePort>();
    ScriptedServer::Script script;
    FtpInBinaryType(script)
        .ExpectLine()
        .Send("502 MDTM not implemented.\r\n")
        .ExpectLine()
        .Send("500 Illegal PORT command.\r\n")
        .ExpectLine()
        .Call(OfferPassive(data, "229 Entering Extended Passive Mode (|||{port}|)\r\n"))
        .ExpectLine()
        .Send("150 Opening data connection.\r\n")
        .Call(ServePassiveData(data, DataPlan("refused then fetched")))
        .ExpectLine()
        .Send("221 Bye\r\n")
        .Close();
    server.AddScript(script);
    const std::string address = "127.0.0.1:" + std::to_string(server.Port());
    const CliResult fellBack =
        RunCli({"get", Q("ftp://" + address + "/a.zip"), Q(dir.Path() + "a.zip"), "-v"});
    EXPECT_EQ(fellBack.exitCode, 0) << fellBack.err;
    EXPECT_EQ(dir.Read("a.zip"), "refused then fetched");
    EXPECT_NE(fellBack.err.find("\nPassive FTP for " + address + " after 500 Illegal PORT command.\n"),
              std::string::npos)
        << fellBack.err;
}

TEST(KestrowCliGetFtp, ServerErrorsExitWithTheReplyAndKeepTheOldFile)
{
    TempDir dir;
    const std::string target = dir.Write("keep.bin", "what was there");
    const CliResult missing = RunCli({"get", Q(FtpUrl("/pub/missing.zip")), Q(target)});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.err.substr(0, 25), "kestrow-cli get: 550 No s") << missing.err;
    EXPECT_EQ(dir.Read("keep.bin"), "what was there");

    const CliResult noDirectory = RunCli({"get", Q(FtpUrl("/nowhere/a.zip")), Q(target)});
    EXPECT_EQ(noDirectory.exitCode, 2);
    EXPECT_NE(noDirectory.err.find("550 "), std::string::npos) << noDirectory.err;
    EXPECT_EQ(dir.Read("keep.bin"), "what was there");
    // Nothing is left beside the file either.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(KestrowCliGetFtp, UnusableAddressesAreRefused)
{
    TempDir dir;
    const CliResult noFile = RunCli({"get", Q(FtpUrl("/")), Q(dir.Path() + "x")});
    EXPECT_EQ(noFile.exitCode, 2);
    EXPECT_NE(noFile.err.find("names no file"), std::string::npos) << noFile.err;

    const CliResult badPort = RunCli({"get", "ftp://127.0.0.1:99999/a.zip", Q(dir.Path() + "x")});
    EXPECT_EQ(badPort.exitCode, 2);
    EXPECT_NE(badPort.err.find("Invalid port 99999"), std::string::npos) << badPort.err;

    const CliResult head = RunCli({"get", Q(FtpUrl("/small.txt")), Q(dir.Path() + "x"), "--head"});
    EXPECT_EQ(head.exitCode, 2);
    EXPECT_FALSE(dir.Exists("x"));

    // A line end in the folder or the name would reach the server as a command of its own:
    // nothing at all is sent.
    ScriptedServer server;
    for (const std::string address :
         {"/pub\r\nDELE important.zip/a.zip", "/pub/a.zip\r\nDELE important.zip", "/pub\n/a.zip"})
    {
        const CliResult injected = RunCli(
            {"get", Q("ftp://127.0.0.1:" + std::to_string(server.Port()) + address), Q(dir.Path() + "x")});
        EXPECT_EQ(injected.exitCode, 2);
        EXPECT_EQ(injected.err, "kestrow-cli get: Invalid URL\n");
    }
    EXPECT_EQ(server.ConnectionCount(), 0);
}

TEST(KestrowCliGetFtp, ServerThatNeverEndsItsGreetingIsGivenUp)
{
    TempDir dir;
    const std::string target = dir.Write("keep.bin", "what was there");
    SilentListener silent;
    CliResult result = RunCli({"get", Q("ftp://127.0.0.1:" + std::to_string(silent.Port()) + "/a.zip"),
                               Q(target), "--timeout", "1"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "kestrow-cli get: nothing received for 1 seconds (Socket readln aborted)\n");

    // A greeting line after line is no progress: the time-out ends it long before the server
    // would have finished.
    using Script = ScriptedServer::Script;
    auto trickleDone = std::make_shared<bool>(false);
    Script trickle;
    for (int i = 0; i < 600; ++i)
        trickle.Send("220-line " + std::to_string(i) + "\r\n").Pause(100);
    trickle.Call([trickleDone](ScriptedServer::Connection&) { *trickleDone = true; }).Stall();
    ScriptedServer trickling;
    trickling.AddScript(trickle);
    result = RunCli({"get", Q("ftp://127.0.0.1:" + std::to_string(trickling.Port()) + "/a.zip"), Q(target),
                     "--timeout", "1"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "kestrow-cli get: nothing received for 1 seconds (Socket readln aborted)\n");
    EXPECT_FALSE(*trickleDone);

    // One without end that comes at once ends at the bound of a reply.
    ScriptedServer endless;
    endless.AddScript(Script().Flood("220-more\r\n", 1u << 30));
    result = RunCli({"get", Q("ftp://127.0.0.1:" + std::to_string(endless.Port()) + "/a.zip"), Q(target)});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "kestrow-cli get: Reply too long\n");
    EXPECT_EQ(dir.Read("keep.bin"), "what was there");
}

TEST(KestrowCliGetFtp, ACutTransferGoesOnWithRestOnlyWhileTheFileIsUnchanged)
{
    TempDir dir;
    const std::string target = dir.Path() + "large.bin";
    // The file-size limit cuts the first transfer short; what came waits beside the file.
    QProcess limited;
    limited.start(QStringLiteral("/bin/sh"),
                  {"-c", "ulimit -f 64; exec \"$0\" \"$@\"", QStringLiteral(KESTROW_CLI), "get",
                   Q(FtpUrl("/pub/large.bin")), Q(target)});
    ASSERT_TRUE(WaitUntil([&] { return limited.state() == QProcess::NotRunning; }, 30000));
    EXPECT_EQ(limited.exitCode(), 2);
    const std::size_t kept = dir.Read(".large.bin.part").size();
    ASSERT_GT(kept, 0u);
    const CliResult resumed = RunCli({"get", Q(FtpUrl("/pub/large.bin")), Q(target), "-v"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_NE(resumed.err.find("MDTM large.bin\n213 "), std::string::npos) << resumed.err;
    EXPECT_NE(resumed.err.find("REST " + std::to_string(kept) + "\n350 "), std::string::npos) << resumed.err;
    EXPECT_NE(resumed.err.find("Resumed at " + std::to_string(kept) + " of " +
                               std::to_string(FileBytes(PeerStateDir("ftp") + "root/pub/large.bin").size()) +
                               " bytes\n"),
              std::string::npos)
        << resumed.err;
    EXPECT_TRUE(FileBytes(target) == FileBytes(PeerStateDir("ftp") + "root/pub/large.bin"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(KestrowCliGetFtp, AResumedOrAnnouncedFileIsWholeOrFails)
{
    using Script = ScriptedServer::Script;
    TempDir dir;
    std::string v(1000, '\0');
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<char>('a' + i % 23);
    const std::string mdtm = "213 20261201120000\r\n";
    const std::string opening = "150 Opening data connection.\r\n";
    const std::string announcing = "150 Opening data connection for x.bin (1000 bytes).\r\n";
    DataPlan cut(v.substr(400), "");
    cut.stallAfter = 300;
    cut.notice = "426 Connection closed; transfer aborted.\r\n";
    struct Case
    {
        const char* name;
        // What the kept 400 bytes are described by, and the whole size described with them.
        std::string validator;
        std::int64_t total;
        // The replies to the commands after TYPE I, the last to RETR; what comes on the data
        // connection.
        std::vector<std::string> replies;
        DataPlan data;
        std::string commands;
        std::string failure; // empty: the file comes whole
        std::string partial; // what waits for a later attempt
    };
    const std::vector<Case> cases = {
        {"REST refused",
         "MDTM 20261201120000",
         1000,
         {mdtm, "213 1000\r\n", "200 PORT ok\r\n", "502 REST not implemented.\r\n", announcing},
         DataPlan(v),
         "\r\nREST 400\r\nRETR x.bin\r\n",
         "",
         ""},
        {"REST ignored, the size told by SIZE",
         "MDTM 20261201120000",
         1000,
         {mdtm, "213 1000\r\n", "200 PORT ok\r\n", "350 Restarting at 400.\r\n", opening},
         DataPlan(v),
         "\r\nREST 400\r\nRETR x.bin\r\n",
         "Transfer too long: 1400 of 1000 bytes",
         ""},
        {"REST ignored, the size announced when the first part came",
         "MDTM 20261201120000",
         1000,
         {mdtm, "502 SIZE not implemented.\r\n", "200 PORT ok\r\n", "350 Restarting at 400.\r\n", announcing},
         DataPlan(v),
         "\r\nREST 400\r\nRETR x.bin\r\n",
         "Transfer too long: 1400 of 1000 bytes",
         ""},
        {"no size known: no REST",
         "MDTM 20261201120000",
         -1,
         {mdtm, "502 SIZE not implemented.\r\n", "200 PORT ok\r\n", opening},
         DataPlan(v),
         "SIZE x.bin\r\nPORT ",
         "",
         ""},
        {"a resumed transfer cut short",
         "MDTM 20261201120000",
         1000,
         {mdtm, "213 1000\r\n", "200 PORT ok\r\n", "350 Restarting at 400.\r\n", opening},
         cut,
         "\r\nREST 400\r\nRETR x.bin\r\n",
         "Socket send aborted",
         v.substr(0, 400)},
        {"MDTM garbage",
         "MDTM garbage",
         1000,
         {"213 garbage\r\n", "200 PORT ok\r\n", opening},
         DataPlan(v),
         "MDTM x.bin\r\nPORT ",
         "",
         ""},
        {"a bare MDTM reply",
         "MDTM ",
         1000,
         {"213 \r\n", "200 PORT ok\r\n", opening},
         DataPlan(v),
         "MDTM x.bin\r\nPORT ",
         "",
         ""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ScriptedServer ftp;
        Script script;
        FtpInBinaryType(script);
        for (const std::string& reply : c.replies)
            script.ExpectLine().Send(reply);
        script.Call(ServeData(c.data)).ExpectLine().Send("221 Goodbye.\r\n").Close();
        ftp.AddScript(script);
        const std::string url = "ftp://127.0.0.1:" + std::to_string(ftp.Port()) + "/pub/x.bin";
        dir.Write("x.bin", "what was there");
        dir.Write(".x.bin.part", v.substr(0, 400));
        dir.Write(".x.bin.part-info", "Kestrow partial file 1\n" + url + "\n" + c.validator + "\n" +
                                          std::to_string(c.total) + "\n");
        const CliResult result = RunCli({"get", Q(url), Q(dir.Path() + "x.bin"), "--timeout", "5"});
        EXPECT_EQ(result.exitCode, c.failure.empty() ? 0 : 2) << result.err;
        if (!c.failure.empty())
        {
            EXPECT_NE(result.err.find("kestrow-cli get: " + c.failure), std::string::npos) << result.err;
        }
        EXPECT_NE(ftp.Received(0).find(c.commands), std::string::npos) << ftp.Received(0);
        EXPECT_EQ(ftp.Received(0).find("REST") != std::string::npos,
                  c.commands.find("REST") != std::string::npos);
        EXPECT_EQ(dir.Read("x.bin"), c.failure.empty() ? v : "what was there");
        EXPECT_EQ(dir.Read(".x.bin.part"), c.partial);
    }

    // The 150 reply announces the size; 40 % comes before the server says 226.
    ScriptedServer ftp;
    Script shortScript;
    FtpInBinaryType(shortScript)
        .ExpectLine()
        .Send(mdtm)
        .ExpectLine()
        .Send("200 PORT ok\r\n")
        .ExpectLine()
        .Send("150 Opening BINARY mode data connection for x.bin (307200 bytes).\r\n")
        .Call(ServeData(DataPlan(std::string(122880, 's'))))
        .ExpectLine()
        .Send("221 Goodbye.\r\n")
        .Close();
    ftp.AddScript(shortScript);
    dir.Write("x.bin", "what was there");
    std::filesystem::remove(dir.Path() + ".x.bin.part-info");
    const std::string url = "ftp://127.0.0.1:" + std::to_string(ftp.Port()) + "/pub/x.bin";
    const CliResult result = RunCli({"get", Q(url), Q(dir.Path() + "x.bin"), "--timeout", "5"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.err.ends_with("kestrow-cli get: Transfer incomplete: 122880 of 307200 bytes\n"))
        << result.err;
    EXPECT_EQ(dir.Read("x.bin"), "what was there");
    // What came waits for a later attempt, as a cut transfer's bytes do.
    EXPECT_EQ(dir.Read(".x.bin.part"), std::string(122880, 's'));
    EXPECT_EQ(dir.Read(".x.bin.part-info"),
              "Kestrow partial file 1\n" + url + "\nMDTM 20261201120000\n307200\n");
}
