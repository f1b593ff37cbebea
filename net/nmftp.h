#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "net/ftpreply.h"
#include "net/powersock.h"

// An error reply of the FTP server; the message is the reply line as read, line end included.
class FTPException : public Exception
{
  public:
    using Exception::Exception;
};

// The transfer types of TransferType, numbered as callers pass them.
enum class TTransferType : int
{
    Ascii = 1,
    Image = 2,
    Local8Bit = 3,
};

// The password of an anonymous login, in the conventional e-mail form.
inline constexpr const char* AnonymousPassword = "kestrow@example.com";

// The FTP client: log in, run single commands, change directory, set the transfer type, list a
// folder and download one file at a time over a data connection, in active mode (PORT, EPRT
// for IPv6) or passive mode (EPSV, else PASV).
// What a download brought: where it went on in the local file (-1 when it started the file
// afresh) and the bytes that came.
struct TFtpReceived
{
    std::int64_t ContinuedFrom = -1;
    std::int64_t Bytes = 0;
};

class TNMFTP : public TPowersock
{
    Q_OBJECT

  public:
    using TCmdType = ftpreply::TCmdType;
    using TFailureEvent = std::function<void(bool& handled, TCmdType transType)>;
    using TSuccessEvent = std::function<void(TCmdType transType)>;
    using TUnsupportedEvent = std::function<void(TCmdType transType)>;

    explicit TNMFTP(QObject* owner = nullptr);
    ~TNMFTP() override;

    // Properties.
    std::string UserID;
    std::string Password;
    int Vendor = 2411;
    bool ParseList = false;
    // The data connection is made by this side to the server (EPSV, else PASV), rather than by
    // the server to this side. The address in a reply to PASV is never taken: the data
    // connection goes to the control connection's peer, so a server cannot send this side to
    // another host. In active mode a server that refuses PORT or EPRT (5xx), or cannot open the
    // data connection (425, 426 before any data), is asked again in passive mode, and from then
    // on, until ForgetFallBacks, every transfer with it is passive.
    bool Passive = false;

    // Events. OnConnect hides the session's own: here it fires after the login, not at the TCP
    // connect.
    TNotifyEvent OnConnect;
    THandlerEvent OnAuthenticationNeeded;
    TFailureEvent OnFailure;
    TSuccessEvent OnSuccess;
    TUnsupportedEvent OnUnSupportedFunction;
    TNotifyEvent OnTransactionStart;
    TNotifyEvent OnTransactionStop;
    // Active mode failed with a server and passive mode takes over; the text says so.
    std::function<void(const std::string& text)> OnPassiveFallBack;

    // Connects and logs in; Connect drives it to its end.
    TTask<void> ConnectAsync() override;
    void Disconnect() override;
    TTask<void> DisconnectAsync();
    // The command and its reply, with every further line of a reply of several lines read and
    // reported; returns the first line.
    TTask<std::string> TransactionAsync(const std::string& command) override;
    void Abort() override;

    // Each command also as a step of a transfer.
    void DoCommand(const std::string& commandLine);
    // Returns the first line of the reply.
    TTask<std::string> DoCommandAsync(std::string commandLine);
    void ChangeDir(const std::string& path);
    TTask<void> ChangeDirAsync(std::string path);
    // A number that names no transfer type sends nothing.
    void TransferType(int kind);
    void TransferType(TTransferType kind) { TransferType(static_cast<int>(kind)); }
    TTask<void> TransferTypeAsync(int kind);
    // Fetches remote into local (into a file named remote when local is empty). With restartAt
    // above 0 the server is asked to send the file from that byte on (REST) and what comes is
    // added to local's first restartAt bytes; a server that refuses sends the whole file, which
    // replaces local's bytes. ContinuedFrom tells which it was.
    void Download(const std::string& remote, const std::string& local, std::int64_t restartAt = 0);
    TTask<TFtpReceived> DownloadAsync(std::string remote, std::string local, std::int64_t restartAt = 0);
    // Where the last download went on from (-1 when it started the file afresh).
    std::int64_t ContinuedFrom = -1;
    // Lists the current folder into the file local: MLSD's lines (with each entry's type), or
    // where the server knows no MLSD, NLST's names. Returns whether the listing is MLSD's.
    bool ListFolder(const std::string& local);
    TTask<bool> ListFolderAsync(std::string local);
    // The data connection's received count while a download runs, else 0.
    std::int64_t DataReceivedCount() const;
    // The control or the data connection waits only for the speed limit.
    bool HeldByRateLimit() const
    {
        return TPowersock::HeldByRateLimit() || (DataConnection && DataConnection->HeldByRateLimit());
    }
    // Servers that fell back to passive mode get another try in active mode.
    void ForgetFallBacks() { passiveServers.clear(); }

  private:
    // Reads and reports the further lines of the reply that firstLine opened, each handed to
    // eachLine; raises "Reply too long" past the bounds of one reply.
    // Raises FTPException with the reply when its code is not in 100..599.
    void RefuseReplyWithoutCode();
    TTask<void> ReadReplyContinuationAsync(std::string firstLine,
                                           std::function<void(const std::string& line)> eachLine = {});
    // What the server sent unasked before a command is no reply to it.
    TTask<void> DropStaleInputAsync();
    void ServerNotice();
    // Raises FTPException with reply unless an OnFailure handler takes it over.
    void Failure(TCmdType kind, const std::string& reply);
    // Takes what the server still sends after a cancelled transfer, so the next command does
    // not read it as its reply.
    TTask<void> DrainReplyAsync();
    void DisconnectQuietly();
    // Sends command (RETR, MLSD, NLST) over a fresh data connection and captures what comes on
    // it into local; kind goes to the events. With restartAt, REST asks for the rest from there
    // first (see Download).
    TTask<TFtpReceived> ReceiveDataAsync(std::string command, std::string local, TCmdType kind,
                                         std::int64_t restartAt = 0);
    // Opens the data connection, sends REST and command, and in active mode takes the server's
    // connection. Returns false when the server refused active mode: passive mode is then the
    // rule for it, and the whole is done again.
    TTask<bool> StartTransferAsync(const std::string& command, TCmdType kind, std::int64_t restartAt);
    // Asks for a passive port and connects to it on the control connection's peer.
    TTask<void> ConnectPassiveAsync(TCmdType kind);
    // Listens and names the address by PORT or EPRT; false when the server refused it (5xx).
    TTask<bool> OfferActiveAsync(TCmdType kind);
    // The server answered the transfer command with 425 or 426 before any data came.
    bool RefusedBeforeData() const;
    // Takes the server's refusal off the control connection and falls back to passive mode.
    TTask<void> TakeRefusalAsync();
    void FallBackToPassive(const std::string& reply);
    std::string ServerName() const;

    TPowersock* DataConnection = nullptr;
    // Between the reply to RETR and the end of the transfer.
    bool awaitingData = false;
    // Abort was called during the transfer under way.
    bool abortRequested = false;
    // "host:port" of the servers that needed passive mode.
    std::set<std::string> passiveServers;
};
