#include "net/powersock.h"

#include <algorithm>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QHostInfo>
#include <QNetworkProxy>
#include <QSignalBlocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "net/httpparse.h"
#include "net/sockerrors.h"
#include "platform/task.h"
#include "net/tlssession.h"
#include "platform/eventguard.h"
#include "platform/pause.h"

namespace
{
int sessionCount = 0;

// Qt keeps at most this much unread data per socket; beyond it the peer is held back by TCP.
constexpr qint64 ReadBufferLimit = 1024 * 1024;

// How long a connect to one of a host's addresses may go unanswered before the next is tried:
// past the first retransmission of the opening segment.
constexpr int NextAddressMilliseconds = 3000;

// Under a speed limit the system would otherwise grow a connection's receive window as it sees fit,
// and the peer would fill it at full speed, past the limit. It is fixed at about a tenth of a
// second's worth (the system doubles what it is given, and keeps part for itself), no smaller than
// the window a connection starts with: what it can grow by stays small beside the limit.
void LimitReceiveWindow(QTcpSocket* socket, const TRateLimit* limit)
{
    const qintptr descriptor = socket ? socket->socketDescriptor() : -1;
    if (!limit || descriptor < 0)
        return;
    const int size =
        static_cast<int>(std::clamp<std::int64_t>(limit->BytesPerSecond() / 16, 64 * 1024, 4 << 20));
    setsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}
} // namespace

TThreadTimer::TThreadTimer(QObject* owner) : QObject(owner), timer(new QTimer(this))
{
    connect(timer, &QTimer::timeout, this,
            [this]
            {
                if (!onTimer)
                    return;
                const TNotifyEvent handler = onTimer;
                // The timer has no status of its own; a failing handler goes to Qt's message log.
                platform::Guarded([&] { handler(this); }, [](const std::string& message)
                                  { qWarning("TThreadTimer: OnTimer failed: %s", message.c_str()); });
            });
}

TThreadTimer::~TThreadTimer()
{
    enabled = false;
    timer->stop();
}

void TThreadTimer::SetEnabled(bool value)
{
    enabled = value;
    UpdateTimer();
}

void TThreadTimer::SetInterval(unsigned milliseconds)
{
    interval = milliseconds;
    UpdateTimer();
}

void TThreadTimer::SetOnTimer(TNotifyEvent handler)
{
    onTimer = std::move(handler);
    UpdateTimer();
}

void TThreadTimer::UpdateTimer()
{
    timer->stop();
    if (interval == 0 || !enabled || !onTimer)
        return;
    timer->start(static_cast<int>(std::min<unsigned>(interval, 0x7fffffff)));
    if (!timer->isActive())
        throw Exception("No Timer");
}

TPowersock::TPowersock(QObject* owner)
    : QObject(owner), timer(new TThreadTimer(this)), waitLimit(new QTimer(this)),
      chunk(new char[ChunkCapacity])
{
    ReportStatus(8, "Create");
    Proxy.clear();
    timer->SetEnabled(false);
    timer->SetOnTimer([this](QObject*) { Notified("Timer", [this] { TimerTriggered(); }); });
    waitLimit->setSingleShot(true);
    connect(waitLimit, &QTimer::timeout, this, [this] { Wake(); });
    rateReader.Wake = [this] { RateGranted(); };
    InitializeWinsock();
}

TPowersock::~TPowersock()
{
    destroying = true;
    ReportStatus(8, "Destroy");
    TPowersock::Abort();
    Cancel();
    RequestCloseSocket();
    // The transport goes first, so that nothing it signals while closing reaches a half-destroyed session.
    if (socket)
    {
        socket->disconnect(this);
        delete socket;
        socket = nullptr;
    }
    if (rateLimit)
        rateLimit->Forget(rateReader);
    delete timer;
    --sessionCount;
}

int TPowersock::SessionCount()
{
    return sessionCount;
}

void TPowersock::InitializeWinsock()
{
    ReportStatus(8, "Initializing Winsock");
    if (++sessionCount != 1)
        return;
    rlimit files{};
    const long long maxSockets =
        getrlimit(RLIMIT_NOFILE, &files) == 0 ? static_cast<long long>(files.rlim_cur) : 0;
    WinsockInfo = {
        "Version= 1.1",
        "High Version= 2.2",
        std::string("Description= Qt Network ") + qVersion(),
        "System= Running",
        "Max Sockets= " + std::to_string(maxSockets),
        "Max Udp pack size= 65507",
    };
}

void TPowersock::Notified(const char* name, const std::function<void()>& handler)
{
    platform::Guarded(handler, [this, name](const std::string& message)
                      { ReportStatus(16, std::string(name) + " failed: " + message); });
    Wake();
}

void TPowersock::ReportStatus(int level, std::string_view text)
{
    if (ReportLevel < level)
        return;
    StatusText = text;
    if (!destroying && OnStatus)
    {
        const std::string status = StatusText;
        OnStatus(this, status);
    }
}

TPowersock::TUntil::TUntil(TPowersock& session, std::function<bool()> done, const TWaitRule& rule)
    : session(session)
{
    waiter.done = std::move(done);
    waiter.rule = rule;
}

TPowersock::TUntil::~TUntil()
{
    if (session.waiting == &waiter)
    {
        session.waitLimit->stop();
        if (waiter.rule.timed)
            session.TimerOff();
        session.ResumeInterrupted(waiter);
    }
}

bool TPowersock::TUntil::await_ready()
{
    if (waiter.rule.timed)
        session.TimerOn();
    waiter.limit = platform::TimeOutMilliseconds(waiter.rule.limitMilliseconds);
    waiter.elapsed.start();
    return session.WaitEnds(waiter);
}

void TPowersock::TUntil::await_suspend(std::coroutine_handle<> step)
{
    waiter.step = step;
    waiter.interrupted = session.waiting;
    session.waiting = &waiter;
    if (waiter.limit > 0)
        session.waitLimit->start(waiter.limit);
    if (session.readingPaused)
        session.ResumeReading();
}

TPowersock::TWaitEnd TPowersock::TUntil::await_resume()
{
    if (waiter.rule.timed)
        session.TimerOff();
    if (waiter.end == TWaitEnd::Canceled && waiter.rule.abortMessage)
    {
        if (!waiter.rule.keepCancelFlag)
            session.CancelRequested = false;
        throw EAbortError(waiter.rule.abortMessage);
    }
    return waiter.end;
}

TPowersock::TUntil TPowersock::Until(std::function<bool()> done, const TWaitRule& rule)
{
    return TUntil(*this, std::move(done), rule);
}

bool TPowersock::WaitEnds(TWaiter& waiter)
{
    const TWaitRule& rule = waiter.rule;
    if (rule.timed && TimedOut)
        waiter.end = TWaitEnd::TimedOut;
    else if (!rule.ignoreCancel && CancelRequested)
        waiter.end = TWaitEnd::Canceled;
    else if (waiter.done())
        waiter.end = TWaitEnd::Done;
    else if (rule.endsWhenPeerGone && PeerGone())
        waiter.end = TWaitEnd::PeerGone;
    else if (waiter.limit > 0 && waiter.elapsed.elapsed() >= waiter.limit)
        waiter.end = TWaitEnd::LimitReached;
    else
        return false;
    return true;
}

void TPowersock::Wake()
{
    if (!waiting || wakePosted)
        return;
    // Most events (a chunk of a body) end no wait: those cost no more than the look.
    if (!WaitEnds(*waiting))
    {
        KeepWaiting();
        return;
    }
    wakePosted = true;
    // The step goes on from the event loop, never inside the handler that changed the state: it
    // may close the very socket whose signal is being handled.
    QMetaObject::invokeMethod(
        this, [this] { CheckWait(); }, Qt::QueuedConnection);
}

void TPowersock::KeepWaiting()
{
    // What the condition took from the receive buffer makes room for more.
    if (readingPaused)
        ResumeReading();
    if (waiting->limit > 0 && !waitLimit->isActive())
        waitLimit->start(static_cast<int>(std::max<qint64>(waiting->limit - waiting->elapsed.elapsed(), 1)));
}

void TPowersock::CheckWait()
{
    wakePosted = false;
    if (!waiting)
        return;
    if (!WaitEnds(*waiting))
    {
        KeepWaiting();
        return;
    }
    waitLimit->stop();
    TWaiter& ended = *waiting;
    ResumeInterrupted(ended);
    ended.step.resume();
}

void TPowersock::ResumeInterrupted(TWaiter& ended)
{
    waiting = std::exchange(ended.interrupted, nullptr);
    if (!waiting)
        return;
    if (waiting->limit > 0)
        waitLimit->start(static_cast<int>(std::max<qint64>(waiting->limit - waiting->elapsed.elapsed(), 1)));
    Wake();
}

QTcpSocket* TPowersock::CreateSocket()
{
    return new QTcpSocket();
}

void TPowersock::SessionEstablished()
{
    WatchClose();
    LimitReceiveWindow(socket, rateLimit.get());
    state = TConnectionState::Connected;
    if (OnConnect)
        OnConnect(this);
}

QTcpSocket& TPowersock::Socket()
{
    if (!socket)
        InstallSocket(CreateSocket());
    return *socket;
}

void TPowersock::InstallSocket(QTcpSocket* transport)
{
    transport->setParent(this);
    transport->setProxy(QNetworkProxy::NoProxy);
    transport->setReadBufferSize(ReadBufferSize());
    // A connection taken over from a listener is already up.
    LimitReceiveWindow(transport, rateLimit.get());
    // Signals of a socket that has since been replaced are ignored.
    auto handle = [this, transport](const char* name, auto handler)
    {
        return [this, transport, name, handler]
        {
            if (transport == socket)
                Notified(name, [&] { (this->*handler)(); });
        };
    };
    connect(transport, &QTcpSocket::connected, this, handle("Connect", &TPowersock::SessionEstablished));
    connect(transport, &QIODevice::readyRead, this, handle("ReadToStream", &TPowersock::ReadToStream));
    connect(transport, &QIODevice::bytesWritten, this,
            handle("WriteFromStream", &TPowersock::WriteFromStream));
    connect(transport, &QAbstractSocket::errorOccurred, this,
            handle("Socket error", &TPowersock::SocketError));
    connect(transport, &QAbstractSocket::disconnected, this,
            handle("Socket closed", &TPowersock::SocketClosed));
    socket = transport;
}

void TPowersock::CloseTransport()
{
    DropTls();
    if (socket)
    {
        const QSignalBlocker blocker(socket);
        socket->abort();
    }
    ReleaseCloseWitness();
    readingPaused = false;
    // What was held back belonged to the connection that is gone; its share goes to the others.
    if (rateLimit)
        rateLimit->Forget(rateReader);
    if (server)
    {
        server->close();
        server->deleteLater();
        server = nullptr;
    }
    // Unsent bytes belong to the connection that is gone.
    sendBuffer.clear();
    sendStart = 0;
}

void TPowersock::SocketError()
{
    const QAbstractSocket::SocketError error = socket->error();
    const int number = WinsockNumber(sockerrors::FromSocketError(error, socket->errorString()));
    LastError = number;
    if (state == TConnectionState::Connecting)
    {
        LastEventOk = false;
        return;
    }
    // An orderly close by the peer; the disconnected signal follows.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    LastEventOk = false;
    if (OnError)
        OnError(this, number, ErrorText(number));
    if (IsConnected() && socket->state() == QAbstractSocket::UnconnectedState)
        SocketClosed();
}

void TPowersock::SocketClosed()
{
    // Qt may report one close twice (an error, then the disconnect); the first one counts.
    if (!IsConnected())
        return;
    const int closesBefore = closeCount;
    // What the peer sent before closing is still read into the buffer (or the capture file).
    bool any = false;
    while (!CancelRequested && socket && socket->bytesAvailable() > 0 && closeCount == closesBefore)
    {
        const qint64 n = socket->read(chunk.get(), ChunkSize);
        if (n <= 0)
            break;
        any = true;
        AppendReceived(chunk.get(), n);
    }
    if (any && OnDataArrived && closeCount == closesBefore)
        OnDataArrived(this);
    if (closeCount != closesBefore)
        return;
    state = EndedByReset() ? TConnectionState::ClosedByReset : TConnectionState::Unconnected;
    RequestCloseSocket();
}

qint64 TPowersock::ReadBufferSize() const
{
    if (!rateLimit)
        return ReadBufferLimit;
    return std::clamp<qint64>(rateLimit->BytesPerSecond() / 8, 16 * 1024, ReadBufferLimit);
}

void TPowersock::SetRateLimit(std::shared_ptr<TRateLimit> limit)
{
    if (limit == rateLimit)
        return;
    const bool held = HeldByRateLimit();
    if (rateLimit)
        rateLimit->Forget(rateReader);
    rateLimit = std::move(limit);
    if (socket)
        socket->setReadBufferSize(ReadBufferSize());
    LimitReceiveWindow(socket, rateLimit.get());
    // Reading held back by the old limit goes on under the new one.
    if (held)
        RateGranted();
}

TTlsSession* TPowersock::RunTlsDirectly()
{
    DropTls();
    const qintptr own = socket ? socket->socketDescriptor() : -1;
    const int descriptor = own >= 0 ? fcntl(static_cast<int>(own), F_DUPFD_CLOEXEC, 0) : -1;
    if (descriptor < 0)
        return nullptr;
    // Qt closes only its own descriptor: the connection stays open on ours. Nothing it may have
    // read is lost, as the server says nothing before the client's hello.
    {
        const QSignalBlocker blocker(socket);
        socket->abort();
    }
    ReleaseCloseWitness();
    tls = new TTlsSession(descriptor, this);
    tls->OnReadable = [this] { Notified("ReadToStream", [this] { ReadToStream(); }); };
    tls->OnWritable = [this] { Notified("WriteFromStream", [this] { WriteFromStream(); }); };
    tls->OnHandshakeStep = [this] { Wake(); };
    return tls;
}

void TPowersock::DropTls()
{
    if (!tls)
        return;
    // The session may be the one whose handler runs now: it is closed at once, deleted later.
    tls->OnReadable = nullptr;
    tls->OnWritable = nullptr;
    tls->OnHandshakeStep = nullptr;
    tls->Close();
    tls->deleteLater();
    tls = nullptr;
}

void TPowersock::TlsEnded()
{
    if (!tls || !IsConnected())
        return;
    const TTlsSession::TEnd end = tls->End();
    tlsEndReason = end == TTlsSession::TEnd::Failed ? tls->EndReason()
                   : end == TTlsSession::TEnd::Cut  ? "the TLS connection closed without close_notify"
                                                    : "";
    if (end == TTlsSession::TEnd::Failed)
    {
        const int closesBefore = closeCount;
        LastError = WinsockNumber(TWinsockError::ConnectionReset);
        LastEventOk = false;
        if (OnError)
            OnError(this, LastError, ErrorText(LastError));
        if (closeCount != closesBefore)
            return;
    }
    state = end == TTlsSession::TEnd::Failed ? TConnectionState::ClosedByReset
            : end == TTlsSession::TEnd::Cut  ? TConnectionState::CutShort
                                             : TConnectionState::Unconnected;
    RequestCloseSocket();
}

void TPowersock::WatchClose()
{
    ReleaseCloseWitness();
    if (socket && socket->socketDescriptor() >= 0)
        closeWitness = fcntl(static_cast<int>(socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
}

void TPowersock::ReleaseCloseWitness()
{
    if (closeWitness >= 0)
        ::close(closeWitness);
    closeWitness = -1;
}

bool TPowersock::EndedByReset() const
{
    const QAbstractSocket::SocketError error = socket ? socket->error() : QAbstractSocket::UnknownSocketError;
    if (error != QAbstractSocket::RemoteHostClosedError && error != QAbstractSocket::UnknownSocketError)
        return true;
    if (closeWitness < 0)
        return false;
    int pending = 0;
    socklen_t length = sizeof pending;
    if (getsockopt(closeWitness, SOL_SOCKET, SO_ERROR, &pending, &length) == 0 && pending != 0)
        return true;
    // The peer's FIN leaves the connection waiting for our close; a reset closes it at once.
    tcp_info info{};
    length = sizeof info;
    return getsockopt(closeWitness, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 &&
           info.tcpi_state == TCP_CLOSE;
}

TTask<void> TPowersock::ConnectAsync()
{
    ReportStatus(8, "Connecting");
    CancelRequested = false;
    tlsEndReason.clear();
    if (IsConnected())
        throw ESockError(TSockReason::AlreadyConnected, "Already connected");

    bool askedHandler = false;
    for (;;)
    {
        try
        {
            co_await ResolveHostAsync();
        }
        catch (const ESockError& error)
        {
            if (error.Reason() == TSockReason::LookupTimedOut ||
                error.Reason() == TSockReason::LookupCanceled)
                throw;
        }
        if (!resolved.isNull())
        {
            AddressFound();
            break;
        }
        if (!askedHandler && OnInvalidHost)
        {
            askedHandler = true;
            bool handled = false;
            OnInvalidHost(handled);
            if (handled)
                continue;
        }
        throw ESockError(TSockReason::NullRemoteAddress,
                         "Null Remote Address: no address found for " +
                             std::string(httpparse::HostWithoutBrackets(Proxy.empty() ? Host : Proxy)));
    }

    const int port = Proxy.empty() ? Port : ProxyPort;
    if (port < 0 || port > 65535)
        FailedCall(TWinsockError::AddressNotAvailable);
    RemoteAddress.Port = static_cast<std::uint16_t>(port);
    // A name with several addresses is connected over whichever answers: each is tried in
    // turn, and one that neither connects nor fails within a short while gives way to the next.
    const std::vector<QHostAddress> addresses = resolvedAll.empty() ? std::vector{resolved} : resolvedAll;
    TWaitEnd end = TWaitEnd::Done;
    for (std::size_t i = 0; i < addresses.size(); ++i)
    {
        const bool last = i + 1 == addresses.size();
        resolved = addresses[i];
        RemoteAddress.Family = resolved.protocol() == QAbstractSocket::IPv6Protocol ? 23 : 2;
        RemoteAddress.Address =
            resolved.protocol() == QAbstractSocket::IPv4Protocol ? resolved.toIPv4Address() : 0;
        LastEventOk = true;
        // Nothing received on an earlier connection belongs to this one.
        ClearReceiveBuffer();
        QTcpSocket& transport = Socket();
        if (transport.state() != QAbstractSocket::UnconnectedState)
            CloseTransport();

        DropTls();
        state = TConnectionState::Connecting;
        transport.connectToHost(resolved, static_cast<quint16>(port));
        end = co_await Until([this] { return IsConnected() || !LastEventOk; },
                             {.timed = true, .limitMilliseconds = last ? 0 : NextAddressMilliseconds});
        if (end == TWaitEnd::Done && LastEventOk)
            co_return;
        state = TConnectionState::Unconnected;
        CloseTransport();
        if (end == TWaitEnd::TimedOut || end == TWaitEnd::Canceled)
            break;
    }

    // A failed connect leaves the session unconnected; a late completion cannot revive it.
    if (OnConnectionFailed)
        OnConnectionFailed(this);
    if (end == TWaitEnd::TimedOut)
        throw ESockError(TSockReason::ConnectionTimedOut, "Connection Timed out");
    if (end == TWaitEnd::Canceled)
        throw ESockError(TSockReason::ConnectionCanceled, "Connection Canceled");
    // What happened, in words: which server, and how it turned the connection down.
    const std::string place = (Proxy.empty() ? Host : Proxy) + ":" + std::to_string(port);
    const int refusal = LastError;
    const std::string how = refusal == WinsockNumber(TWinsockError::ConnectionRefused)
                                ? "refused the connection"
                            : refusal != 0 ? "cannot be reached (" + ErrorText(refusal) + ")"
                                           : "cannot be reached";
    throw ESockError(TSockReason::ConnectionFailed, "Connection Failed: " + place + " " + how);
}

void TPowersock::Connect()
{
    RunToEnd(ConnectAsync());
}

TTask<void> TPowersock::ResolveHostAsync()
{
    ReportStatus(8, "Resolve Host");
    // An IPv6 literal comes as an address writes it, in brackets.
    const std::string name(httpparse::HostWithoutBrackets(Proxy.empty() ? Host : Proxy));
    resolved.clear();
    resolvedAll.clear();
    RemoteAddress.Address = 0;
    QHostAddress literal;
    if (literal.setAddress(QString::fromStdString(name)) &&
        (literal.protocol() == QAbstractSocket::IPv4Protocol ||
         literal.protocol() == QAbstractSocket::IPv6Protocol))
    {
        resolved = literal;
        RemoteAddress.Address =
            literal.protocol() == QAbstractSocket::IPv4Protocol ? literal.toIPv4Address() : 0;
        co_return;
    }

    state = TConnectionState::Resolving;
    lookupId = -1;
    lookupId = QHostInfo::lookupHost(QString::fromStdString(name), this, SLOT(HostLookedUp(QHostInfo)));
    const TWaitEnd end =
        co_await Until([this] { return state != TConnectionState::Resolving; }, {.timed = true});
    AbandonLookup();
    lookupId = -1;
    if (end == TWaitEnd::TimedOut)
        throw ESockError(TSockReason::LookupTimedOut, "Host Lookup Timed Out");
    if (end == TWaitEnd::Canceled)
        throw ESockError(TSockReason::LookupCanceled, "Host Lookup Canceled");
    if (LastEventOk && !resolved.isNull())
    {
        if (OnHostResolved)
            OnHostResolved(this);
        co_return;
    }
    resolved.clear();
    resolvedAll.clear();
    throw ESockError(TSockReason::LookupFailed, "Host Lookup Failed");
}

void TPowersock::ResolveHost()
{
    RunToEnd(ResolveHostAsync());
}

void TPowersock::HostLookedUp(const QHostInfo& info)
{
    Notified("Host lookup", [&] { LookupFinished(info); });
}

void TPowersock::AbandonLookup()
{
    if (state != TConnectionState::Resolving)
        return;
    QHostInfo::abortHostLookup(lookupId);
    resolved.clear();
    resolvedAll.clear();
    state = TConnectionState::Unconnected;
}

void TPowersock::LookupFinished(const QHostInfo& info)
{
    if (state != TConnectionState::Resolving || (lookupId >= 0 && info.lookupId() != lookupId))
        return;
    LastEventOk = info.error() == QHostInfo::NoError && !info.addresses().isEmpty();
    if (LastEventOk)
    {
        // IPv4 addresses first, as before IPv6 was known here, each family in the resolver's
        // order; Connect goes on to the next when one does not answer.
        resolvedAll.clear();
        for (const bool v4 : {true, false})
            for (const QHostAddress& address : info.addresses())
                if ((address.protocol() == QAbstractSocket::IPv4Protocol) == v4)
                    resolvedAll.push_back(address);
        resolved = resolvedAll.front();
        RemoteAddress.Address =
            resolved.protocol() == QAbstractSocket::IPv4Protocol ? resolved.toIPv4Address() : 0;
    }
    else
        LastError = WinsockNumber(sockerrors::FromLookupError(info.error()));
    state = TConnectionState::Resolved;
}

void TPowersock::Disconnect()
{
    ReportStatus(8, "Disconnecting");
    RequestCloseSocket();
}

void TPowersock::Abort()
{
    Cancel();
}

void TPowersock::Cancel()
{
    ReportStatus(8, "Canceling");
    CancelRequested = true;
    Wake();
}

void TPowersock::CheckConnected()
{
    bool asked = false;
    while (!IsConnected())
    {
        if (asked || !OnConnectionRequired)
            throw Exception("Not Connected");
        asked = true;
        bool handled = false;
        OnConnectionRequired(handled);
        if (!handled)
            throw Exception("Not Connected");
    }
}

void TPowersock::RequestCloseSocket()
{
    ReportStatus(4, "Request Close Socket");
    // A lookup or connect under way is left to its own wait; a reset stays known.
    if (IsConnected())
        state = TConnectionState::Unconnected;
    ++closeCount;
    CloseTransport();
    if (!destroying && OnDisconnect)
        OnDisconnect(this);
}

std::string TPowersock::ErrorManager(int toleratedError)
{
    ReportStatus(16, "Checking Error In Error Manager");
    LastError = WinsockNumber(lastCallError);
    if (LastError == toleratedError)
        return std::string();
    const std::string message = ErrorText(LastError);
    if (OnError)
        OnError(this, LastError, message);
    throw ESockError(lastCallError, message);
}

std::string TPowersock::ErrorText(int errorNumber)
{
    ReportStatus(8, "Looking Up Error Message");
    const std::string_view text = WinsockText(errorNumber);
    if (!text.empty())
        return std::to_string(errorNumber) + ":" + std::string(text);
    if (errorNumber != 0)
        return "Unknown Error No. " + std::to_string(errorNumber);
    return std::string();
}

void TPowersock::FailedCall(TWinsockError error)
{
    lastCallError = error;
    ErrorManager(WinsockNumber(TWinsockError::WouldBlock));
}

void TPowersock::RaiseConnectionReset()
{
    LastError = WinsockNumber(TWinsockError::ConnectionReset);
    // Over TLS the reset may be OpenSSL's verdict on what came (a broken record, an alert).
    throw ESockError(TWinsockError::ConnectionReset,
                     ErrorText(LastError) + (tlsEndReason.empty() ? "" : " (" + tlsEndReason + ")"));
}

void TPowersock::RaiseCutShort(std::int64_t received)
{
    throw Exception("Transfer incomplete: the TLS connection closed without close_notify after " +
                    std::to_string(received) + " bytes");
}

void TPowersock::TimerOn()
{
    ReportStatus(8, "Timer On");
    TimedOut = false;
    timer->SetInterval(TimeOut > 0 ? static_cast<unsigned>(TimeOut) : 0);
    timer->SetEnabled(true);
}

void TPowersock::TimerOff()
{
    ReportStatus(8, "Timer Off");
    timer->SetEnabled(false);
}

void TPowersock::TimerTriggered()
{
    ReportStatus(8, "Timer Triggered");
    TimerOff();
    TimedOut = true;
    Abort();
}
