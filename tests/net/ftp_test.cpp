#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "net/nmftp.h"
#include "platform/pause.h"
#include "messageof.h"
#include "scriptedftp.h"
#include "scriptedserver.h"
#include "silentlistener.h"
#include "tempdir.h"

namespace
{
using Script = ScriptedServer::Script;

constexpr auto npos = std::string::npos;

// Logged in, the PORT accepted and RETR answered with retrReply.
Script DownloadScript(const std::string& retrReply)
{
    Script script;
    FtpLogin(script).ExpectLine().Send("200 PORT ok\r\n").ExpectLine().Send(retrReply);
    return script;
}

// Whether something still listens on 127.0.0.1:port.
bool Listening(quint16 port)
{
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    WaitUntil([&] { return probe.state() == QAbstractSocket::ConnectedState || probe.error() != -1; }, 3000);
    return probe.state() == QAbstractSocket::ConnectedState;
}

// Waits for a server's last words take a quarter of their time while it lives.
struct QuickTimeOuts
{
    QuickTimeOuts() { platform::SetTimeOutScale(1, 4); }
    ~QuickTimeOuts() { platform::SetTimeOutScale(1, 1); }
};

class FtpClient : public ::testing::Test
{
  protected:
    FtpClient()
    {
        ftp.Host = "127.0.0.1";
        ftp.Port = server.Port();
        ftp.UserID = "anonymous";
        ftp.Password = AnonymousPassword;
        ftp.ReportLevel = 2;
        ftp.OnStatus = [this](QObject*, const std::string& text) { status.push_back(text); };
        ftp.OnSuccess = [this](TNMFTP::TCmdType kind) { successes.push_back(kind); };
        // Nothing here may wait for long; a stuck wait is a failure, ended as the robot would.
        watchdog.setInterval(10000);
        QObject::connect(&watchdog, &QTimer::timeout,
                         [this]
                         {
                             ADD_FAILURE() << "the watchdog had to abort the client";
                             ftp.Abort();
                         });
        watchdog.start();
    }

    bool Reported(const std::string& text) const
    {
        return std::find(status.begin(), status.end(), text) != status.end();
    }

    // Declared before the client, whose destruction still reports its QUIT and waits for its answer.
    QuickTimeOuts quickTimeOuts;
    std::vector<std::string> status;
    std::vector<ftpreply::TCmdType> successes;
    ScriptedServer server;
    TNMFTP ftp;
    QTimer watchdog;
    TempDir dir;
};
} // namespace

TEST_F(FtpClient, RobotSequenceSendsItsCommandsAndReportsInOrder)
{
    Script script;
    FtpInBinaryType(script)
        .ExpectLine()
        .Send("200 PORT ok\r\n")
        .ExpectLine()
        .Send("150 Opening BINARY mode data connection for a.zip (11 bytes).\r\n")
        .Call(ServeData(DataPlan("hello world")))
        .ExpectLine()
        .Send("221 Goodbye.\r\n")
        .Close();
    server.AddScript(script);

    std::string receivedAtConnect;
    ftp.OnConnect = [&](QObject* sender)
    {
        EXPECT_EQ(sender, &ftp);
        receivedAtConnect = server.Received();
    };
    std::int64_t announced = -1;
    ftp.OnTransactionStart = [&](QObject*) { announced = ftp.ExpectedCount; };

    ftp.Connect();
    ftp.ChangeDir("/pub/");
    ftp.TransferType(TTransferType::Image);
    ftp.Download("a.zip", dir.Path() + "a.zip");
    ftp.Disconnect();

    const PortTarget port = LastPortTarget(server.Received());
    ASSERT_EQ(port.address, QHostAddress::LocalHost) << port.line;
    EXPECT_EQ(server.Received(), "USER anonymous\r\nPASS kestrow@example.com\r\nCWD /pub/\r\nTYPE I\r\n" +
                                     port.line + "\r\nRETR a.zip\r\nQUIT\r\n");
    // OnConnect fires once logged in, not at the TCP connect.
    EXPECT_NE(receivedAtConnect.find("PASS "), npos);
    EXPECT_EQ(dir.Read("a.zip"), "hello world");
    EXPECT_EQ(announced, 11);
    EXPECT_EQ(ftp.ExpectedCount, 11);
    EXPECT_EQ(successes,
              (std::vector<ftpreply::TCmdType>{ftpreply::TCmdType::cmdChangeDir, ftpreply::TCmdType::cmdOther,
                                               ftpreply::TCmdType::cmdDownload}));
    EXPECT_FALSE(ftp.IsConnected());

    const std::vector<std::string> expected = {
        "220-Welcome to the scripted server\r\n",
        "220-Second line\r\n",
        "220 Ready\r\n",
        "USER anonymous",
        "331 Password required\r\n",
        "PASS ",
        "230 Logged in\r\n",
        "CWD /pub/",
        "250 CWD ok\r\n",
        "TYPE I",
        "200 Type set to I\r\n",
        port.line,
        "200 PORT ok\r\n",
        "RETR a.zip",
        "150 Opening BINARY mode data connection for a.zip (11 bytes).\r\n",
        "Received 11 Bytes",
        "226 Transfer complete.\r\n",
        "QUIT",
        "221 Goodbye.\r\n",
    };
    EXPECT_EQ(status, expected);
}

TEST_F(FtpClient, EndlessRepliesEndAtTheirBounds)
{
    // More than a thousand lines, in a greeting and in the reply to a download...
    server.AddScript(Script().Flood("220-Welcome\r\n", 16u << 20).Close());
    EXPECT_EQ(MessageOf([&] { ftp.Connect(); }), "Reply too long");
    EXPECT_FALSE(ftp.IsConnected());
    EXPECT_LE(status.size(), ftpreply::TReplyLines::MaxLines + 10);

    ScriptedServer retr;
    retr.AddScript(DownloadScript("").Flood("150-Here it comes\r\n", 16u << 20).Close());
    ftp.Port = retr.Port();
    ftp.Connect();
    EXPECT_EQ(MessageOf([&] { ftp.Download("a.zip", dir.Path() + "a.zip"); }), "Reply too long");

    // ...and more than a megabyte in long lines.
    ScriptedServer wide;
    wide.AddScript(Script().Flood("220-" + std::string(60000, 'w') + "\r\n", 16u << 20).Close());
    ftp.Port = wide.Port();
    EXPECT_EQ(MessageOf([&] { ftp.Connect(); }), "Reply too long");
    EXPECT_FALSE(ftp.IsConnected());
}

TEST_F(FtpClient, ACommandHoldingALineEndIsNeverSent)
{
    Script script;
    FtpLogin(script).ExpectLine().Send("250 CWD ok\r\n").ExpectLine().Send("221 Goodbye.\r\n").Close();
    server.AddScript(script);
    ftp.Connect();
    for (const std::string path : {"/pub\r\nDELE important.zip", "/pub\rDELE important.zip", "/pub\x7f"})
        EXPECT_EQ(MessageOf([&] { ftp.ChangeDir(path); }), "Invalid URL");
    EXPECT_EQ(MessageOf([&] { ftp.Download("a.zip\r\nDELE important.zip", dir.Path() + "a.zip"); }),
              "Invalid URL");
    ftp.ChangeDir("/pub");
    ftp.Disconnect();
    EXPECT_EQ(server.Received(), "USER anonymous\r\nPASS kestrow@example.com\r\nCWD /pub\r\nQUIT\r\n");
}

TEST_F(FtpClient, UserAcceptedWithoutPasswordSendsNoPass)
{
    server.AddScript(Script()
                         .Send("220 Ready\r\n")
                         .ExpectLine()
                         .Send("230 Welcome\r\n")
                         .ExpectLine()
                         .Send("221 Bye\r\n")
                         .Close());
    int connects = 0;
    ftp.OnConnect = [&](QObject*) { ++connects; };
    ftp.Connect();
    ftp.Disconnect();
    EXPECT_EQ(server.Received(), "USER anonymous\r\nQUIT\r\n");
    EXPECT_EQ(connects, 1);
    EXPECT_FALSE(Reported("PASS "));
}

TEST_F(FtpClient, RefusedLoginRaisesTheReplyAfterQuit)
{
    server.AddScript(Script()
                         .Send("220 Ready\r\n")
                         .ExpectLine()
                         .Send("530 Not logged in.\r\n")
                         .ExpectLine()
                         .Send("221 Bye\r\n")
                         .Close());
    int failed = 0;
    int connects = 0;
    ftp.OnConnectionFailed = [&](QObject*) { ++failed; };
    ftp.OnConnect = [&](QObject*) { ++connects; };
    try
    {
        ftp.Connect();
        FAIL() << "Connect succeeded";
    }
    catch (const FTPException& error)
    {
        EXPECT_EQ(error.Message(), "530 Not logged in.\r\n");
    }
    EXPECT_EQ(server.Received(), "USER anonymous\r\nQUIT\r\n");
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(connects, 0);
    EXPECT_EQ(status.back(), "Disconnected");
    EXPECT_FALSE(ftp.IsConnected());
}

TEST_F(FtpClient, AReplyWithoutACodeInRangeIsNoSuccess)
{
    // 99999 once wrapped round to a negative code and passed as a success, and so did no code.
    for (const char* reply : {"99999 fine\r\n", "OK then\r\n", "0 zero\r\n"})
    {
        ScriptedServer odd;
        odd.AddScript(
            Script().Send("220 Ready\r\n").ExpectLine().Send(reply).ExpectLine().Send("221 Bye\r\n").Close());
        TNMFTP client;
        client.Host = "127.0.0.1";
        client.Port = odd.Port();
        client.UserID = "anonymous";
        client.Password = "a@b";
        EXPECT_EQ(MessageOf([&] { client.Connect(); }), reply);
        EXPECT_FALSE(client.IsConnected());
    }
}

TEST_F(FtpClient, FreeTextInsideAReplyOfSeveralLinesIsPartOfIt)
{
    // Were "Please behave." taken as the end of the login reply, the reply to CWD would be
    // "230 Logged in." and the refused directory would pass for a success.
    server.AddScript(Script()
                         .Send("220 Ready\r\n")
                         .ExpectLine()
                         .Send("331 Password required\r\n")
                         .ExpectLine()
                         .Send("230-Welcome\r\nPlease behave.\r\n230 Logged in.\r\n")
                         .ExpectLine()
                         .Send("550 No such directory.\r\n")
                         .ExpectLine()
                         .Send("221 Bye\r\n")
                         .Close());
    ftp.Connect();
    try
    {
        ftp.ChangeDir("missing");
        FAIL() << "ChangeDir succeeded";
    }
    catch (const FTPException& error)
    {
        EXPECT_EQ(error.Message(), "550 No such directory.\r\n");
    }
    EXPECT_TRUE(Reported("Please behave.\r\n"));
    ftp.Disconnect();
}

TEST_F(FtpClient, ServiceClosingNoticeEndsTheWaitAndIsShown)
{
    server.AddScript(Script().Pause(100).Send("421 Too many users, try later.\r\n").Stall());
    try
    {
        ftp.Connect();
        FAIL() << "Connect succeeded";
    }
    catch (const EAbortError& error)
    {
        EXPECT_EQ(error.Message(), "Socket readln aborted");
    }
    EXPECT_TRUE(Reported("421 Too many users, try later.\r\n"));
    EXPECT_FALSE(ftp.IsConnected());
    // Nobody waits for an answer to QUIT from a server that is going away.
    EXPECT_EQ(server.Received(), "");

    // Sent at once, the notice may end the TCP connect wait already; it is shown all the same.
    ScriptedServer third;
    third.AddScript(Script().Send("421 Closing at once.\r\n").Stall());
    ftp.Port = third.Port();
    EXPECT_THROW(ftp.Connect(), ESockError);
    EXPECT_TRUE(Reported("421 Closing at once.\r\n"));
    EXPECT_FALSE(ftp.IsConnected());

    ScriptedServer second;
    second.AddScript(Script()
                         .Send("220 Ready\r\n")
                         .ExpectLine()
                         .Send("230 Welcome\r\n")
                         .ExpectLine()
                         .Send("421 Idle too long.\r\n"));
    ftp.Port = second.Port();
    ftp.Connect();
    EXPECT_THROW(ftp.ChangeDir("/pub/"), EAbortError);
    EXPECT_TRUE(Reported("421 Idle too long.\r\n"));
    EXPECT_FALSE(ftp.CancelRequested);
}

TEST_F(FtpClient, CommandFailuresAndTheirEvents)
{
    Script script;
    FtpLogin(script)
        .ExpectLine()
        .Send("550 No such directory.\r\n")
        .ExpectLine()
        .Send("550 No such directory.\r\n")
        .ExpectLine()
        .Send("500 Unknown command.\r\n")
        .ExpectLine()
        .Send("200 Type set to A\r\n")
        .ExpectLine()
        .Send("200 Type set to L 8\r\n")
        .ExpectLine()
        .Send("257 \"/\" is the current directory\r\n")
        .ExpectLine()
        .Send("221 Bye\r\n")
        .Close();
    server.AddScript(script);
    ftp.Connect();

    EXPECT_THROW(ftp.ChangeDir("a"), FTPException);

    std::vector<ftpreply::TCmdType> failures;
    ftp.OnFailure = [&](bool& handled, TNMFTP::TCmdType kind)
    {
        failures.push_back(kind);
        handled = kind == ftpreply::TCmdType::cmdChangeDir;
    };
    std::vector<ftpreply::TCmdType> unsupported;
    ftp.OnUnSupportedFunction = [&](TNMFTP::TCmdType kind) { unsupported.push_back(kind); };
    EXPECT_NO_THROW(ftp.ChangeDir("a"));
    EXPECT_THROW(ftp.DoCommand("SITE X"), FTPException);
    // A type outside 1..3 sends nothing at all.
    const std::size_t before = server.Received().size();
    EXPECT_NO_THROW(ftp.TransferType(4));
    EXPECT_EQ(server.Received().size(), before);
    ftp.TransferType(1);
    ftp.TransferType(TTransferType::Local8Bit);
    EXPECT_EQ(server.Received().substr(before), "TYPE A\r\nTYPE L 8\r\n");
    ftp.DoCommand("PWD");
    ftp.Disconnect();

    EXPECT_EQ(failures, (std::vector<ftpreply::TCmdType>{ftpreply::TCmdType::cmdChangeDir,
                                                         ftpreply::TCmdType::cmdOther}));
    EXPECT_EQ(unsupported, (std::vector<ftpreply::TCmdType>{ftpreply::TCmdType::cmdOther}));
    EXPECT_EQ(successes,
              (std::vector<ftpreply::TCmdType>{ftpreply::TCmdType::cmdOther, ftpreply::TCmdType::cmdOther,
                                               ftpreply::TCmdType::cmdCurrentDir}));
}

TEST_F(FtpClient, RefusedRetrAcceptsNoDataConnection)
{
    server.AddScript(DownloadScript("550 a.zip: No such file.\r\n"));
    ftp.Connect();
    try
    {
        ftp.Download("a.zip", dir.Path() + "a.zip");
        FAIL() << "Download succeeded";
    }
    catch (const FTPException& error)
    {
        EXPECT_EQ(error.Message(), "550 a.zip: No such file.\r\n");
    }
    const PortTarget port = LastPortTarget(server.Received());
    ASSERT_NE(port.port, 0) << server.Received();
    EXPECT_FALSE(Listening(port.port));
    EXPECT_FALSE(dir.Exists("a.zip"));
    EXPECT_EQ(ftp.DataReceivedCount(), 0);
    EXPECT_TRUE(successes.empty());
}

TEST_F(FtpClient, ReplyWithoutSizeLeavesExpectedCountZeroUntilTheEnd)
{
    const std::string payload(100000, 'x');
    Script script = DownloadScript("150 Opening data connection.\r\n");
    script.Call(ServeData(DataPlan(payload)));
    server.AddScript(script);

    std::vector<std::int64_t> expectedDuring;
    std::int64_t lastCount = 0;
    bool fromDataConnection = true;
    ftp.OnPacketRecvd = [&](QObject* sender)
    {
        fromDataConnection = fromDataConnection && sender != &ftp;
        expectedDuring.push_back(ftp.ExpectedCount);
        lastCount = ftp.DataReceivedCount();
    };
    ftp.Connect();
    ftp.Download("big.bin", dir.Path() + "big.bin");

    ASSERT_FALSE(expectedDuring.empty());
    EXPECT_EQ(expectedDuring, std::vector<std::int64_t>(expectedDuring.size(), 0));
    EXPECT_TRUE(fromDataConnection);
    EXPECT_GT(lastCount, 0);
    EXPECT_EQ(ftp.ExpectedCount, 100000);
    EXPECT_EQ(dir.Read("big.bin"), payload);
    EXPECT_TRUE(Reported("Received 100000 Bytes"));
}

TEST_F(FtpClient, NoticeInTheMiddleOfATransferEndsIt)
{
    DataPlan plan(std::string(200000, 'y'));
    plan.stallAfter = 50000;
    plan.notice = "421 Service closing control connection.\r\n";
    Script script = DownloadScript("150 Opening data connection (200000 bytes).\r\n");
    script.Call(ServeData(plan));
    server.AddScript(script);
    ftp.Connect();
    try
    {
        ftp.Download("y.bin", dir.Path() + "y.bin");
        FAIL() << "Download succeeded";
    }
    catch (const EAbortError& error)
    {
        EXPECT_EQ(error.Message(), "Socket send aborted");
    }
    // The notice is taken off the control connection and shown.
    EXPECT_TRUE(Reported("421 Service closing control connection.\r\n"));
    EXPECT_TRUE(successes.empty());
    // What arrived stays for the caller to deal with.
    EXPECT_TRUE(dir.Exists("y.bin"));
    EXPECT_FALSE(ftp.CancelRequested);
}

TEST_F(FtpClient, AnotherLocalProcessCannotInjectTheFile)
{
    DataPlan plan("the real content");
    plan.thiefBytes = "injected bytes";
    Script script = DownloadScript("150 Opening data connection.\r\n");
    script.Call(ServeData(plan));
    server.AddScript(script);
    ftp.Connect();
    ftp.Download("a.txt", dir.Path() + "a.txt");
    EXPECT_EQ(dir.Read("a.txt"), "the real content");
    EXPECT_TRUE(WaitUntil([&] { return *plan.thiefClosed; }));
}

TEST_F(FtpClient, AbortEndsTheWaitForADataConnectionThatNeverComes)
{
    server.AddScript(DownloadScript("150 Opening data connection.\r\n"));
    ftp.Connect();
    // Once the reply to RETR is in, the client waits for the data connection.
    ftp.OnStatus = [this](QObject*, const std::string& text)
    {
        if (text.starts_with("150 "))
            QTimer::singleShot(0, &ftp, [this] { ftp.Abort(); });
    };
    try
    {
        ftp.Download("a.zip", dir.Path() + "a.zip");
        FAIL() << "Download succeeded";
    }
    catch (const ESockError& error)
    {
        EXPECT_EQ(error.Message(), "Accepting Canceled");
    }
    const PortTarget port = LastPortTarget(server.Received());
    ASSERT_NE(port.port, 0);
    EXPECT_FALSE(Listening(port.port));
    EXPECT_TRUE(successes.empty());
}

TEST_F(FtpClient, ActiveModeRefusedFallsBackToPassiveOncePerServer)
{
    std::vector<std::string> fallBacks;
    ftp.OnPassiveFallBack = [&](const std::string& text) { fallBacks.push_back(text); };
    const std::string epsvReply = "229 Entering Extended Passive Mode (|||{port}|)\r\n";

    // PORT refused: passive at once, and for the next file with the same server too; once the
    // fall-backs are forgotten, active mode is tried again.
    auto first = std::make_shared<PassivePort>();
    auto second = std::make_shared<PassivePort>();
    Script script;
    FtpLogin(script)
        .ExpectLine()
        .Send("500 Illegal PORT command.\r\n")
        .ExpectLine()
        .Call(OfferPassive(first, epsvReply))
        .ExpectLine()
        .Send("150 Opening data connection.\r\n")
        .Call(ServePassiveData(first, DataPlan("one")))
        .ExpectLine()
        .Call(OfferPassive(second, epsvReply))
        .ExpectLine()
        .Send("150 Opening data connection.\r\n")
        .Call(ServePassiveData(second, DataPlan("two")))
        .ExpectLine()
        .Send("200 PORT ok\r\n")
        .ExpectLine()
        .Send("150 Opening data connection.\r\n")
        .Call(ServeData(DataPlan("three")));
    server.AddScript(script);
    ftp.Connect();
    ftp.Download("a", dir.Path() + "a");
    ftp.Download("b", dir.Path() + "b");
    ftp.ForgetFallBacks();
    ftp.Download("c", dir.Path() + "c");
    EXPECT_EQ(dir.Read("a") + dir.Read("b") + dir.Read("c"), "onetwothree");
    const std::string sent = server.Received();
    const std::size_t firstPort = sent.find("PORT ");
    ASSERT_NE(firstPort, npos);
    EXPECT_EQ(sent.substr(firstPort + 5, sent.find("\r\n", firstPort) - firstPort - 5).substr(0, 8),
              "127,0,0,");
    EXPECT_EQ(sent.substr(sent.find("\r\n", firstPort)),
              "\r\nEPSV\r\nRETR a\r\nEPSV\r\nRETR b\r\n" + LastPortTarget(sent).line + "\r\nRETR c\r\n");
    ASSERT_EQ(fallBacks.size(), 1u);
    EXPECT_EQ(fallBacks[0], "Passive FTP for 127.0.0.1:" + std::to_string(server.Port()) +
                                " after 500 Illegal PORT command.");
    EXPECT_TRUE(Reported(fallBacks[0]));
    ftp.RequestCloseSocket();

    // RETR answered 425, at once or after a 150, before any data: the transfer is asked again in
    // passive mode, REST included, and what came before the cut is gone on from.
    for (const std::string refusal : {"425 Can't open data connection.\r\n",
                                      "150 Opening data connection.\r\n425 Can't open data connection.\r\n"})
    {
        SCOPED_TRACE(refusal);
        ScriptedServer refusing;
        auto data = std::make_shared<PassivePort>();
        Script steps;
        FtpLogin(steps)
            .ExpectLine()
            .Send("200 PORT ok\r\n")
            .ExpectLine()
            .Send("350 Restarting at 3.\r\n")
            .ExpectLine()
            .Send(refusal)
            .ExpectLine()
            .Call(OfferPassive(data, epsvReply))
            .ExpectLine()
            .Send("350 Restarting at 3.\r\n")
            .ExpectLine()
            .Send("150 Opening data connection.\r\n")
            .Call(ServePassiveData(data, DataPlan("def")));
        refusing.AddScript(steps);
        fallBacks.clear();
        ftp.Port = refusing.Port();
        ftp.Connect();
        dir.Write("r", "abc");
        ftp.Download("r", dir.Path() + "r", 3);
        EXPECT_EQ(dir.Read("r"), "abcdef");
        EXPECT_EQ(ftp.ContinuedFrom, 3);
        const std::string received = refusing.Received();
        EXPECT_EQ(received.substr(received.find("REST")), "REST 3\r\nRETR r\r\nEPSV\r\nREST 3\r\nRETR r\r\n");
        ASSERT_EQ(fallBacks.size(), 1u);
        EXPECT_NE(fallBacks[0].find("after 425 Can't open data connection."), npos);
        EXPECT_TRUE(Reported("425 Can't open data connection.\r\n"));
        ftp.RequestCloseSocket();
    }

    // The user's abort that comes with the refusal ends the transfer; no passive attempt follows.
    ScriptedServer aborted;
    aborted.AddScript(DownloadScript("150 Opening data connection.\r\n425 Can't open data connection.\r\n")
                          .ExpectLine()
                          .Stall());
    ftp.Port = aborted.Port();
    ftp.Connect();
    ftp.OnStatus = [this](QObject*, const std::string& text)
    {
        if (text.starts_with("150 "))
            ftp.Abort();
    };
    EXPECT_THROW(ftp.Download("x", dir.Path() + "x"), ESockError);
    EXPECT_EQ(aborted.Received().find("EPSV"), npos) << aborted.Received();
}

TEST_F(FtpClient, PassiveModeConnectsToTheControlPeerWhateverPasvNames)
{
    ftp.Passive = true;
    auto data = std::make_shared<PassivePort>();
    // Where the reply points: were the client to follow it, this listener would see it.
    QTcpServer decoy;
    ASSERT_TRUE(decoy.listen(QHostAddress("127.0.0.2"), data->Port()));
    auto listing = std::make_shared<PassivePort>();
    Script script;
    FtpLogin(script)
        .ExpectLine()
        .Send("500 EPSV not understood.\r\n")
        .ExpectLine()
        .Call(OfferPassive(data, "227 Entering Passive Mode (127,0,0,2,{p1},{p2}).\r\n"))
        .ExpectLine()
        .Send("150 Opening data connection (5 bytes).\r\n")
        .Call(ServePassiveData(data, DataPlan("hello")))
        .ExpectLine()
        .Call(OfferPassive(listing, "229 Extended Passive Mode OK (!!!{port}!)\r\n"))
        .ExpectLine()
        .Send("150 Here it comes.\r\n")
        .Call(ServePassiveData(listing, DataPlan("type=file; a.zip\r\n")))
        .ExpectLine()
        .Send("229 Entering Extended Passive Mode (|||0|)\r\n")
        .ExpectLine()
        .Send("221 Bye\r\n")
        .Close();
    server.AddScript(script);
    ftp.Connect();
    ftp.Download("a.zip", dir.Path() + "a.zip");
    EXPECT_EQ(dir.Read("a.zip"), "hello");
    EXPECT_EQ(ftp.ExpectedCount, 5);
    EXPECT_EQ(data->connections.size(), 1u);
    EXPECT_FALSE(decoy.hasPendingConnections());
    EXPECT_TRUE(ftp.ListFolder(dir.Path() + "list"));
    EXPECT_EQ(dir.Read("list"), "type=file; a.zip\r\n");
    // A reply that names no port is no data connection; the session stays usable.
    EXPECT_EQ(MessageOf([&] { ftp.Download("b.zip", dir.Path() + "b.zip"); }),
              "229 Entering Extended Passive Mode (|||0|)\r\n");
    ftp.Disconnect();
    EXPECT_EQ(server.Received(), "USER anonymous\r\nPASS kestrow@example.com\r\nEPSV\r\nPASV\r\nRETR "
                                 "a.zip\r\nEPSV\r\nMLSD\r\nEPSV\r\nQUIT\r\n");
}

TEST_F(FtpClient, PassiveDataConnectionsThatFailOrStallEndTheTransfer)
{
    ftp.Passive = true;
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 closedPort = closed.serverPort();
    closed.close();
    SilentListener silent(1);
    auto data = std::make_shared<PassivePort>();
    DataPlan stalling(std::string(100000, 's'));
    Script script;
    FtpLogin(script)
        .ExpectLine()
        .Send("229 Entering Extended Passive Mode (|||" + std::to_string(closedPort) + "|)\r\n")
        .ExpectLine()
        .Send("229 Entering Extended Passive Mode (|||" + std::to_string(silent.Port()) + "|)\r\n")
        .ExpectLine()
        .Call(OfferPassive(data, "229 Entering Extended Passive Mode (|||{port}|)\r\n"))
        .ExpectLine()
        .Send("150 Opening data connection.\r\n")
        .Call(
            [data](ScriptedServer::Connection&)
            {
                WaitUntil([&] { return !data->connections.empty(); });
                data->connections.back()->write(std::string(20000, 's').c_str(), 20000);
            })
        .Stall();
    server.AddScript(script);
    auto reasonOf = [](const std::function<void()>& action)
    {
        try
        {
            action();
        }
        catch (const ESockError& error)
        {
            return error.Reason();
        }
        return TSockReason::Unspecified;
    };
    ftp.Connect();
    EXPECT_EQ(reasonOf([&] { ftp.Download("a", dir.Path() + "a"); }), TSockReason::DataConnectionFailed);
    EXPECT_EQ(ftp.LastError, 10061);

    // A data port that never answers, and a transfer that stalls, end on Abort.
    QTimer::singleShot(200, &ftp, [this] { ftp.Abort(); });
    EXPECT_EQ(reasonOf([&] { ftp.Download("b", dir.Path() + "b"); }), TSockReason::ConnectionCanceled);
    ftp.OnPacketRecvd = [this](QObject*)
    {
        if (ftp.DataReceivedCount() >= 20000)
            QTimer::singleShot(50, &ftp, [this] { ftp.Abort(); });
    };
    EXPECT_THROW(ftp.Download("c", dir.Path() + "c"), EAbortError);
    EXPECT_EQ(dir.Read("c"), std::string(20000, 's'));
    EXPECT_TRUE(successes.empty());
}

TEST_F(FtpClient, AbortDuringTheTransferIsNeverASuccess)
{
    DataPlan plan(std::string(100000, 'z'));
    plan.stallAfter = 20000;
    Script script = DownloadScript("150 Opening data connection.\r\n");
    script.Call(ServeData(plan));
    server.AddScript(script);
    // As the robot's Skip File button does, from inside the transfer.
    ftp.OnPacketRecvd = [this](QObject*)
    {
        if (ftp.DataReceivedCount() > 0)
            ftp.Abort();
    };
    ftp.Connect();
    try
    {
        ftp.Download("z.bin", dir.Path() + "z.bin");
        FAIL() << "Download succeeded";
    }
    catch (const EAbortError& error)
    {
        EXPECT_EQ(error.Message(), "Socket send aborted");
    }
    EXPECT_TRUE(successes.empty());
}

TEST_F(FtpClient, CancelBeforeTheTransferAndAFailedClosingReplyAreFailures)
{
    // Aborted when the transfer starts: the data is never captured, and that is no success
    // even though the data connection ends by itself.
    Script script = DownloadScript("150 Opening data connection.\r\n");
    script.Call(ServeData(DataPlan("abc")))
        .ExpectLine()
        .Send("200 PORT ok\r\n")
        .ExpectLine()
        .Send("150 Opening data connection.\r\n")
        .Call(ServeData(DataPlan("abc", "451 Local error in processing.\r\n")));
    server.AddScript(script);
    ftp.Connect();
    ftp.OnTransactionStart = [this](QObject*) { ftp.Abort(); };
    EXPECT_THROW(ftp.Download("a", dir.Path() + "a"), EAbortError);
    EXPECT_TRUE(successes.empty());

    ftp.OnTransactionStart = nullptr;
    try
    {
        ftp.Download("b", dir.Path() + "b");
        FAIL() << "Download succeeded";
    }
    catch (const FTPException& error)
    {
        EXPECT_EQ(error.Message(), "451 Local error in processing.\r\n");
    }
    EXPECT_TRUE(successes.empty());
}

TEST_F(FtpClient, DestroyingAConnectedClientSaysQuitWithoutWaitingForever)
{
    // The server takes QUIT but never answers.
    server.AddScript(
        Script().Send("220 Ready\r\n").ExpectLine().Send("230 Welcome\r\n").ExpectLine().Stall());
    auto client = std::make_unique<TNMFTP>();
    client->Host = "127.0.0.1";
    client->Port = server.Port();
    client->UserID = "anonymous";
    client->Password = AnonymousPassword;
    client->Connect();
    client.reset();
    EXPECT_EQ(server.Received(), "USER anonymous\r\nQUIT\r\n");
}
