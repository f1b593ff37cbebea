#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "net/powersock.h"
#include "messageof.h"
#include "scriptedserver.h"
#include "silentlistener.h"
#include "tempdir.h"

namespace
{
using Script = ScriptedServer::Script;

// Opens the protected parts that derived clients use.
class TestSock : public TPowersock
{
  public:
    using TPowersock::Buffered;
    using TPowersock::OnDataArrived;
    using TPowersock::ReceiveFootprint;
    using TPowersock::SendBytes;
};

// 997 bytes that do not repeat within themselves, so a byte lost or doubled anywhere in a long
// stream of them shows.
std::string Unit()
{
    std::string unit;
    for (int i = 0; unit.size() < 997; ++i)
        unit += std::to_string(i) + ",";
    unit.resize(997);
    return unit;
}

void ConnectTo(TPowersock& sock, quint16 port)
{
    sock.Host = "127.0.0.1";
    sock.Port = port;
    sock.Connect();
}

// Cancels sock from the event loop after milliseconds, as a button or timer handler would.
void CancelLater(int milliseconds, TPowersock& sock)
{
    QTimer::singleShot(milliseconds, &sock, [&sock] { sock.Cancel(); });
}

// The socket error an action raises, as "reason code: message".
std::string FailureOf(const std::function<void()>& action)
{
    try
    {
        action();
    }
    catch (const ESockError& error)
    {
        return std::to_string(static_cast<int>(error.Reason())) + ": " + error.Message();
    }
    return "(no socket error)";
}

std::string Failure(TSockReason reason, const std::string& message)
{
    return std::to_string(static_cast<int>(reason)) + ": " + message;
}

quint16 ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
} // namespace

TEST(ErrorText, KeepsTheWinsockNumbersAndTexts)
{
    TPowersock sock;
    EXPECT_EQ(sock.ErrorText(10061), "10061:Connection refused");
    EXPECT_EQ(sock.ErrorText(10054), "10054:Connection reset by peer");
    EXPECT_EQ(sock.ErrorText(10004), "10004:Interrupted system call");
    EXPECT_EQ(sock.ErrorText(11004), "11004:Valid name, no data record of requested type");
    EXPECT_EQ(sock.ErrorText(10065), "10065:No route to Host");
    EXPECT_EQ(sock.ErrorText(10072), "Unknown Error No. 10072");
    EXPECT_EQ(sock.ErrorText(-3), "Unknown Error No. -3");
    EXPECT_EQ(sock.ErrorText(0), "");
    int known = 0;
    for (int code = 10000; code <= 11010; ++code)
        known += sock.ErrorText(code).starts_with("Unknown") ? 0 : 1;
    EXPECT_EQ(known, 50);
}

TEST(Powersock, ReportsStatusUpToItsLevel)
{
    ScriptedServer server;
    server.AddScript(Script().Stall());
    TPowersock sock;
    std::vector<std::string> seen;
    sock.OnStatus = [&](QObject* sender, const std::string& status)
    {
        EXPECT_EQ(sender, &sock);
        seen.push_back(status);
    };
    sock.ReportLevel = 4;
    ConnectTo(sock, server.Port());
    EXPECT_TRUE(seen.empty()) << seen.front();
    sock.Disconnect();
    EXPECT_EQ(seen, std::vector<std::string>{"Request Close Socket"});
    EXPECT_EQ(sock.StatusText, "Request Close Socket");

    seen.clear();
    sock.ReportLevel = 8;
    ConnectTo(sock, server.Port());
    EXPECT_EQ(seen, (std::vector<std::string>{"Connecting", "Resolve Host", "Timer On", "Timer Off"}));
    seen.clear();
    EXPECT_EQ(sock.ErrorManager(0), "");
    EXPECT_TRUE(seen.empty());
    sock.ReportLevel = 16;
    EXPECT_EQ(sock.ErrorManager(0), "");
    EXPECT_EQ(seen, std::vector<std::string>{"Checking Error In Error Manager"});
}

TEST(Powersock, ConnectsToADottedAddressWithoutLookup)
{
    ScriptedServer server;
    server.AddScript(Script().Pause(50).Close());
    TPowersock sock;
    int resolved = 0, connected = 0, disconnected = 0;
    sock.OnHostResolved = [&](QObject*) { ++resolved; };
    sock.OnConnect = [&](QObject*) { ++connected; };
    sock.OnDisconnect = [&](QObject*) { ++disconnected; };
    ConnectTo(sock, server.Port());
    EXPECT_TRUE(sock.IsConnected());
    EXPECT_EQ(resolved, 0);
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(sock.RemoteAddress.Address, 0x7f000001u);
    EXPECT_EQ(sock.RemoteAddress.Port, server.Port());
    EXPECT_EQ(MessageOf([&] { sock.Connect(); }), "Already connected");

    // The peer closes: the session notices, and a fresh connect on the same object works.
    ASSERT_TRUE(WaitUntil([&] { return !sock.IsConnected(); }));
    EXPECT_EQ(disconnected, 1);
    sock.Connect();
    EXPECT_TRUE(sock.IsConnected());
    EXPECT_EQ(connected, 2);
    EXPECT_EQ(server.ConnectionCount(), 2);
}

TEST(Powersock, ResolvesANameAndPrefersIPv4)
{
    ScriptedServer server;
    server.AddScript(Script().Stall());
    TPowersock sock;
    int resolved = 0;
    sock.OnHostResolved = [&](QObject*) { ++resolved; };
    sock.Host = "localhost";
    sock.Port = server.Port();
    sock.Connect();
    EXPECT_EQ(resolved, 1);
    EXPECT_EQ(sock.RemoteAddress.Address, 0x7f000001u);
    EXPECT_TRUE(WaitUntil([&] { return server.ConnectionCount() == 1; }));
}

TEST(Powersock, InvalidHostHandlerGetsOneMoreLookup)
{
    TPowersock sock;
    sock.Host = "invalid..host";
    sock.Port = 80;
    sock.ReportLevel = 8;
    int lookups = 0, handlerCalls = 0;
    sock.OnStatus = [&](QObject*, const std::string& status) { lookups += status == "Resolve Host"; };
    sock.OnInvalidHost = [&](bool& handled)
    {
        ++handlerCalls;
        handled = true;
    };
    EXPECT_EQ(
        FailureOf([&] { sock.Connect(); }),
        Failure(TSockReason::NullRemoteAddress, "Null Remote Address: no address found for invalid..host"));
    EXPECT_EQ(handlerCalls, 1);
    EXPECT_EQ(lookups, 2);

    // The handler may mend the host; the second lookup then connects.
    ScriptedServer server;
    server.AddScript(Script().Stall());
    sock.Port = server.Port();
    sock.OnInvalidHost = [&](bool& handled)
    {
        sock.Host = "127.0.0.1";
        handled = true;
    };
    sock.Connect();
    EXPECT_TRUE(sock.IsConnected());
}

TEST(Powersock, RefusedConnectFailsAndLeavesTheObjectUsable)
{
    TPowersock sock;
    int failed = 0;
    sock.OnConnectionFailed = [&](QObject*) { ++failed; };
    sock.Host = "127.0.0.1";
    sock.Port = ClosedPort();
    EXPECT_EQ(
        FailureOf([&] { sock.Connect(); }),
        Failure(TSockReason::ConnectionFailed,
                "Connection Failed: 127.0.0.1:" + std::to_string(sock.Port) + " refused the connection"));
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(sock.LastError, 10061);
    EXPECT_FALSE(sock.IsConnected());

    ScriptedServer server;
    server.AddScript(Script().Stall());
    ConnectTo(sock, server.Port());
    EXPECT_TRUE(sock.IsConnected());
}

TEST(Powersock, ConnectTimesOutOrIsCancelled)
{
    SilentListener unanswered(1);
    TPowersock sock;
    int failed = 0;
    sock.OnConnectionFailed = [&](QObject*) { ++failed; };
    sock.Host = "127.0.0.1";
    sock.Port = unanswered.Port();
    sock.TimeOut = 150;
    EXPECT_EQ(FailureOf([&] { sock.Connect(); }),
              Failure(TSockReason::ConnectionTimedOut, "Connection Timed out"));
    EXPECT_EQ(failed, 1);
    EXPECT_TRUE(sock.TimedOut);
    // The time-out aborted the session; the flag stays until the next Connect.
    EXPECT_TRUE(sock.CancelRequested);

    sock.TimeOut = 0;
    CancelLater(100, sock);
    EXPECT_EQ(FailureOf([&] { sock.Connect(); }),
              Failure(TSockReason::ConnectionCanceled, "Connection Canceled"));
    EXPECT_EQ(failed, 2);
    EXPECT_FALSE(sock.TimedOut);

    // A cancelled lookup ends Connect with its own error; it is not taken for an unknown host.
    sock.Host = "localhost";
    sock.ReportLevel = 8;
    sock.OnStatus = [&](QObject*, const std::string& status)
    {
        if (status == "Resolve Host")
            sock.Cancel();
    };
    EXPECT_EQ(FailureOf([&] { sock.Connect(); }),
              Failure(TSockReason::LookupCanceled, "Host Lookup Canceled"));
    EXPECT_EQ(failed, 2);
}

TEST(Powersock, ConnectionRequiredHandlerIsAskedOnce)
{
    TPowersock sock;
    EXPECT_EQ(MessageOf([&] { sock.CheckConnected(); }), "Not Connected");
    int asked = 0;
    sock.OnConnectionRequired = [&](bool& handled)
    {
        ++asked;
        handled = true;
    };
    EXPECT_EQ(MessageOf([&] { sock.CheckConnected(); }), "Not Connected");
    EXPECT_EQ(asked, 1);

    ScriptedServer server;
    server.AddScript(Script().Stall());
    sock.OnConnectionRequired = [&](bool& handled)
    {
        ConnectTo(sock, server.Port());
        handled = true;
    };
    sock.CheckConnected();
    EXPECT_TRUE(sock.IsConnected());
}

TEST(Powersock, CountsSessionsAndDescribesTheFirst)
{
    ASSERT_EQ(TPowersock::SessionCount(), 0);
    {
        TPowersock first;
        TPowersock second;
        EXPECT_EQ(TPowersock::SessionCount(), 2);
        ASSERT_EQ(first.WinsockInfo.size(), 6u);
        EXPECT_EQ(first.WinsockInfo[0], "Version= 1.1");
        EXPECT_TRUE(first.WinsockInfo[4].starts_with("Max Sockets= "));
        EXPECT_TRUE(second.WinsockInfo.empty());
    }
    EXPECT_EQ(TPowersock::SessionCount(), 0);
}

TEST(ThreadTimer, RunsOnlyWhileEnabledWithIntervalAndHandler)
{
    TThreadTimer timer;
    int ticks = 0;
    timer.SetInterval(10);
    ASSERT_TRUE(timer.Enabled());
    timer.SetOnTimer([&](QObject*) { ++ticks; });
    EXPECT_TRUE(WaitUntil([&] { return ticks >= 3; }, 2000));
    timer.SetEnabled(false);
    const int stopped = ticks;
    // A timer of the same interval ticks three times: the disabled one had its chances.
    QTimer reference;
    int referenceTicks = 0;
    QObject::connect(&reference, &QTimer::timeout, [&] { ++referenceTicks; });
    reference.start(10);
    EXPECT_TRUE(WaitUntil([&] { return referenceTicks >= 3; }, 2000));
    EXPECT_EQ(ticks, stopped);

    // A failing handler is logged and the timer goes on; nothing unwinds into the event loop.
    static std::vector<std::string> warnings;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text)
                               { warnings.push_back(text.toStdString()); });
    timer.SetOnTimer(
        [&](QObject*)
        {
            ++ticks;
            throw Exception("tick broke");
        });
    timer.SetEnabled(true);
    EXPECT_TRUE(WaitUntil([&] { return ticks >= stopped + 2; }, 2000));
    timer.SetEnabled(false);
    qInstallMessageHandler(previous);
    ASSERT_FALSE(warnings.empty());
    EXPECT_EQ(warnings.front(), "TThreadTimer: OnTimer failed: tick broke");
}

TEST(PowersockData, ReadLnTakesOneLineAndKeepsTheRest)
{
    ScriptedServer server;
    server.AddScript(Script().Send("220 ready\r\nnext").Pause(30).Send("\nlast").Stall());
    TestSock sock;
    ConnectTo(sock, server.Port());
    EXPECT_EQ(sock.ReadLn(), "220 ready\r\n");
    EXPECT_EQ(sock.ReadLn(), "next\n");
    ASSERT_TRUE(WaitUntil([&] { return sock.Buffered() == "last"; }));
    EXPECT_EQ(sock.Read(0), "last");
    EXPECT_EQ(sock.Read(0), "");
}

TEST(PowersockData, ReadWaitsForTheCount)
{
    ScriptedServer server;
    server.AddScript(Script().Send("abc").Pause(60).Send("defgh").Stall());
    TestSock sock;
    ConnectTo(sock, server.Port());
    ASSERT_TRUE(WaitUntil([&] { return sock.Buffered() == "abc"; }));
    EXPECT_EQ(sock.Read(5), "abcde");
    EXPECT_EQ(sock.Read(3), "fgh");
}

TEST(PowersockData, ReadLnAtCloseReturnsTheRestThenFails)
{
    ScriptedServer server;
    server.AddScript(Script().Send("line1\r\npartial").Close());
    TPowersock sock;
    ConnectTo(sock, server.Port());
    EXPECT_EQ(sock.ReadLn(), "line1\r\n");
    EXPECT_EQ(sock.ReadLn(), "partial");
    EXPECT_EQ(FailureOf([&] { sock.ReadLn(); }),
              Failure(TSockReason::Winsock, "10054:Connection reset by peer"));
    EXPECT_EQ(sock.LastError, 10054);
    EXPECT_EQ(MessageOf([&] { sock.Read(1); }), "10054:Connection reset by peer");
}

TEST(PowersockData, EndlessLineIsRefused)
{
    ScriptedServer server;
    server.AddScript(Script().Send(std::string(100000, 'x')).Stall());
    TPowersock sock;
    ConnectTo(sock, server.Port());
    EXPECT_EQ(FailureOf([&] { sock.ReadLn(); }), Failure(TSockReason::LineTooLong, "Line too long"));
}

TEST(PowersockData, TransactionParsesTheLeadingDigits)
{
    ScriptedServer server;
    server.AddScript(Script()
                         .ExpectLine()
                         .Send("200 OK\r\n")
                         .ExpectLine()
                         .Send("hello\r\n")
                         .ExpectLine()
                         .Send("9999999999 too big\r\n")
                         .Stall());
    TPowersock sock;
    std::vector<std::string> replies;
    sock.ReportLevel = 1;
    sock.OnStatus = [&](QObject*, const std::string& status) { replies.push_back(status); };
    ConnectTo(sock, server.Port());
    EXPECT_EQ(sock.Transaction("USER anonymous"), "200 OK\r\n");
    EXPECT_EQ(sock.ReplyCode, 200);
    EXPECT_EQ(sock.LastReply, "200 OK\r\n");
    EXPECT_EQ(sock.Transaction("NOOP"), "hello\r\n");
    EXPECT_EQ(sock.ReplyCode, 0);
    sock.Transaction("STAT");
    EXPECT_EQ(sock.ReplyCode, 0);
    EXPECT_EQ(server.Received(), "USER anonymous\r\nNOOP\r\nSTAT\r\n");
    EXPECT_EQ(replies, (std::vector<std::string>{"200 OK\r\n", "hello\r\n", "9999999999 too big\r\n"}));
}

TEST(PowersockData, WriteSendsAtMostItsBufferAndStopsAtZero)
{
    ScriptedServer server;
    server.AddScript(Script().Stall());
    TPowersock sock;
    ConnectTo(sock, server.Port());
    sock.Write(std::string(20000, 'w'));
    sock.Write(std::string("ab\0cd", 5));
    sock.Writeln("end");

    // With a cancel pending nothing is sent and nothing raised.
    sock.CancelRequested = true;
    sock.Write("not sent");
    EXPECT_TRUE(sock.CancelRequested);

    // A last line marks the end: whatever went out before it has arrived when it does.
    sock.CancelRequested = false;
    sock.Writeln("last");
    const std::string expected = std::string(16384, 'w') + "ab" + "end\r\n" + "last\r\n";
    EXPECT_TRUE(WaitUntil([&] { return server.Received().size() >= expected.size(); }));
    EXPECT_EQ(server.Received(), expected);
}

TEST(PowersockData, SendingOnAClosedConnectionFailsInsteadOfWaiting)
{
    TestSock sock;
    try
    {
        sock.Write("x");
        ADD_FAILURE() << "sent without a connection";
    }
    catch (const ESockError& error)
    {
        EXPECT_EQ(error.Message(), "10057:Socket is not connected");
        EXPECT_EQ(error.Reason(), TSockReason::Winsock);
        EXPECT_EQ(error.WinsockError(), TWinsockError::NotConnected);
    }

    // The peer drops the connection while a large send is under way.
    ScriptedServer server;
    server.AddScript(Script().ExpectBytes(1000).Reset());
    ConnectTo(sock, server.Port());
    EXPECT_EQ(MessageOf([&] { sock.SendBytes(std::string(64 * 1024 * 1024, 's')); }),
              "10054:Connection reset by peer");
}

TEST(PowersockData, SendFileSendsTheWholeFileAndCounts)
{
    TempDir dir;
    std::string content;
    for (int i = 0; content.size() < 300000; ++i)
        content += std::to_string(i) + '\0';
    const std::string path = dir.Write("upload.bin", content);
    ScriptedServer server;
    server.AddScript(Script().Stall());
    TPowersock sock;
    int packets = 0;
    sock.OnPacketSent = [&](QObject*) { ++packets; };
    ConnectTo(sock, server.Port());
    sock.SendFile(path);
    EXPECT_EQ(sock.SentCount, static_cast<std::int64_t>(content.size()));
    EXPECT_EQ(sock.ExpectedCount, static_cast<std::int64_t>(content.size()));
    EXPECT_GE(packets, static_cast<int>(content.size() / TPowersock::ChunkSize));
    EXPECT_TRUE(WaitUntil([&] { return server.Received().size() == content.size(); }));
    EXPECT_EQ(server.Received(), content);

    EXPECT_TRUE(
        MessageOf([&] { sock.SendFile(dir.Path() + "missing.bin"); }).starts_with("Cannot open file"));
}

TEST(PowersockData, CaptureFileStartsWithWhatCameEarly)
{
    ScriptedServer server;
    server.AddScript(
        Script().Send("early ").Pause(80).Send(std::string(50000, 'l')).Pause(20).Send("!").Close());
    TestSock sock;
    int packets = 0;
    sock.OnPacketRecvd = [&](QObject*) { ++packets; };
    ConnectTo(sock, server.Port());
    ASSERT_TRUE(WaitUntil([&] { return !sock.Buffered().empty(); }));
    EXPECT_EQ(packets, 0);
    TempDir dir;
    sock.CaptureFile(dir.Path() + "body.bin");
    const std::string expected = "early " + std::string(50000, 'l') + "!";
    EXPECT_EQ(dir.Read("body.bin"), expected);
    EXPECT_EQ(sock.ReceivedCount, static_cast<std::int64_t>(expected.size()));
    EXPECT_GE(packets, 2);
    EXPECT_FALSE(sock.IsConnected());
    EXPECT_TRUE(sock.Buffered().empty());

    EXPECT_TRUE(MessageOf([&] { sock.CaptureFile(dir.Path() + "no/such/folder/x"); })
                    .starts_with("Cannot create file"));

    // A body that cannot be written is a failed transfer, not a short file.
    ConnectTo(sock, server.Port());
    EXPECT_EQ(MessageOf([&] { sock.CaptureFile("/dev/full"); }),
              "Cannot write file \"/dev/full\". No space left on device");
}

TEST(PowersockData, AFastPeerWaitsForTheReaderAndLosesNothing)
{
    const std::string unit = Unit();
    const std::size_t total = (64u << 20) / unit.size() * unit.size();
    ScriptedServer server;
    server.AddScript(Script().Flood(unit, total).Close());
    TestSock sock;
    ConnectTo(sock, server.Port());

    // Nothing is taken for a while: reading pauses at the bound, and the peer waits in TCP.
    std::size_t peak = 0;
    WaitUntil(
        [&]
        {
            peak = std::max(peak, sock.ReceiveFootprint());
            return false;
        },
        1000);
    EXPECT_GE(peak, TPowersock::ReceiveBufferLimit);
    EXPECT_LE(peak, TPowersock::ReceiveBufferLimit + TPowersock::ChunkSize);

    // Taken piece by piece, everything arrives in order, and the buffer stays small meanwhile.
    std::size_t taken = 0;
    bool intact = true;
    while (taken < total && intact)
    {
        intact = sock.Read(static_cast<std::uint16_t>(unit.size())) == unit;
        taken += unit.size();
        peak = std::max(peak, sock.ReceiveFootprint());
    }
    EXPECT_TRUE(intact) << "at byte " << taken;
    EXPECT_LE(peak, 2 * (TPowersock::ReceiveBufferLimit + TPowersock::ChunkSize));
    EXPECT_TRUE(WaitUntil([&] { return !sock.IsConnected(); }));
    EXPECT_TRUE(sock.Buffered().empty());
}

TEST(PowersockData, AResetFailsTheCaptureWhereAnOrderlyCloseEndsIt)
{
    const std::string body(100000, 'b');
    TempDir dir;
    ScriptedServer orderly;
    orderly.AddScript(Script().Send(body).Close());
    TPowersock sock;
    ConnectTo(sock, orderly.Port());
    sock.CaptureFile(dir.Path() + "orderly.bin");
    EXPECT_EQ(dir.Read("orderly.bin"), body);

    // Qt reports a reset as an orderly close; the reset must still fail the transfer, whether it
    // comes on the heels of the data or after a pause, into a file or into a string. (The server
    // lets the client see its connection first: a reset before that makes Qt connect again.)
    for (const bool pause : {false, true})
    {
        ScriptedServer reset;
        reset.AddScript(pause ? Script().Pause(50).Send(body).Pause(100).Reset()
                              : Script().Pause(50).Send(body).Reset());
        ConnectTo(sock, reset.Port());
        EXPECT_EQ(MessageOf([&] { sock.CaptureFile(dir.Path() + "reset.bin"); }),
                  "10054:Connection reset by peer")
            << "pause " << pause;
        EXPECT_FALSE(sock.IsConnected());

        ConnectTo(sock, reset.Port());
        std::string text;
        EXPECT_EQ(MessageOf([&] { sock.CaptureString(text, -1); }), "10054:Connection reset by peer")
            << "pause " << pause;
    }

    // The next connection that ends in order is whole again.
    ConnectTo(sock, orderly.Port());
    std::string text;
    sock.CaptureString(text, -1);
    EXPECT_EQ(text, body);
}

TEST(PowersockData, CaptureStringCollectsUntilCloseOrCount)
{
    ScriptedServer server;
    server.AddScript(Script().Send("first").Pause(30).Send(" second").Close());
    TPowersock sock;
    ConnectTo(sock, server.Port());
    std::string text;
    sock.CaptureString(text, -1);
    EXPECT_EQ(text, "first second");

    ConnectTo(sock, server.Port());
    sock.CaptureString(text, 3);
    EXPECT_GE(text.size(), 3u);
    EXPECT_EQ(text.substr(0, 3), "fir");

    // A count the peer never reaches ends with the connection, not with a hang.
    sock.Disconnect();
    ConnectTo(sock, server.Port());
    sock.CaptureString(text, 1000);
    EXPECT_EQ(text, "first second");
}

TEST(PowersockData, CancelEndsEveryWaitWithItsError)
{
    ScriptedServer server;
    server.AddScript(Script().Send("no line end").Stall());
    TempDir dir;
    TPowersock sock;
    ConnectTo(sock, server.Port());

    CancelLater(50, sock);
    EXPECT_EQ(FailureOf([&] { sock.ReadLn(); }), Failure(TSockReason::Aborted, "Socket readln aborted"));
    EXPECT_TRUE(sock.CancelRequested);

    sock.CancelRequested = false;
    CancelLater(50, sock);
    EXPECT_EQ(MessageOf([&] { sock.Read(500); }), "Socket send aborted");
    EXPECT_FALSE(sock.CancelRequested);

    CancelLater(50, sock);
    std::string text;
    EXPECT_EQ(FailureOf([&] { sock.CaptureString(text, -1); }),
              Failure(TSockReason::Aborted, "Socket capture aborted"));
    EXPECT_FALSE(sock.CancelRequested);

    CancelLater(50, sock);
    EXPECT_EQ(MessageOf([&] { sock.CaptureFile(dir.Path() + "part.bin"); }), "Socket send aborted");
    EXPECT_FALSE(sock.CancelRequested);
    EXPECT_TRUE(dir.Exists("part.bin"));
    EXPECT_TRUE(sock.IsConnected());
}

TEST(PowersockData, CancelEndsAStalledSend)
{
    SilentListener neverReads;
    TestSock sock;
    ConnectTo(sock, neverReads.Port());
    CancelLater(100, sock);
    EXPECT_EQ(MessageOf([&] { sock.SendBytes(std::string(64 * 1024 * 1024, 's')); }), "Socket send aborted");
    EXPECT_FALSE(sock.CancelRequested);
}

TEST(PowersockData, ListensAcceptsAndTakesOverTheConnection)
{
    TPowersock data;
    data.Port = 0;
    data.Listen(true);
    const std::string portText = data.LocalPortText();
    ASSERT_EQ(portText.front(), ',');
    const std::size_t comma = portText.find(',', 1);
    const int port = std::stoi(portText.substr(1, comma - 1)) * 256 + std::stoi(portText.substr(comma + 1));
    EXPECT_EQ(data.LocalAddressText(), "0,0,0,0");

    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    QTcpSocket* accepted = data.Accept();
    ASSERT_NE(accepted, nullptr);
    EXPECT_EQ(data.RemoteAddress.Address, 0x7f000001u);
    data.AdoptSocket(accepted);
    EXPECT_TRUE(data.IsConnected());
    EXPECT_EQ(data.LocalAddressText(), "127,0,0,1");
    EXPECT_EQ(data.LocalPortText(), "," + std::to_string(port >> 8) + "," + std::to_string(port & 255));

    peer.write("the data");
    peer.disconnectFromHost();
    TempDir dir;
    data.CaptureFile(dir.Path() + "data.bin");
    EXPECT_EQ(dir.Read("data.bin"), "the data");

    TPowersock waiting;
    waiting.Listen(true);
    CancelLater(50, waiting);
    EXPECT_EQ(FailureOf([&] { waiting.Accept(); }),
              Failure(TSockReason::AcceptCanceled, "Accepting Canceled"));
}

TEST(PowersockData, FailingHandlerIsReportedAndTheTransferGoesOn)
{
    ScriptedServer server;
    server.AddScript(Script().Send("first").Pause(30).Send(" second").Close());
    TPowersock sock;
    std::vector<std::string> errors;
    sock.ReportLevel = 16;
    sock.OnStatus = [&](QObject*, const std::string& status)
    {
        if (status.find("failed") != std::string::npos)
            errors.push_back(status);
    };
    sock.OnPacketRecvd = [](QObject*) { throw Exception("progress broke"); };
    ConnectTo(sock, server.Port());
    std::string text;
    sock.CaptureString(text, -1);
    EXPECT_EQ(text, "first second");
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.front(), "ReadToStream failed: progress broke");
}

TEST(PowersockData, DataArrivedHookSeesEveryRead)
{
    ScriptedServer server;
    server.AddScript(Script().Send("421 closing\r\n").Close());
    TestSock sock;
    std::string seenAtHook;
    sock.OnDataArrived = [&](QObject*) { seenAtHook = std::string(sock.Buffered()); };
    ConnectTo(sock, server.Port());
    EXPECT_EQ(sock.ReadLn(), "421 closing\r\n");
    EXPECT_EQ(seenAtHook, "421 closing\r\n");
}

TEST(PowersockSteps, StepsWaitSideBySideAreForgottenWhenGivenUpAndGetTheirWaitBackAfterABlockingCall)
{
    std::vector<std::string> lines;
    const auto readLine = [&lines](TestSock& sock) -> TTask<void>
    { lines.push_back(co_await sock.ReadLnAsync()); };

    // Two steps wait at once, each on its own session; the one whose line comes first ends first.
    ScriptedServer slow;
    slow.AddScript(Script().Pause(150).Send("slow\r\n").Stall());
    ScriptedServer fast;
    fast.AddScript(Script().Pause(20).Send("fast\r\n").Stall());
    TestSock a;
    TestSock b;
    ConnectTo(a, slow.Port());
    ConnectTo(b, fast.Port());
    TTask<void> first = readLine(a);
    TTask<void> second = readLine(b);
    int ended = 0;
    first.Start([&] { ++ended; });
    second.Start([&] { ++ended; });
    EXPECT_TRUE(lines.empty()) << "a step that waits returns to its caller";
    ASSERT_TRUE(WaitUntil([&] { return ended == 2; }));
    EXPECT_EQ(lines, (std::vector<std::string>{"fast\r\n", "slow\r\n"}));

    // A step given up while it waits is forgotten: what comes later stays for the next reader.
    ScriptedServer later;
    later.AddScript(Script().Pause(80).Send("kept\r\n").Stall());
    TestSock c;
    ConnectTo(c, later.Port());
    {
        TTask<void> givenUp = readLine(c);
        givenUp.Start([] {});
    }
    ASSERT_TRUE(WaitUntil([&] { return c.Buffered() == "kept\r\n"; }));
    EXPECT_EQ(c.ReadLn(), "kept\r\n");
    EXPECT_EQ(lines.size(), 2u);

    // A blocking call made while a step waits on the same session (a goodbye sent on Stop)
    // hands the session's wait back to the step when it ends.
    ScriptedServer talker;
    talker.AddScript(Script().Expect("bye\r\n").Send("answer\r\n").Stall());
    TestSock d;
    ConnectTo(d, talker.Port());
    TTask<void> waiting = readLine(d);
    bool answered = false;
    waiting.Start([&] { answered = true; });
    QTimer::singleShot(20, &d, [&d] { d.SendBytes("bye\r\n"); });
    ASSERT_TRUE(WaitUntil([&] { return answered; }));
    EXPECT_EQ(lines.back(), "answer\r\n");
}
