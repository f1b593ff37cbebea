// The data transfer operations of TPowersock: sending, receiving, capturing and accepting.
#include "net/powersock.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <utility>

#include <QFile>
#include <QMetaObject>
#include <QNetworkProxy>
#include <QSignalBlocker>
#include <QTcpServer>
#include <QTcpSocket>

#include "net/capturesink.h"
#include "net/sockerrors.h"
#include "platform/task.h"
#include "net/tlssession.h"
#include "platform/bytetext.h"
#include "platform/filewrite.h"

namespace
{
// Qt takes the next chunk only while less than this is still waiting to go out.
constexpr qint64 WriteBufferLimit = 256 * 1024;

// At most this much is read in one notification before other events get their turn.
constexpr qint64 MaxReadPerNotification = 1024 * 1024;

constexpr const char* SendAborted = "Socket send aborted";

// Sending ends when the bytes are out, or with an error when the peer has gone.
constexpr TWaitRule SendWait{.abortMessage = SendAborted, .endsWhenPeerGone = true};

// Runs the cleanup when the scope ends, whether by return or by exception.
template <typename Cleanup> class TFinally
{
  public:
    explicit TFinally(Cleanup cleanup) : cleanup(std::move(cleanup)) {}
    ~TFinally() { cleanup(); }
    TFinally(const TFinally&) = delete;
    TFinally& operator=(const TFinally&) = delete;

  private:
    Cleanup cleanup;
};

// A listening socket that keeps only connections from the expected peer. The address is checked
// on arrival, while it is still known: a peer that has already closed no longer has one.
class TListener : public QTcpServer
{
  public:
    TListener(QObject* parent, QHostAddress acceptFrom)
        : QTcpServer(parent), acceptFrom(std::move(acceptFrom))
    {
    }

  protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* connection = new QTcpSocket(this);
        connection->setSocketDescriptor(descriptor);
        // An IPv4 peer of a socket that takes both families shows as ::ffff:a.b.c.d.
        if (!acceptFrom.isNull() &&
            !connection->peerAddress().isEqual(acceptFrom, QHostAddress::TolerantConversion))
        {
            connection->abort();
            connection->deleteLater();
            return;
        }
        addPendingConnection(connection);
    }

  private:
    QHostAddress acceptFrom;
};
} // namespace

std::string_view TPowersock::Buffered() const
{
    return received.Unread();
}

void TPowersock::ClearReceiveBuffer()
{
    received.Clear();
}

bool TPowersock::SendFinished() const
{
    // Every byte handed to the system, not merely taken by Qt.
    return sendDone && (!socket || socket->bytesToWrite() == 0);
}

std::size_t TPowersock::ReceiveLimit() const
{
    // A TLS session reads ahead into a block of its own; out of the receive buffer only lines
    // are taken, so the start of a body that comes with the header waits in the session.
    return tls ? 2 * MaxLineLength : ReceiveBufferLimit;
}

bool TPowersock::PeerGone() const
{
    return !IsConnected() && !(socket && socket->bytesAvailable() > 0);
}

void TPowersock::AppendReceived(const char* bytes, qint64 count)
{
    if (rateLimit)
        rateLimit->Spend(rateReader, count);
    if (capture)
        capture->Receive(std::string_view(bytes, static_cast<std::size_t>(count)));
    else
        received.Append(std::string_view(bytes, static_cast<std::size_t>(count)));
    if (counting)
    {
        ReceivedCount += count;
        if (OnPacketRecvd)
            OnPacketRecvd(this);
    }
}

void TPowersock::PostReadMore()
{
    if (readMorePosted)
        return;
    readMorePosted = true;
    QMetaObject::invokeMethod(
        this,
        [this]
        {
            readMorePosted = false;
            Notified("ReadToStream", [this] { ReadToStream(); });
        },
        Qt::QueuedConnection);
}

void TPowersock::PostWriteMore()
{
    if (writeMorePosted)
        return;
    writeMorePosted = true;
    QMetaObject::invokeMethod(
        this,
        [this]
        {
            writeMorePosted = false;
            Notified("WriteFromStream", [this] { WriteFromStream(); });
        },
        Qt::QueuedConnection);
}

void TPowersock::ReadToStream()
{
    // A handler of the running read is waiting; the bytes are picked up when it returns.
    if (busyReading)
        return;
    busyReading = true;
    const TFinally clear([this] { busyReading = false; });
    ReportStatus(8, "ReadToStream");
    // What Qt holds is taken at once, chunk by chunk and each chunk announced, so a fast peer
    // costs no extra trip through the event loop per chunk. A handler that closes the socket
    // ends the round, and a full receive buffer pauses reading until a wait finds room in it.
    const int closesBefore = closeCount;
    qint64 taken = 0;
    const auto room = [this] { return capture || received.Size() < ReceiveLimit(); };
    // Under a speed limit no more than its allowance; with none spent, reading waits for the
    // limit to wake it.
    const qint64 allowed = rateLimit
                               ? std::min<qint64>(MaxReadPerNotification, rateLimit->Allowance(rateReader))
                               : MaxReadPerNotification;
    if (tls)
    {
        ReadTlsRecords(closesBefore, room, allowed);
        return;
    }
    while (socket && closeCount == closesBefore && taken < allowed && room() && socket->bytesAvailable() > 0)
    {
        const qint64 n = socket->read(chunk.get(), std::min(ChunkSize, allowed - taken));
        if (n < 0)
        {
            LastError = WinsockNumber(sockerrors::FromSocketError(socket->error(), socket->errorString()));
            if (OnError)
                OnError(this, LastError, ErrorText(LastError));
            return;
        }
        if (n == 0)
            break;
        AppendReceived(chunk.get(), n);
        taken += n;
    }
    if (socket && closeCount == closesBefore && socket->bytesAvailable() > 0)
    {
        if (!room())
            readingPaused = true;
        else if (rateLimit && rateLimit->Allowance(rateReader) == 0)
            rateLimit->Hold(rateReader);
        else
            PostReadMore();
    }
    if (OnDataArrived)
        OnDataArrived(this);
}

void TPowersock::ReadTlsRecords(int closesBefore, const std::function<bool()>& room, qint64 allowed)
{
    // Records are read until the session waits for the socket. The socket's notifier fires as
    // long as bytes wait in the system, so it is not watched while the receive buffer is full;
    // and it does not announce records the session has read ahead, so a round that stops early
    // asks for another.
    qint64 taken = 0;
    long n = 0;
    while (tls && closeCount == closesBefore && taken < allowed && room() &&
           (n = tls->Read(chunk.get(), std::min(ChunkCapacity, allowed - taken))) > 0)
    {
        AppendReceived(chunk.get(), n);
        taken += n;
    }
    if (tls && closeCount == closesBefore && n >= 0)
    {
        // Held back by the speed limit, the socket is not watched either: the limit wakes it.
        if (!room())
            readingPaused = true;
        else if (rateLimit && rateLimit->Allowance(rateReader) == 0)
            rateLimit->Hold(rateReader);
        else if (n > 0 || taken >= allowed)
            PostReadMore();
        tls->WatchReading(!readingPaused && !HeldByRateLimit());
    }
    if (taken > 0 && OnDataArrived && closeCount == closesBefore)
        OnDataArrived(this);
    if (n < 0 && closeCount == closesBefore)
        TlsEnded();
}

void TPowersock::ResumeReading()
{
    if (received.Size() >= ReceiveLimit())
        return;
    readingPaused = false;
    if (HeldByRateLimit())
        return;
    if (tls)
        tls->WatchReading(true);
    PostReadMore();
}

void TPowersock::RateGranted()
{
    // A full receive buffer still holds reading back; a wait that makes room resumes it.
    if (readingPaused)
        return;
    if (tls)
        tls->WatchReading(true);
    PostReadMore();
}

void TPowersock::WriteFromStream()
{
    if (busyWriting)
        return;
    busyWriting = true;
    const TFinally clear([this] { busyWriting = false; });
    ReportStatus(8, "WriteFromStream");
    const int closesBefore = closeCount;
    // Chunks go to Qt until it holds enough; its bytesWritten signal brings us back for more. A
    // TLS session takes what the socket takes, and says when there is room again.
    const auto canSend = [this]
    {
        if (tls)
            return tls->End() == TTlsSession::TEnd::Open;
        return socket && socket->state() == QAbstractSocket::ConnectedState &&
               socket->bytesToWrite() < WriteBufferLimit;
    };
    while (!CancelRequested && closeCount == closesBefore && canSend())
    {
        QByteArray data;
        qint64 total = 0;
        if (sendFile)
        {
            total = sendFile->size();
            if (SentCount >= total || !sendFile->seek(SentCount))
                return;
            data = sendFile->read(ChunkSize);
            if (data.isEmpty())
            {
                if (sendFileError.empty())
                    sendFileError = FileReadErrorText(sendFile->fileName().toStdString(),
                                                      sendFile->errorString().toStdString());
                return;
            }
        }
        else
        {
            if (sendStart >= sendBuffer.size())
                return;
            data = sendBuffer.mid(sendStart, ChunkSize);
        }
        const qint64 sent = tls ? tls->Write(data.constData(), data.size()) : socket->write(data);
        if (sent < 0 && tls)
        {
            TlsEnded();
            return;
        }
        if (sent < 0)
        {
            // The bytes stay queued; the next bytesWritten or posted write tries again.
            LastError = WinsockNumber(sockerrors::FromSocketError(socket->error(), socket->errorString()));
            return;
        }
        if (sent == 0)
            return;
        bool more;
        if (sendFile)
            more = SentCount + sent < total;
        else
        {
            sendStart += sent;
            more = sendStart < sendBuffer.size();
            if (!more)
            {
                sendBuffer.clear();
                sendStart = 0;
            }
        }
        SentCount += sent;
        if (!more)
            sendDone = true;
        if (counting && OnPacketSent)
            OnPacketSent(this);
        if (!more)
            return;
    }
}

void TPowersock::SendBuffer(const char* bytes, std::uint16_t length)
{
    SendBytes(std::string_view(bytes, length ? length : std::strlen(bytes)));
}

TTask<void> TPowersock::SendBytesAsync(std::string_view bytes)
{
    ReportStatus(4, "Sending Buffer");
    if (CancelRequested || bytes.empty())
        co_return;
    if (!IsConnected())
    {
        // A peer that has answered and closed before the rest of a request went: its answer
        // is what counts, and it is read next.
        if (!received.Empty())
            co_return;
        if (state == TConnectionState::ClosedByReset || state == TConnectionState::CutShort)
            RaiseConnectionReset();
        FailedCall(TWinsockError::NotConnected);
    }
    sendBuffer.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
    sendDone = false;
    PostWriteMore();
    const TWaitEnd end = co_await Until([this] { return SendFinished(); }, SendWait);
    if (end == TWaitEnd::PeerGone)
        RaiseConnectionReset();
}

void TPowersock::SendBytes(std::string_view bytes)
{
    RunToEnd(SendBytesAsync(bytes));
}

TTask<void> TPowersock::WriteAsync(std::string text)
{
    ReportStatus(8, "Write");
    const std::size_t zero = text.find('\0');
    const std::size_t length = std::min({zero == std::string::npos ? text.size() : zero, TextBufferSize});
    co_await SendBytesAsync(std::string_view(text.data(), length));
}

void TPowersock::Write(const std::string& text)
{
    RunToEnd(WriteAsync(text));
}

void TPowersock::Writeln(const std::string& text)
{
    ReportStatus(8, "Writeln");
    Write(text + "\r\n");
}

std::string TPowersock::Read(std::uint16_t count)
{
    return RunToEnd(ReadAsync(count));
}

TTask<std::string> TPowersock::ReadAsync(std::uint16_t count)
{
    ReportStatus(8, "Read( " + std::to_string(count) + " )");
    co_await Until([this, count] { return received.Size() >= count; }, SendWait);
    // Closed before anything came: no more bytes can arrive.
    if (count > 0 && received.Empty())
        RaiseConnectionReset();
    co_return received.Take(count == 0 ? 65535 : count);
}

TTask<std::string> TPowersock::ReadLnAsync()
{
    ReportStatus(8, "ReadLn");
    co_await Until(
        [this] { return received.LineLength() > 0 || received.Size() > MaxLineLength; },
        {.abortMessage = "Socket readln aborted", .keepCancelFlag = true, .endsWhenPeerGone = true});
    if (const std::size_t length = received.LineLength())
        co_return received.Take(length);
    if (received.Size() > MaxLineLength)
        throw ESockError(TSockReason::LineTooLong, "Line too long");
    // The peer is gone and no line feed can come any more: the rest is the last line.
    if (received.Empty())
        RaiseConnectionReset();
    co_return received.Take(received.Size());
}

std::string TPowersock::ReadLn()
{
    return RunToEnd(ReadLnAsync());
}

std::string TPowersock::Transaction(const std::string& command)
{
    return RunToEnd(TransactionAsync(command));
}

TTask<std::string> TPowersock::TransactionAsync(const std::string& command)
{
    ReportStatus(8, "Transaction");
    // A command is one line: a line end inside it would reach the peer as a command of its own.
    if (bytetext::HasControlByte(command))
        throw Exception("Invalid URL");
    ReplyCode = 0;
    ReportStatus(8, "Writeln");
    co_await WriteAsync(command + "\r\n");
    LastReply = co_await ReadLnAsync();
    if (!LastReply.empty())
    {
        ReportStatus(1, LastReply);
        std::size_t digits = 0;
        while (digits < LastReply.size() && digits < 10 && bytetext::IsDigit(LastReply[digits]))
            ++digits;
        if (digits > 0)
        {
            long long value = 0;
            const auto [end, error] = std::from_chars(LastReply.data(), LastReply.data() + digits, value);
            // A number that does not fit the code is no code at all, rather than one wrapped round.
            ReplyCode = (error == std::errc() && value <= 0x7fff) ? static_cast<std::int16_t>(value) : 0;
        }
    }
    co_return LastReply;
}

TTask<void> TPowersock::SendFileAsync(const std::string& fileName)
{
    ReportStatus(8, "SendFile");
    QFile file;
    if (!OpenFileByName(file, fileName, QIODevice::ReadOnly))
        throw Exception(FileOpenErrorText(fileName, errno));
    sendFile = &file;
    counting = true;
    sendDone = false;
    sendFileError.clear();
    SentCount = 0;
    ExpectedCount = file.size();
    const TFinally restore(
        [this]
        {
            sendFile = nullptr;
            counting = false;
        });
    if (ExpectedCount > 0 && !IsConnected())
        FailedCall(TWinsockError::NotConnected);
    PostWriteMore();
    const TWaitEnd end = co_await Until(
        [this] { return SendFinished() || ExpectedCount <= 0 || !sendFileError.empty(); }, SendWait);
    if (end == TWaitEnd::PeerGone)
        RaiseConnectionReset();
    if (!sendFileError.empty())
        throw Exception(sendFileError);
}

void TPowersock::SendFile(const std::string& fileName)
{
    RunToEnd(SendFileAsync(fileName));
}

TTask<void> TPowersock::CaptureFileAsync(const std::string& fileName, std::int64_t appendAt)
{
    ReportStatus(8, "CaptureFile");
    // What arrived stays in the file, also when the capture ends by an error: the sink writes
    // what it still holds as it goes.
    TCaptureSink sink(fileName, std::exchange(bodyFraming, TBodyFraming{}), appendAt, Digest);
    capture = &sink;
    counting = true;
    const TFinally restore(
        [this]
        {
            capture = nullptr;
            counting = false;
        });
    ReceivedCount = 0;
    const std::string_view early = Buffered();
    if (!early.empty())
    {
        sink.Receive(early);
        sink.Flush();
        ReceivedCount = static_cast<std::int64_t>(early.size());
        ClearReceiveBuffer();
        // Announced like any chunk, so that a progress display also hears of a body that came
        // with the header.
        if (OnPacketRecvd)
            OnPacketRecvd(this);
    }
    // A body that was whole before an abort came (the user answering a question meanwhile)
    // stands: only what is still missing is given up.
    const TWaitEnd end =
        co_await Until([this, &sink] { return !IsConnected() || !sink.Error().empty() || sink.Complete(); });
    if (end == TWaitEnd::Canceled && !sink.Complete())
    {
        CancelRequested = false;
        throw EAbortError(SendAborted);
    }
    sink.Flush();
    // A body that could not be written in full is a failed transfer, not a short file; so is
    // one that a reset cut off, however much of it came, and a chunked one without its end.
    if (!sink.Error().empty())
        throw Exception(sink.Error());
    if (sink.Complete())
        co_return;
    if (state == TConnectionState::ClosedByReset)
        RaiseConnectionReset();
    if (!sink.Decoder().EndsWithConnection() && sink.Decoder().Chunked())
        throw Exception("Transfer incomplete: the chunked body ended before its last chunk");
    // A body framed by nothing ends with the connection; over TLS only the peer's close_notify
    // says that this end is the body's.
    if (state == TConnectionState::CutShort && sink.Decoder().EndsWithConnection())
        RaiseCutShort(sink.Decoder().BodyBytes());
}

void TPowersock::CaptureFile(const std::string& fileName, std::int64_t appendAt)
{
    RunToEnd(CaptureFileAsync(fileName, appendAt));
}

TTask<void> TPowersock::CaptureStringAsync(std::string& text, std::int32_t count)
{
    ReportStatus(8, "Capture String");
    text.clear();
    counting = true;
    const TFinally restore([this] { counting = false; });
    ReceivedCount = 0;
    TBodyDecoder decoder(std::exchange(bodyFraming, TBodyFraming{}));
    // What is buffered is taken at every turn until the connection closes, the count is reached
    // or the body's framing says it is whole.
    auto wanted = [&]
    {
        return !decoder.Complete() &&
               (count == -1 || (count >= 0 && text.size() < static_cast<std::size_t>(count)));
    };
    co_await Until(
        [&]
        {
            if (!wanted())
                return true;
            decoder.Feed(received.Unread(), [&](std::string_view body) { text.append(body); });
            received.Clear();
            return !IsConnected() || !wanted() || !decoder.Error().empty();
        },
        {.abortMessage = "Socket capture aborted"});
    if (!decoder.Error().empty())
        throw Exception(decoder.Error());
    if (state == TConnectionState::ClosedByReset && wanted())
        RaiseConnectionReset();
    if (state == TConnectionState::CutShort && decoder.EndsWithConnection() && wanted())
        RaiseCutShort(static_cast<std::int64_t>(text.size()));
}

void TPowersock::CaptureString(std::string& text, std::int32_t count)
{
    RunToEnd(CaptureStringAsync(text, count));
}

void TPowersock::Listen(bool notifyAsLookup)
{
    ReportStatus(8, "Listening");
    RemoteAddress = TSockAddrIn{ListenAddress.protocol() == QAbstractSocket::IPv6Protocol ? 23 : 2,
                                static_cast<std::uint16_t>(Port), 0};
    state = TConnectionState::Listening;
    notifyAcceptAsLookup = notifyAsLookup;
    if (server)
    {
        server->close();
        server->deleteLater();
    }
    server = new TListener(this, AcceptFrom);
    server->setProxy(QNetworkProxy::NoProxy);
    server->setListenBacklogSize(1);
    QTcpServer* listener = server;
    connect(listener, &QTcpServer::newConnection, this,
            [this, listener]
            {
                if (listener != server)
                    return;
                Notified("Incoming connection", [this] { IncomingConnection(); });
            });
    server->listen(ListenAddress.isNull() ? QHostAddress(QHostAddress::AnyIPv4) : ListenAddress,
                   static_cast<quint16>(Port));
}

void TPowersock::IncomingConnection()
{
    // A connection from a stranger was closed on arrival.
    if (!server->hasPendingConnections())
        return;
    LastEventOk = true;
    state = TConnectionState::Accepted;
    if (!notifyAcceptAsLookup && OnAccept)
        OnAccept(this);
}

QTcpSocket* TPowersock::Accept()
{
    return RunToEnd(AcceptAsync());
}

TTask<QTcpSocket*> TPowersock::AcceptAsync()
{
    // Also ends when the listening socket was closed: no connection can come any more.
    const TWaitEnd end = co_await Until([this] { return state != TConnectionState::Listening; });
    if (end == TWaitEnd::Canceled)
        throw ESockError(TSockReason::AcceptCanceled, "Accepting Canceled");
    if (!LastEventOk)
        throw ESockError(TSockReason::DataConnectionFailed, "Error creating Data Connection");
    ReportStatus(4, "Accepting");
    QTcpSocket* accepted = server ? server->nextPendingConnection() : nullptr;
    if (!accepted)
        throw ESockError(TSockReason::DataConnectionFailed, "Error creating Data Connection");
    const QHostAddress peer = accepted->peerAddress();
    RemoteAddress =
        TSockAddrIn{peer.protocol() == QAbstractSocket::IPv6Protocol ? 23 : 2, accepted->peerPort(),
                    peer.protocol() == QAbstractSocket::IPv4Protocol ? peer.toIPv4Address() : 0};
    if (CancelRequested)
    {
        CancelRequested = false;
        accepted->abort();
        accepted->deleteLater();
        throw EAbortError(SendAborted);
    }
    co_return accepted;
}

void TPowersock::AdoptSocket(QTcpSocket* accepted)
{
    DropTls();
    if (socket && socket != accepted)
    {
        QTcpSocket* old = socket;
        old->disconnect(this);
        {
            const QSignalBlocker blocker(old);
            old->abort();
        }
        old->deleteLater();
        socket = nullptr;
    }
    InstallSocket(accepted);
    WatchClose();
    if (server)
    {
        server->close();
        server->deleteLater();
        server = nullptr;
    }
    state = accepted->state() == QAbstractSocket::ConnectedState ? TConnectionState::Connected
                                                                 : TConnectionState::Unconnected;
    if (accepted->bytesAvailable() <= 0)
        return;
    if (IsConnected())
        PostReadMore();
    else
        // The peer sent everything and closed before we took the connection over.
        while (accepted->bytesAvailable() > 0)
        {
            const qint64 n = accepted->read(chunk.get(), ChunkSize);
            if (n <= 0)
                break;
            AppendReceived(chunk.get(), n);
        }
}

std::string TPowersock::LocalAddressText()
{
    QHostAddress address;
    if (socket && socket->state() == QAbstractSocket::ConnectedState)
        address = socket->localAddress();
    else if (server)
        address = server->serverAddress();
    std::string text =
        address.protocol() == QAbstractSocket::IPv4Protocol ? address.toString().toStdString() : "0.0.0.0";
    std::replace(text.begin(), text.end(), '.', ',');
    return text;
}

QHostAddress TPowersock::PeerAddress() const
{
    return socket && socket->state() == QAbstractSocket::ConnectedState ? socket->peerAddress()
                                                                        : QHostAddress();
}

QHostAddress TPowersock::LocalAddress() const
{
    if (socket && socket->state() == QAbstractSocket::ConnectedState)
        return socket->localAddress();
    return server ? server->serverAddress() : QHostAddress();
}

quint16 TPowersock::LocalPort() const
{
    if (socket && socket->state() == QAbstractSocket::ConnectedState)
        return socket->localPort();
    return server ? server->serverPort() : 0;
}

std::string TPowersock::LocalPortText()
{
    const quint16 port = LocalPort();
    return "," + std::to_string(port >> 8) + "," + std::to_string(port & 0xff);
}
