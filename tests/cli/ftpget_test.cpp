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
    EXPECT_NE(resumed.err.find("Resumed at " + std::to_string(kept) + " bytes\n"), std::string::npos);
    EXPECT_TRUE(FileBytes(target) == FileBytes(PeerStateDir("ftp") + "root/pub/large.bin"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    // A server that refuses REST sends the file from its start, which replaces what was kept.
    using Script = ScriptedServer::Script;
    const auto commands = [](Script& script) {
        FtpInBinaryType(script)
            .ExpectLine()
            .Send("213 20261201120000\r\n")
            .ExpectLine()
            .Send("200 PORT ok\r\n");
    };
    ScriptedServer ftp;
    Script cut;
    commands(cut);
    DataPlan part(std::string(1000, 'a'));
    part.stallAfter = 400;
    cut.ExpectLine().Send("150 Opening data connection (1000 bytes).\r\n").Call(ServeData(part));
    ftp.AddScript(cut);
    Script refused;
    commands(refused);
    refused.ExpectLine()
        .Send("502 REST not implemented.\r\n")
        .ExpectLine()
        .Send("150 Opening data connection (1000 bytes).\r\n")
        .Call(ServeData(DataPlan(std::string(1000, 'b'))))
        .ExpectLine()
        .Send("221 Goodbye.\r\n")
        .Close();
    ftp.AddScript(refused);
    const std::string url = "ftp://127.0.0.1:" + std::to_string(ftp.Port()) + "/pub/x.bin";
    CliResult result = RunCli({"get", Q(url), Q(dir.Path() + "x.bin"), "--timeout", "1"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(dir.Read(".x.bin.part"), std::string(400, 'a'));
    result = RunCli({"get", Q(url), Q(dir.Path() + "x.bin")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(ftp.Received(1).find("\r\nREST 400\r\nRETR x.bin\r\n"), std::string::npos) << ftp.Received(1);
    EXPECT_EQ(dir.Read("x.bin"), std::string(1000, 'b'));
    EXPECT_FALSE(dir.Exists(".x.bin.part"));
}
