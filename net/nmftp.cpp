#include "net/nmftp.h"

#include <QCoreApplication>
#include <QTimer>

#include "platform/bytetext.h"
#include "platform/pause.h"

namespace
{
// How long DrainReply waits for the server's last words (1.1e-5 days).
constexpr int DrainMilliseconds = 950;
// How long the destructor waits for the answer to QUIT.
constexpr int QuitOnDestroyMilliseconds = 1000;

bool InRange(int code, int low, int high)
{
    return code >= low && code <= high;
}
} // namespace

TNMFTP::TNMFTP(QObject* owner) : TPowersock(owner)
{
    Port = 21;
    Vendor = 2411;
    OnDataArrived = [this](QObject*) { ServerNotice(); };
}

TNMFTP::~TNMFTP()
{
    Cancel();
    if (IsConnected() && QCoreApplication::instance())
    {
        // A server that does not answer QUIT must not hold up the program's end.
        QTimer giveUp;
        giveUp.setSingleShot(true);
        QObject::connect(&giveUp, &QTimer::timeout, [this] { Cancel(); });
        giveUp.start(platform::TimeOutMilliseconds(QuitOnDestroyMilliseconds));
        try
        {
            Disconnect();
        }
        catch (...)
        {
        }
    }
    delete DataConnection;
    DataConnection = nullptr;
}

void TNMFTP::ServerNotice()
{
    if (!ftpreply::IsServerNotice(Buffered(), awaitingData))
        return;
    // The data connection is cancelled too: a transfer waiting for it would otherwise go on.
    if (DataConnection)
        DataConnection->Cancel();
    Cancel();
}

TTask<std::string> TNMFTP::TransactionAsync(const std::string& command)
{
    const std::string reply = co_await TPowersock::TransactionAsync(command);
    co_await ReadReplyContinuationAsync(reply);
    RefuseReplyWithoutCode();
    co_return reply;
}

void TNMFTP::RefuseReplyWithoutCode()
{
    // "99999 ok" or a line with no code at all is no answer the client can act on, least of all
    // a success.
    if (ReplyCode < 100 || ReplyCode > 599)
        throw FTPException(LastReply);
}

TTask<void> TNMFTP::ReadReplyContinuationAsync(std::string firstLine,
                                               std::function<void(const std::string& line)> eachLine)
{
    ftpreply::TReplyLines reply(firstLine);
    while (reply.GoesOn())
    {
        const std::string line = co_await ReadLnAsync();
        ReportStatus(1, line);
        reply.Next(line);
        if (eachLine)
            eachLine(line);
        // The rest of such a reply would be read as the answers to the commands that follow.
        if (reply.TooLong())
        {
            RequestCloseSocket();
            throw ESockError(TSockReason::ReplyTooLong, "Reply too long");
        }
    }
}

TTask<void> TNMFTP::DropStaleInputAsync()
{
    co_await ReadAsync(0);
}

void TNMFTP::Failure(TCmdType kind, const std::string& reply)
{
    if (!OnFailure)
        throw FTPException(reply);
    bool handled = false;
    OnFailure(handled, kind);
    if (!handled)
        throw FTPException(reply);
}

TTask<void> TNMFTP::ConnectAsync()
{
    CancelRequested = false;
    if (IsConnected())
        co_return;
    ClearReceiveBuffer();
    std::exception_ptr failure;
    try
    {
        co_await TPowersock::ConnectAsync();
    }
    catch (...)
    {
        failure = std::current_exception();
    }
    if (failure)
    {
        // A server that refuses service at once ends the connect wait with its notice.
        if (ftpreply::IsServerNotice(Buffered(), false))
            co_await DrainReplyAsync();
        std::rethrow_exception(failure);
    }
    try
    {
        // Every greeting line up to the first final one; its code is not checked.
        co_await ReadReplyContinuationAsync(" ");
        if (UserID.empty() || Password.empty())
        {
            bool handled = false;
            if (OnAuthenticationNeeded)
                OnAuthenticationNeeded(handled);
        }
        ReportStatus(1, "USER " + UserID);
        const std::string user = Proxy.empty() ? "USER " + UserID : "USER " + UserID + "@" + Host;
        co_await TransactionAsync(user);
        auto checkLogin = [this]
        {
            if (!InRange(ReplyCode, 401, 599))
                return;
            const std::string reply = LastReply;
            if (TPowersock::OnConnectionFailed)
                TPowersock::OnConnectionFailed(this);
            throw FTPException(reply);
        };
        checkLogin();
        if (ReplyCode == 331)
        {
            // The password itself is never reported.
            ReportStatus(1, "PASS ");
            co_await TransactionAsync("PASS " + Password);
            checkLogin();
        }
        if (OnConnect)
            OnConnect(this);
    }
    catch (...)
    {
        failure = std::current_exception();
    }
    if (!failure)
        co_return;
    // After a cancel nobody waits for an answer to QUIT: what the server said last is shown
    // and the connection is closed.
    if (CancelRequested)
    {
        co_await DrainReplyAsync();
        TPowersock::Disconnect();
    }
    else
        DisconnectQuietly();
    ReportStatus(1, "Disconnected");
    std::rethrow_exception(failure);
}

void TNMFTP::DisconnectQuietly()
{
    try
    {
        Disconnect();
    }
    catch (...)
    {
        // The error that brought us here is the one the caller needs.
    }
}

void TNMFTP::DoCommand(const std::string& commandLine)
{
    RunToEnd(DoCommandAsync(commandLine));
}

TTask<std::string> TNMFTP::DoCommandAsync(std::string commandLine)
{
    const TCmdType kind = ftpreply::CommandKind(commandLine);
    CancelRequested = false;
    CheckConnected();
    if (!IsConnected())
        co_return std::string();
    ReportStatus(1, commandLine);
    co_await DropStaleInputAsync();
    std::exception_ptr failure;
    try
    {
        co_await TransactionAsync(commandLine);
    }
    catch (...)
    {
        failure = std::current_exception();
    }
    if (failure)
    {
        // A notice that ended the wait is shown, and not left for the next command to read.
        if (CancelRequested)
            co_await DrainReplyAsync();
        std::rethrow_exception(failure);
    }
    if (InRange(ReplyCode, 400, 599))
    {
        const std::string reply = LastReply;
        if (InRange(ReplyCode, 500, 502) && OnUnSupportedFunction)
            OnUnSupportedFunction(kind);
        Failure(kind, reply);
        co_return reply;
    }
    if (OnSuccess)
        OnSuccess(kind);
    co_return LastReply;
}

void TNMFTP::ChangeDir(const std::string& path)
{
    DoCommand("CWD " + path);
}

TTask<void> TNMFTP::ChangeDirAsync(std::string path)
{
    co_await DoCommandAsync("CWD " + path);
}

void TNMFTP::TransferType(int kind)
{
    RunToEnd(TransferTypeAsync(kind));
}

TTask<void> TNMFTP::TransferTypeAsync(int kind)
{
    switch (static_cast<TTransferType>(kind))
    {
    case TTransferType::Ascii:
        co_await DoCommandAsync("TYPE A");
        break;
    case TTransferType::Image:
        co_await DoCommandAsync("TYPE I");
        break;
    case TTransferType::Local8Bit:
        co_await DoCommandAsync("TYPE L 8");
        break;
    default:
        break;
    }
}

void TNMFTP::Download(const std::string& remote, const std::string& local, std::int64_t restartAt)
{
    RunToEnd(DownloadAsync(remote, local, restartAt));
}

TTask<TFtpReceived> TNMFTP::DownloadAsync(std::string remote, std::string local, std::int64_t restartAt)
{
    ContinuedFrom = -1;
    CancelRequested = false;
    CheckConnected();
    if (!IsConnected())
        co_return TFtpReceived{};
    // Refused before the PORT that would go ahead of it (Transaction refuses it too).
    if (bytetext::HasControlByte(remote))
        throw Exception("Invalid URL");
    const std::string into = local.empty() ? remote : local;
    co_return co_await ReceiveDataAsync("RETR " + remote, into, ftpreply::TCmdType::cmdDownload, restartAt);
}

bool TNMFTP::ListFolder(const std::string& local)
{
    return RunToEnd(ListFolderAsync(local));
}

TTask<bool> TNMFTP::ListFolderAsync(std::string local)
{
    ContinuedFrom = -1;
    CancelRequested = false;
    CheckConnected();
    if (!IsConnected())
        co_return false;
    try
    {
        co_await ReceiveDataAsync("MLSD", local, ftpreply::TCmdType::cmdList);
        co_return true;
    }
    catch (const FTPException&)
    {
        // Not understood, not implemented: a server from before MLSD. Any other refusal (no
        // such folder, no data connection) is the answer.
        if (!InRange(ReplyCode, 500, 502) && ReplyCode != 504)
            throw;
    }
    co_await ReceiveDataAsync("NLST", local, ftpreply::TCmdType::cmdNList);
    co_return false;
}

TTask<TFtpReceived> TNMFTP::ReceiveDataAsync(std::string command, std::string local, TCmdType kind,
                                             std::int64_t restartAt)
{
    // Whatever way the download ends, the data connection (and with it the listening socket)
    // is closed, and a cancelled one leaves no stray reply behind.
    auto finish = [this]() -> TTask<void>
    {
        awaitingData = false;
        TPowersock* data = DataConnection;
        DataConnection = nullptr;
        delete data;
        if (CancelRequested)
            co_await DrainReplyAsync();
    };
    std::exception_ptr failure;
    try
    {
        // A refusal of active mode is followed by one passive attempt, never by another active one.
        const bool started = co_await StartTransferAsync(command, kind, restartAt);
        if (!started)
            co_await StartTransferAsync(command, kind, restartAt);

        if (OnTransactionStart)
            OnTransactionStart(this);
        if (!CancelRequested && !TimedOut)
        {
            DataConnection->Digest = Digest;
            co_await DataConnection->CaptureFileAsync(local, ContinuedFrom);
        }
        if (OnTransactionStop)
            OnTransactionStop(this);

        DataConnection->RequestCloseSocket();
        ExpectedCount = DataConnection->ReceivedCount;
        ReportStatus(1, "Received " + std::to_string(ExpectedCount) + " Bytes");

        if (!CancelRequested && !TimedOut)
        {
            const std::string closing = co_await ReadLnAsync();
            ReportStatus(1, closing);
            co_await ReadReplyContinuationAsync(closing);
            // A transfer the server reports as failed did not bring the whole file.
            if (closing.size() >= 3 && (closing[0] == '4' || closing[0] == '5'))
                Failure(kind, closing);
        }
    }
    catch (...)
    {
        failure = std::current_exception();
    }
    if (failure)
    {
        co_await finish();
        std::rethrow_exception(failure);
    }
    const bool cancelled = CancelRequested;
    co_await finish();
    // A cancelled transfer is never a finished one, however the data connection ended.
    if (cancelled)
        throw EAbortError("Socket send aborted");
    if (OnSuccess)
        OnSuccess(kind);
    co_return TFtpReceived{ContinuedFrom, ExpectedCount};
}

TTask<bool> TNMFTP::StartTransferAsync(const std::string& command, TCmdType kind, std::int64_t restartAt)
{
    const bool passive = Passive || passiveServers.contains(ServerName());
    awaitingData = false;
    if (!CancelRequested)
        abortRequested = false;
    delete DataConnection;
    DataConnection = new TPowersock(this);
    co_await DropStaleInputAsync();
    DataConnection->TimeOut = TimeOut;
    // Files and listings come under the same speed limit as the replies.
    DataConnection->SetRateLimit(RateLimit());
    if (OnPacketRecvd)
        DataConnection->OnPacketRecvd = OnPacketRecvd;
    if (passive)
        co_await ConnectPassiveAsync(kind);
    else
    {
        const bool offered = co_await OfferActiveAsync(kind);
        if (!offered)
            co_return false;
    }

    ContinuedFrom = -1;
    if (restartAt > 0)
    {
        const std::string restLine = "REST " + std::to_string(restartAt);
        ReportStatus(1, restLine);
        co_await TransactionAsync(restLine);
        // Any answer but "350 pending further information" leaves the transfer at byte 0.
        if (ReplyCode == 350)
            ContinuedFrom = restartAt;
    }

    ReportStatus(1, command);
    ExpectedCount = 0;
    bool refused = false;
    try
    {
        co_await TPowersock::TransactionAsync(command);
    }
    catch (const EAbortError&)
    {
        // A 426 as the reply is a notice, which ends the wait for the reply.
        if (passive || !RefusedBeforeData())
            throw;
        refused = true;
    }
    if (refused)
    {
        co_await TakeRefusalAsync();
        co_return false;
    }
    RefuseReplyWithoutCode();
    if (!passive && (ReplyCode == 425 || ReplyCode == 426))
    {
        const std::string reply = LastReply;
        co_await ReadReplyContinuationAsync(reply);
        FallBackToPassive(reply);
        co_return false;
    }
    if (InRange(ReplyCode, 301, 599))
        Failure(kind, LastReply);
    ExpectedCount = ftpreply::SizeFromReply(LastReply);
    co_await ReadReplyContinuationAsync(LastReply,
                                        [this](const std::string& line)
                                        {
                                            if (ExpectedCount == 0)
                                                ExpectedCount = ftpreply::SizeFromReply(line);
                                        });

    awaitingData = true;
    // A notice that came with the reply to RETR ends the wait before it starts.
    ServerNotice();
    if (passive)
        co_return true;
    bool accepted = false;
    if (!CancelRequested)
    {
        try
        {
            QTcpSocket* const connection = co_await DataConnection->AcceptAsync();
            DataConnection->AdoptSocket(connection);
            accepted = true;
        }
        catch (const ESockError&)
        {
            if (!RefusedBeforeData())
                throw;
        }
    }
    if (accepted || !RefusedBeforeData())
        co_return true;
    co_await TakeRefusalAsync();
    co_return false;
}

TTask<void> TNMFTP::TakeRefusalAsync()
{
    // The notice is shown and taken off the control connection before the next command.
    const std::string_view buffered = Buffered();
    const std::size_t end = buffered.find('\n');
    const std::string notice(buffered.substr(0, end == std::string_view::npos ? end : end + 1));
    awaitingData = false;
    co_await DrainReplyAsync();
    FallBackToPassive(notice);
}

bool TNMFTP::RefusedBeforeData() const
{
    // The user's abort is never taken for the server's refusal, even when both came.
    const std::string_view buffered = Buffered();
    return CancelRequested && !abortRequested && (buffered.starts_with("425") || buffered.starts_with("426"));
}

TTask<void> TNMFTP::ConnectPassiveAsync(TCmdType kind)
{
    ReportStatus(1, "EPSV");
    co_await TransactionAsync("EPSV");
    int port = ReplyCode == 229 ? ftpreply::ExtendedPassivePort(LastReply) : 0;
    // A server from before EPSV knows PASV.
    if (InRange(ReplyCode, 500, 599))
    {
        ReportStatus(1, "PASV");
        co_await TransactionAsync("PASV");
        port = ReplyCode == 227 ? ftpreply::PassivePort(LastReply) : 0;
    }
    if (port == 0)
    {
        Failure(kind, LastReply);
        throw ESockError(TSockReason::DataConnectionFailed, "Error creating Data Connection");
    }
    DataConnection->Host = PeerAddress().toString().toStdString();
    DataConnection->Port = port;
    try
    {
        co_await DataConnection->ConnectAsync();
    }
    catch (const ESockError& error)
    {
        // Told apart from the control connection's failure, as in active mode; a cancel or a
        // time-out stays what it is.
        if (error.Reason() != TSockReason::ConnectionFailed)
            throw;
        LastError = DataConnection->LastError;
        throw ESockError(TSockReason::DataConnectionFailed, "Error creating Data Connection");
    }
}

TTask<bool> TNMFTP::OfferActiveAsync(TCmdType kind)
{
    DataConnection->Port = 0;
    // Only the server we talk to may deliver the file, and only on the way we reach it.
    DataConnection->AcceptFrom = PeerAddress();
    DataConnection->ListenAddress = LocalAddress();
    DataConnection->Listen(true);

    std::string line;
    if (LocalAddress().protocol() == QAbstractSocket::IPv6Protocol)
    {
        QHostAddress local = LocalAddress();
        local.setScopeId({});
        line = "EPRT |2|" + local.toString().toStdString() + "|" +
               std::to_string(DataConnection->LocalPort()) + "|";
    }
    else
        line = "PORT " + LocalAddressText() + DataConnection->LocalPortText();
    ReportStatus(1, line);
    co_await TransactionAsync(line);
    if (InRange(ReplyCode, 500, 599))
    {
        FallBackToPassive(LastReply);
        co_return false;
    }
    if (InRange(ReplyCode, 301, 599))
        Failure(kind, LastReply);
    co_return true;
}

void TNMFTP::FallBackToPassive(const std::string& reply)
{
    passiveServers.insert(ServerName());
    const std::string text =
        "Passive FTP for " + ServerName() + " after " + std::string(bytetext::WithoutLineEnd(reply));
    ReportStatus(1, text);
    if (OnPassiveFallBack)
        OnPassiveFallBack(text);
}

std::string TNMFTP::ServerName() const
{
    return Host + ":" + std::to_string(Port);
}

std::int64_t TNMFTP::DataReceivedCount() const
{
    return DataConnection ? DataConnection->ReceivedCount : 0;
}

TTask<void> TNMFTP::DrainReplyAsync()
{
    CancelRequested = false;
    std::string text;
    // Taken straight from the buffer, and deaf to cancels: a notice arriving now must not abort
    // the drain itself.
    co_await Until(
        [&]
        {
            text.append(Buffered());
            ClearReceiveBuffer();
            return !text.empty();
        },
        {.ignoreCancel = true, .limitMilliseconds = DrainMilliseconds});
    ReportStatus(1, text);
}

void TNMFTP::Disconnect()
{
    RunToEnd(DisconnectAsync());
}

TTask<void> TNMFTP::DisconnectAsync()
{
    CancelRequested = false;
    if (!IsConnected())
        co_return;
    ReportStatus(1, "QUIT");
    Vendor = 2411;
    try
    {
        co_await DropStaleInputAsync();
        co_await TransactionAsync("QUIT");
        if (InRange(ReplyCode, 301, 599))
            throw FTPException(LastReply);
    }
    catch (...)
    {
        TPowersock::Disconnect();
        throw;
    }
    TPowersock::Disconnect();
}

void TNMFTP::Abort()
{
    abortRequested = true;
    // The data connection closes at once: a server that goes on sending would otherwise fill the
    // file while whoever aborted waits, for the server's goodbye say.
    if (DataConnection)
    {
        DataConnection->Cancel();
        DataConnection->RequestCloseSocket();
    }
    Cancel();
}
