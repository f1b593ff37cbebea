#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>

#include "net/bodydecoder.h"
#include "net/ratelimit.h"
#include "net/receivebuffer.h"
#include "net/sockexception.h"
#ifndef Q_MOC_RUN
#include "platform/task.h"
#endif
#include "net/winsockerror.h"

class QFile;
class QHostInfo;
class QTcpServer;
class QTcpSocket;
class QTimer;
class TCaptureSink;
class TStreamDigest;
class TTlsSession;

// A repeating timer on the one thread; it runs while it is enabled, has an interval and a handler.
class TThreadTimer : public QObject
{
    Q_OBJECT

  public:
    using TNotifyEvent = std::function<void(QObject* sender)>;

    explicit TThreadTimer(QObject* owner = nullptr);
    ~TThreadTimer() override;

    bool Enabled() const { return enabled; }
    void SetEnabled(bool value);
    void SetInterval(unsigned milliseconds);
    const TNotifyEvent& OnTimer() const { return onTimer; }
    void SetOnTimer(TNotifyEvent handler);

  private:
    void UpdateTimer();

    bool enabled = true;
    unsigned interval = 1000;
    TNotifyEvent onTimer;
    QTimer* timer;
};

// What ends a wait of TPowersock besides its condition, and what a cancel does to it.
struct TWaitRule
{
    // A cancel raises EAbortError with this message and clears the cancel flag, unless
    // keepCancelFlag; without a message the wait returns and the caller raises its own error.
    const char* abortMessage = nullptr;
    bool keepCancelFlag = false;
    // A cancel does not end the wait.
    bool ignoreCancel = false;
    // The session's TimeOut runs around the wait.
    bool timed = false;
    // A peer that has closed, with nothing left to read, ends the wait.
    bool endsWhenPeerGone = false;
    // A limit of the wait's own, in milliseconds before the time-out scale; 0 is none.
    int limitMilliseconds = 0;
};

// A socket address: the port, and for IPv4 (family 2) the address in host byte order; an IPv6
// peer (family 23) has Address 0 and is told by PeerAddress.
struct TSockAddrIn
{
    int Family = 2;
    std::uint16_t Port = 0;
    std::uint32_t Address = 0;
};

// One TCP connection at a time. Its operations are steps that wait for the connection's events
// (Qt's socket signals, the timer, the lookup) without holding the stack, so buttons, timers and
// other sessions go on meanwhile; each has a blocking form that drives it to its end.
class TPowersock : public QObject
{
    Q_OBJECT

  public:
    using TNotifyEvent = std::function<void(QObject* sender)>;
    using THandlerEvent = std::function<void(bool& handled)>;
    using TOnStatus = std::function<void(QObject* sender, const std::string& status)>;
    using TOnErrorEvent = std::function<void(QObject* sender, int errorNumber, const std::string& message)>;

    // Longest line ReadLn accepts; a peer that never sends a line feed cannot fill the memory.
    static constexpr std::size_t MaxLineLength = 64 * 1024;
    // Bytes read or sent per notification.
    static constexpr qint64 ChunkSize = 16383;
    // Write and Writeln send at most this many characters.
    static constexpr std::size_t TextBufferSize = 16384;
    // Reading from the socket pauses while this much is received and not taken, so a peer that
    // sends faster than it is read waits in TCP instead of filling the memory.
    static constexpr std::size_t ReceiveBufferLimit = 1024 * 1024;

    explicit TPowersock(QObject* owner = nullptr);
    ~TPowersock() override;

    // Properties.
    std::string Host;
    int Port = 0;
    int TimeOut = 0; // milliseconds for lookup and connect; 0 waits without limit
    int ReportLevel = 0;
    std::string Proxy;
    int ProxyPort = 0;

    // Events.
    TNotifyEvent OnConnect;
    TNotifyEvent OnDisconnect;
    THandlerEvent OnInvalidHost;
    TNotifyEvent OnHostResolved;
    TOnStatus OnStatus;
    TNotifyEvent OnConnectionFailed;
    TNotifyEvent OnPacketRecvd;
    TNotifyEvent OnPacketSent;
    TOnErrorEvent OnError;
    THandlerEvent OnConnectionRequired;

    // Public state.
    std::string StatusText;
    std::int16_t ReplyCode = 0;
    std::string LastReply;
    int LastError = 0;
    bool CancelRequested = false;
    bool TimedOut = false;
    std::int64_t ReceivedCount = 0;
    std::int64_t ExpectedCount = 0;
    std::int64_t SentCount = 0;
    // When set, the bytes CaptureFile writes are also summed by it (for FTP: those of the data
    // connection).
    TStreamDigest* Digest = nullptr;
    std::vector<std::string> WinsockInfo;
    TSockAddrIn RemoteAddress;
    // When not null, a socket opened by Listen keeps only connections from this address and
    // closes any other, so no other process can slip its bytes into a data connection. Set it
    // before Listen.
    QHostAddress AcceptFrom;
    // The address Listen binds; null binds every IPv4 address.
    QHostAddress ListenAddress;

    // A connection is up, or one has come in on the listening socket and waits for Accept.
    bool IsConnected() const
    {
        return state == TConnectionState::Connected || state == TConnectionState::Accepted;
    }

    virtual QTcpSocket* Accept();
    TTask<QTcpSocket*> AcceptAsync();
    virtual void Connect();
    // The steps of a transfer that wait for the network, for a caller that is itself a step;
    // Connect, ResolveHost, SendBytes, ReadLn, SendFile, CaptureFile and CaptureString drive
    // them to their end for a blocking caller.
    virtual TTask<void> ConnectAsync();
    TTask<void> ResolveHostAsync();
    TTask<std::string> ReadLnAsync();
    TTask<void> SendFileAsync(const std::string& fileName);
    TTask<void> CaptureFileAsync(const std::string& fileName, std::int64_t appendAt = -1);
    TTask<void> CaptureStringAsync(std::string& text, std::int32_t count);
    virtual void Disconnect();
    virtual std::string Transaction(const std::string& command);
    // The command's line out and the first line of its reply in, as a step of a transfer.
    virtual TTask<std::string> TransactionAsync(const std::string& command);
    TTask<void> WriteAsync(std::string text);
    virtual void Abort();

    void Cancel();
    void CheckConnected();
    void RequestCloseSocket();
    void ResolveHost();
    std::string ErrorManager(int toleratedError);
    std::string ErrorText(int errorNumber);
    void ReportStatus(int level, std::string_view text);
    void TimerOn();
    void TimerOff();
    void TimerTriggered();

    // Data transfer.
    void SendBuffer(const char* bytes, std::uint16_t length);
    void Write(const std::string& text);
    void Writeln(const std::string& text);
    std::string Read(std::uint16_t count);
    TTask<std::string> ReadAsync(std::uint16_t count);
    std::string ReadLn();
    void SendFile(const std::string& fileName);
    // Writes what the connection brings into the file until it ends: from the start of an
    // emptied file, or after the file's first appendAt bytes (a transfer that goes on).
    void CaptureFile(const std::string& fileName, std::int64_t appendAt = -1);
    void CaptureString(std::string& text, std::int32_t count);
    void Listen(bool notifyAsLookup);
    std::string LocalAddressText();
    std::string LocalPortText();
    quint16 LocalPort() const;
    // The two ends of the connection; null when there is none.
    QHostAddress PeerAddress() const;
    QHostAddress LocalAddress() const;

    // Makes a connection returned by Accept the session's socket; the listener is closed.
    void AdoptSocket(QTcpSocket* accepted);

    // The speed limit this session reads under, shared with the other sessions of a run; null
    // reads as fast as the peer sends. Sending is never limited.
    void SetRateLimit(std::shared_ptr<TRateLimit> limit);
    const std::shared_ptr<TRateLimit>& RateLimit() const { return rateLimit; }
    // Bytes wait for this session, and only the speed limit keeps it from reading them.
    bool HeldByRateLimit() const { return rateLimit && rateLimit->Holding(rateReader); }

    // Sessions alive in this process.
    static int SessionCount();

  protected:
    // The host's addresses are known and connecting begins.
    virtual void AddressFound() {}
    // Hooks for derived clients: after every read, and when a connection comes in.
    TNotifyEvent OnDataArrived;
    TNotifyEvent OnAccept;

    // How the body of the next capture is framed. A client sets it before a capture; it holds
    // for that capture only.
    TBodyFraming bodyFraming;

    bool LastEventOk = false;

    enum class TWaitEnd
    {
        Done,
        Canceled,
        TimedOut,
        PeerGone,
        LimitReached
    };
    // A wait of the session under way: what ends it, and how it ended.
    struct TWaiter
    {
        std::function<bool()> done;
        TWaitRule rule;
        int limit = 0;
        QElapsedTimer elapsed;
        std::coroutine_handle<> step;
        TWaitEnd end = TWaitEnd::Done;
        // The wait this one interrupted: a blocking call made while a step waited on the same
        // session (a goodbye sent on Stop). It is looked at again once this one has ended.
        TWaiter* interrupted = nullptr;
    };
    // Awaited by a step of a transfer: the step goes on once the wait has ended.
    class TUntil
    {
      public:
        TUntil(TPowersock& session, std::function<bool()> done, const TWaitRule& rule);
        TUntil(const TUntil&) = delete;
        TUntil& operator=(const TUntil&) = delete;
        // A step given up while it waits is forgotten by the session.
        ~TUntil();
        bool await_ready();
        void await_suspend(std::coroutine_handle<> step);
        TWaitEnd await_resume();

      private:
        TPowersock& session;
        TWaiter waiter;
    };
    // The one wait of the session: it ends once done() holds or the rule ends it, checked
    // whenever an event of the session (socket, timer, lookup, cancel) has been handled. A
    // time-out or cancel wins over a condition met at the same time.
    TUntil Until(std::function<bool()> done, const TWaitRule& rule = {});
    // The session's state has changed: a wait under way looks again, from the event loop.
    void Wake();

    // The session's transport: a plain TCP socket.
    QTcpSocket* CreateSocket();
    void SessionEstablished();
    // From here on TLS runs straight on the connection's descriptor: Qt's socket lets go of it,
    // and every byte read or sent goes through the session returned, whose handshake the caller
    // starts and waits for. nullptr when there is no descriptor to take over.
    TTlsSession* RunTlsDirectly();

    // Queues all of bytes and waits until they are sent, without the limits of SendBuffer.
    void SendBytes(std::string_view bytes);
    TTask<void> SendBytesAsync(std::string_view bytes);
    // The received bytes not yet taken.
    std::string_view Buffered() const;
    void ClearReceiveBuffer();
    // The memory the received bytes hold, the taken front not yet dropped included.
    std::size_t ReceiveFootprint() const { return received.Footprint(); }
    // A host lookup under way is given up; its wait ends as if the lookup had found nothing.
    void AbandonLookup();

    // Notification handlers.
    void ReadToStream();
    void WriteFromStream();

  private:
    // Where the connection stands; one of these at a time.
    enum class TConnectionState
    {
        Unconnected,
        // A host lookup is under way; Resolved once it has answered, found or not.
        Resolving,
        Resolved,
        Connecting,
        Connected,
        // Listen waits for a connection to come in; Accepted once one has.
        Listening,
        Accepted,
        // The connection ended without the peer's orderly close: what it carried is incomplete.
        // Stays so until the session looks up, connects or takes over a connection again.
        ClosedByReset,
        // A TLS connection that closed without the peer's close_notify: a body that ends with
        // the connection may be cut short. Stays so like ClosedByReset.
        CutShort
    };

    // Runs a notification handler at the edge of the event loop: what it raises is reported as a
    // status of the error level, and never reaches Qt.
    void Notified(const char* name, const std::function<void()>& handler);
    QTcpSocket& Socket();
    void InstallSocket(QTcpSocket* transport);
    void CloseTransport();
    void InitializeWinsock();
    void PostReadMore();
    void PostWriteMore();
    void SocketError();
    void SocketClosed();
    void IncomingConnection();
    void LookupFinished(const QHostInfo& info);
    // The answer of a lookup, delivered by name: a lookup with a functor leaks the functor's
    // slot object when the lookup is aborted.
    Q_SLOT void HostLookedUp(const QHostInfo& info);
    void AppendReceived(const char* bytes, qint64 count);
    // Reading goes on once the receive buffer has room again.
    void ResumeReading();
    // The speed limit has budget for this session again.
    void RateGranted();
    // What Qt may hold unread for the session: little under a speed limit, so that what is read
    // in one go when the peer closes stays small beside the limit.
    qint64 ReadBufferSize() const;
    std::size_t ReceiveLimit() const;
    // Keeps a second descriptor of the connection, so that its TCP state can still be asked
    // once Qt has closed its own; ReleaseCloseWitness closes it.
    void WatchClose();
    void ReleaseCloseWitness();
    // Whether the connection ended by a reset or an error rather than the peer's orderly close;
    // Qt reports both as RemoteHostClosedError.
    bool EndedByReset() const;
    bool PeerGone() const;
    bool SendFinished() const;
    // A socket call that failed: through ErrorManager, which tolerates only "would block".
    void FailedCall(TWinsockError error);
    // The peer closed before what was asked for came.
    [[noreturn]] void RaiseConnectionReset();
    // A body that ends with the connection was cut off with it; received bytes had come.
    [[noreturn]] void RaiseCutShort(std::int64_t received);
    void ReadTlsRecords(int closesBefore, const std::function<bool()>& room, qint64 allowed);
    // Whether the rule or the condition ends the waiter now; its end is set when it does.
    bool WaitEnds(TWaiter& waiter);
    // The wait under way is looked at: a step whose wait has ended goes on.
    void CheckWait();
    // The wait under way goes on: reading resumes if the condition made room, its limit runs.
    void KeepWaiting();
    // The wait that ended gives the session back to the one it interrupted, if any.
    void ResumeInterrupted(TWaiter& ended);
    // The direct TLS session has ended, as the peer ended it.
    void TlsEnded();
    void DropTls();

    QTcpSocket* socket = nullptr;
    QTcpServer* server = nullptr;
    TThreadTimer* timer;
    // The wait a step is suspended in, the timer that ends it at its limit, and whether a look at
    // it is already posted.
    TWaiter* waiting = nullptr;
    QTimer* waitLimit;
    bool wakePosted = false;
    QHostAddress resolved;
    // Every address the last lookup found, tried in turn by Connect.
    std::vector<QHostAddress> resolvedAll;
    TConnectionState state = TConnectionState::Unconnected;
    int lookupId = -1;
    bool notifyAcceptAsLookup = false;
    // The last failed call, for ErrorManager.
    TWinsockError lastCallError = TWinsockError::NoError;
    // Counts closes, so a handler that closes the socket is noticed by the code that called it.
    int closeCount = 0;

    TReceiveBuffer received;
    QByteArray sendBuffer;
    qsizetype sendStart = 0;
    // Where received bytes go during CaptureFile instead of the receive buffer.
    TCaptureSink* capture = nullptr;
    QFile* sendFile = nullptr;
    std::string sendFileError;

    bool sendDone = false;
    bool counting = false;
    bool busyReading = false;
    bool busyWriting = false;
    bool readMorePosted = false;
    bool writeMorePosted = false;
    bool destroying = false;
    // Reading waits for room in the receive buffer.
    bool readingPaused = false;
    int closeWitness = -1;
    // Bytes read at a time: a TLS record at most, and ChunkSize from Qt's socket.
    static constexpr qint64 ChunkCapacity = 16 * 1024;
    std::unique_ptr<char[]> chunk;
    // Set while TLS runs straight on the connection (RunTlsDirectly).
    TTlsSession* tls = nullptr;
    // How the last TLS session ended, when not by the peer's close_notify.
    std::string tlsEndReason;
    std::shared_ptr<TRateLimit> rateLimit;
    TRateLimit::TReader rateReader;
};
