#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QHostAddress>
#include <QObject>

class QTcpServer;
class QTcpSocket;

// A peer on 127.0.0.1 that plays a script on every connection it accepts and records the
// bytes the client sent, so a test can check them byte for byte. It runs on the test's thread:
// its steps advance while the client under test waits in the event loop.
class ScriptedServer : public QObject
{
    Q_OBJECT

  public:
    struct Connection
    {
        QTcpSocket* socket = nullptr;
        std::size_t index = 0;      // connections count from 0 in the order they came
        std::string received;       // every byte the client sent
        std::size_t expectFrom = 0; // where the next expectation starts looking
        std::size_t step = 0;       // next step of the script
        bool finished = false;      // the script has closed or reset the connection
        bool peerClosed = false;    // the client closed its end
        bool running = false;
        std::size_t flooded = 0; // bytes a Flood step has queued so far
        bool flooding = false;
    };

    using Action = std::function<void(Connection&)>;

    class Script
    {
      public:
        // Waits until the bytes received since the last expectation contain marker.
        Script& Expect(std::string marker);
        Script& ExpectLine() { return Expect("\n"); }
        Script& ExpectHeader() { return Expect("\r\n\r\n"); }
        // Waits until at least count bytes have come since the last expectation.
        Script& ExpectBytes(std::size_t count);
        Script& Send(std::string bytes);
        Script& Pause(int milliseconds);
        // Keeps the connection open and does nothing more.
        Script& Stall();
        // Sends unit again and again until total bytes have gone, at the pace the client reads:
        // a peer that talks without end.
        Script& Flood(std::string unit, std::size_t total);
        // Closes after everything sent has gone out.
        Script& Close();
        // Drops the connection at once with a reset (SO_LINGER 0), whatever was still unsent.
        Script& Reset();
        // Anything else, for protocols that need more (a data connection, a computed reply).
        Script& Call(Action action);
        // From here on the connection is a tunnel to port on 127.0.0.1, as a proxy opens for
        // CONNECT: bytes pass both ways unrecorded, and either side's close closes the other.
        Script& Tunnel(quint16 port);

      private:
        friend class ScriptedServer;
        struct Step;
        Script& Add(int kind, std::string bytes = {}, std::size_t count = 0, Action action = {});
        struct Step
        {
            enum Kind
            {
                ExpectMarker,
                ExpectCount,
                SendBytes,
                FloodBytes,
                PauseFor,
                StallHere,
                CloseGracefully,
                ResetNow,
                CallAction
            } kind;
            std::string bytes;
            std::size_t count = 0;
            Action action;
        };
        std::vector<Step> steps;
    };

    explicit ScriptedServer(QObject* parent = nullptr);
    // A server on another address of this machine (at port, or at a free one for 0); one that
    // cannot listen there (::1 without IPv6 on the loopback) is not Listening.
    explicit ScriptedServer(const QHostAddress& address, quint16 port = 0, QObject* parent = nullptr);
    ~ScriptedServer() override;

    bool Listening() const;

    // Scripts are played on connections in the order they arrive; the last one serves every
    // later connection. Without a script a connection is only recorded.
    void AddScript(Script script);

    quint16 Port() const;
    // The address as an address writes it: "127.0.0.1", "[::1]".
    std::string Address() const;
    // http://ADDRESS:PORT followed by path.
    std::string Url(const std::string& path = "/") const;

    int ConnectionCount() const { return static_cast<int>(connections.size()); }
    // Bytes the client sent on a connection; empty for a connection that never came.
    std::string Received(int connection = 0) const;
    bool Finished(int connection = 0) const;
    bool PeerClosed(int connection = 0) const;

  private:
    void Accept();
    void Run(Connection& connection);
    const Script* ScriptFor(std::size_t index) const;

    QTcpServer* server;
    std::vector<Script> scripts;
    std::vector<std::unique_ptr<Connection>> connections;
};

// Lets the event loop run until condition holds or timeoutMs pass; returns the condition.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);
