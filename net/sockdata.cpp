// The data transfer operations of TPowersock: sending, receiving, capturing and accepting.
#include "net/powersock.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include <QFile>
#include <QMetaObject>
#include <QNetworkProxy>
#include <QSignalBlocker>
#include <QTcpServer>
#include <QTcpSocket>

#include "net/sockerrors.h"

namespace
{
// Qt takes the next chunk only while less than this is still waiting to go out.
constexpr qint64 WriteBufferLimit = 256 * 1024;

// A capture file is written in batches of this size: far fewer system calls than one per
// chunk, and whole pages for the file system.
constexpr qsizetype CaptureWriteBatch = 256 * 1024;

// At most this much is read in one notification before other events get their turn.
constexpr qint64 MaxReadPerNotification = 1024 * 1024;

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
    TListener(QObject* parent, std::uint32_t acceptFrom) : QTcpServer(parent), acceptFrom(acceptFrom) {}

  protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* connection = new QTcpSocket(this);
        connection->setSocketDescriptor(descriptor);
        if (acceptFrom != 0 && connection->peerAddress().toIPv4Address() != acceptFrom)
        {
            connection->abort();
            connection->deleteLater();
            return;
        }
        addPendingConnection(connection);
    }

  private:
    std::uint32_t acceptFrom;
};

std::string FileCreateErrorText(const std::string& path, int errorNumber)
{
    return "Cannot create file \"" + path + "\". " + std::strerror(errorNumber);
}
} // namespace

std::string_view TPowersock::Buffered() const
{
    return std::string_view(recvBuffer.constData() + recvStart,
                            static_cast<std::size_t>(recvBuffer.size() - recvStart));
}

void TPowersock::ClearReceiveBuffer()
{
    recvBuffer.clear();
    recvStart = 0;
    lineSearchFrom = 0;
}

void TPowersock::TakeReceived(std::size_t count)
{
    recvStart += static_cast<qsizetype>(count);
    lineSearchFrom = std::max(lineSearchFrom, recvStart);
    if (recvStart >= recvBuffer.size())
        ClearReceiveBuffer();
    else if (recvStart > 65536 && recvStart > recvBuffer.size() / 2)
    {
        // Drop the consumed front in one move rather than on every line.
        recvBuffer.remove(0, recvStart);
        lineSearchFrom -= recvStart;
        recvStart = 0;
    }
}

bool TPowersock::PeerGone() const
{
    return !IsConnected && !(socket && socket->bytesAvailable() > 0);
}

void TPowersock::AppendReceived(const char* bytes, qint64 count)
{
    if (receiveFile)
    {
        captureBatch.append(bytes, count);
        if (captureBatch.size() >= CaptureWriteBatch)
            FlushCapture();
    }
    else
        recvBuffer.append(bytes, count);
    if (counting)
    {
        ReceivedCount += count;
        if (OnPacketRecvd)
            OnPacketRecvd(this);
    }
}

void TPowersock::FlushCapture()
{
    if (!receiveFile || captureBatch.isEmpty())
        return;
    if (receiveFile->write(captureBatch) != captureBatch.size() && fileError.empty())
        fileError = "Cannot write file \"" + receiveFile->fileName().toStdString() + "\". " +
                    receiveFile->errorString().toStdString();
    captureBatch.truncate(0);
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
            LastEventOk = true;
            try
            {
                ReadToStream();
            }
            catch (...)
            {
            }
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
            LastEventOk = true;
            try
            {
                WriteFromStream();
            }
            catch (...)
            {
            }
        },
        Qt::QueuedConnection);
}

void TPowersock::ReadToStream()
{
    if (busyReading)
    {
        // A handler of the running read is waiting; the bytes are picked up when it returns.
        readMissed = true;
        return;
    }
    busyReading = true;
    const TFinally clear([this] { busyReading = false; });
    ReportStatus(8, "ReadToStream");
    // What Qt holds is taken at once, chunk by chunk and each chunk announced, so a fast peer
    // costs no extra trip through the event loop per chunk. A handler that closes the socket
    // ends the round.
    const int closesBefore = closeCount;
    qint64 taken = 0;
    while (socket && closeCount == closesBefore && taken < MaxReadPerNotification &&
           socket->bytesAvailable() > 0)
    {
        const qint64 n = socket->read(chunk.get(), ChunkSize);
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
    readMissed = false;
    if (socket && closeCount == closesBefore && socket->bytesAvailable() > 0)
        PostReadMore();
    if (OnDataArrived)
        OnDataArrived(this);
}

void TPowersock::WriteFromStream()
{
    if (busyWriting)
        return;
    busyWriting = true;
    const TFinally clear([this] { busyWriting = false; });
    ReportStatus(8, "WriteFromStream");
    const int closesBefore = closeCount;
    // Chunks go to Qt until it holds enough; its bytesWritten signal brings us back for more.
    while (!CancelRequested && socket && closeCount == closesBefore &&
           socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < WriteBufferLimit)
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
                if (fileError.empty())
                    fileError = "Cannot read file \"" + sendFile->fileName().toStdString() + "\". " +
                                sendFile->errorString().toStdString();
                return;
            }
        }
        else
        {
            if (sendStart >= sendBuffer.size())
                return;
            data = sendBuffer.mid(sendStart, ChunkSize);
        }
        const qint64 sent = socket->write(data);
        if (sent < 0)
        {
            // The bytes stay queued; the next bytesWritten or posted write tries again.
            LastError = WinsockNumber(sockerrors::FromSocketError(socket->error(), socket->errorString()));
            return;
        }
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

void TPowersock::RaiseIfSendFailed(bool finished)
{
    if (finished || IsConnected)
        return;
    RaiseConnectionReset();
}

void TPowersock::SendBuffer(const char* bytes, std::uint16_t length)
{
    SendBytes(std::string_view(bytes, length ? length : std::strlen(bytes)));
}

void TPowersock::SendBytes(std::string_view bytes)
{
    ReportStatus(4, "Sending Buffer");
    if (CancelRequested || bytes.empty())
        return;
    if (!IsConnected)
        FailedCall(TWinsockError::NotConnected);
    sendBuffer.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
    sendDone = false;
    PostWriteMore();
    // Done when Qt has handed every byte to the system, not merely taken it.
    auto finished = [this] { return sendDone && (!socket || socket->bytesToWrite() == 0); };
    while (!finished() && !CancelRequested)
    {
        RaiseIfSendFailed(finished());
        Wait();
    }
    if (CancelRequested)
    {
        CancelRequested = false;
        throw EAbortError("Socket send aborted");
    }
}

void TPowersock::Write(const std::string& text)
{
    ReportStatus(8, "Write");
    const std::size_t zero = text.find('\0');
    const std::size_t length = std::min({zero == std::string::npos ? text.size() : zero, TextBufferSize});
    SendBytes(std::string_view(text.data(), length));
}

void TPowersock::Writeln(const std::string& text)
{
    ReportStatus(8, "Writeln");
    Write(text + "\r\n");
}

std::string TPowersock::Read(std::uint16_t count)
{
    ReportStatus(8, "Read( " + std::to_string(count) + " )");
    if (count > 0)
        while (Buffered().size() < count && !CancelRequested && !PeerGone())
            Wait();
    if (CancelRequested)
    {
        CancelRequested = false;
        throw EAbortError("Socket send aborted");
    }
    const std::size_t available = Buffered().size();
    const std::size_t n =
        count == 0 ? std::min<std::size_t>(available, 65535) : std::min<std::size_t>(count, available);
    if (count > 0 && n == 0)
    {
        // Closed before anything came: no more bytes can arrive.
        RaiseConnectionReset();
    }
    std::string result(Buffered().substr(0, n));
    TakeReceived(n);
    return result;
}

std::string TPowersock::ReadLn()
{
    ReportStatus(8, "ReadLn");
    for (;;)
    {
        if (CancelRequested)
            throw EAbortError("Socket readln aborted");
        const std::string_view buffered = Buffered();
        const std::size_t from = static_cast<std::size_t>(lineSearchFrom - recvStart);
        const std::size_t lf = buffered.find('\n', from);
        if (lf != std::string_view::npos)
        {
            std::string line(buffered.substr(0, lf + 1));
            TakeReceived(lf + 1);
            lineSearchFrom = recvStart;
            return line;
        }
        lineSearchFrom = recvStart + static_cast<qsizetype>(buffered.size());
        if (buffered.size() > MaxLineLength)
            throw ESockError(TSockReason::LineTooLong, "Line too long");
        if (PeerGone())
        {
            // No line feed can come any more: the rest is the last line.
            if (!buffered.empty())
            {
                std::string line(buffered);
                ClearReceiveBuffer();
                return line;
            }
            RaiseConnectionReset();
        }
        Wait();
    }
}

std::string TPowersock::Transaction(const std::string& command)
{
    ReportStatus(8, "Transaction");
    ReplyCode = 0;
    Writeln(command);
    LastReply = ReadLn();
    if (!LastReply.empty())
    {
        ReportStatus(1, LastReply);
        std::size_t digits = 0;
        while (digits < LastReply.size() && digits < 10 && LastReply[digits] >= '0' &&
               LastReply[digits] <= '9')
            ++digits;
        if (digits > 0)
        {
            long long value = 0;
            const auto [end, error] = std::from_chars(LastReply.data(), LastReply.data() + digits, value);
            ReplyCode = (error == std::errc() && value <= 0x7fffffff) ? static_cast<std::int16_t>(value) : 0;
        }
    }
    return LastReply;
}

void TPowersock::SendFile(const std::string& fileName)
{
    ReportStatus(8, "SendFile");
    QFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(FileOpenErrorText(fileName, errno));
    sendFile = &file;
    counting = true;
    sendDone = false;
    fileError.clear();
    SentCount = 0;
    ExpectedCount = file.size();
    const TFinally restore(
        [this]
        {
            sendFile = nullptr;
            counting = false;
        });
    if (ExpectedCount > 0 && !IsConnected)
        FailedCall(TWinsockError::NotConnected);
    PostWriteMore();
    auto finished = [this]
    { return (sendDone && (!socket || socket->bytesToWrite() == 0)) || ExpectedCount <= 0; };
    while (!finished() && !CancelRequested && fileError.empty())
    {
        RaiseIfSendFailed(finished());
        Wait();
    }
    if (CancelRequested)
    {
        CancelRequested = false;
        throw EAbortError("Socket send aborted");
    }
    if (!fileError.empty())
        throw Exception(fileError);
}

void TPowersock::CaptureFile(const std::string& fileName)
{
    ReportStatus(8, "CaptureFile");
    QFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw Exception(FileCreateErrorText(fileName, errno));
    receiveFile = &file;
    counting = true;
    fileError.clear();
    captureBatch.truncate(0);
    const TFinally restore(
        [this]
        {
            // What arrived stays in the file, also when the capture ends by an error.
            FlushCapture();
            receiveFile = nullptr;
            counting = false;
            captureBatch = QByteArray();
        });
    ReceivedCount = 0;
    const std::string_view early = Buffered();
    if (!early.empty())
    {
        if (file.write(early.data(), static_cast<qint64>(early.size())) != static_cast<qint64>(early.size()))
            fileError = "Cannot write file \"" + fileName + "\". " + file.errorString().toStdString();
        ReceivedCount = static_cast<std::int64_t>(early.size());
        ClearReceiveBuffer();
        // Announced like any chunk, so a progress handler that ends the transfer once the
        // announced length is in also works when the whole body came with the header.
        if (OnPacketRecvd)
            OnPacketRecvd(this);
    }
    while (IsConnected && !CancelRequested && fileError.empty())
        Wait();
    FlushCapture();
    if (CancelRequested)
    {
        CancelRequested = false;
        throw EAbortError("Socket send aborted");
    }
    // A body that could not be written in full is a failed transfer, not a short file.
    if (!fileError.empty())
        throw Exception(fileError);
}

void TPowersock::CaptureString(std::string& text, std::int32_t count)
{
    ReportStatus(8, "Capture String");
    text.clear();
    counting = true;
    const TFinally restore([this] { counting = false; });
    ReceivedCount = 0;
    for (;;)
    {
        if (CancelRequested)
            break;
        const bool open = IsConnected || !Buffered().empty();
        const bool wanted = count == -1 || (count >= 0 && text.size() < static_cast<std::size_t>(count));
        if (!open || !wanted)
            break;
        if (!Buffered().empty())
        {
            text.append(Buffered());
            ClearReceiveBuffer();
        }
        else
            Wait();
    }
    if (CancelRequested)
    {
        CancelRequested = false;
        throw EAbortError("Socket capture aborted");
    }
}

void TPowersock::Listen(bool notifyAsLookup)
{
    ReportStatus(8, "Listening");
    RemoteAddress = TSockAddrIn{2, static_cast<std::uint16_t>(Port), 0};
    LookupDone = false;
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
                try
                {
                    IncomingConnection();
                }
                catch (...)
                {
                }
            });
    server->listen(QHostAddress::AnyIPv4, static_cast<quint16>(Port));
}

void TPowersock::IncomingConnection()
{
    // A connection from a stranger was closed on arrival.
    if (!server->hasPendingConnections())
        return;
    LastEventOk = true;
    LookupDone = true;
    IsConnected = true;
    if (!notifyAcceptAsLookup && OnAccept)
        OnAccept(this);
}

QTcpSocket* TPowersock::Accept()
{
    while (!LookupDone && !CancelRequested)
        Wait();
    if (CancelRequested)
        throw ESockError(TSockReason::AcceptCanceled, "Accepting Canceled");
    if (!LastEventOk)
        throw ESockError(TSockReason::DataConnectionFailed, "Error creating Data Connection");
    ReportStatus(4, "Accepting");
    QTcpSocket* accepted = server ? server->nextPendingConnection() : nullptr;
    if (!accepted)
        throw ESockError(TSockReason::DataConnectionFailed, "Error creating Data Connection");
    RemoteAddress = TSockAddrIn{2, accepted->peerPort(), accepted->peerAddress().toIPv4Address()};
    if (CancelRequested)
    {
        CancelRequested = false;
        accepted->abort();
        accepted->deleteLater();
        throw EAbortError("Socket send aborted");
    }
    return accepted;
}

void TPowersock::AdoptSocket(QTcpSocket* accepted)
{
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
    if (server)
    {
        server->close();
        server->deleteLater();
        server = nullptr;
    }
    IsConnected = accepted->state() == QAbstractSocket::ConnectedState;
    if (accepted->bytesAvailable() <= 0)
        return;
    if (IsConnected)
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

std::string TPowersock::LocalPortText()
{
    quint16 port = 0;
    if (socket && socket->state() == QAbstractSocket::ConnectedState)
        port = socket->localPort();
    else if (server)
        port = server->serverPort();
    return "," + std::to_string(port >> 8) + "," + std::to_string(port & 0xff);
}
