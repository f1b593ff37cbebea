#pragma once

#include <cstdint>
#include <functional>
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
// folder and download one file at a time over a data connection in active mode (PORT).
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

    // Events. OnConnect hides the session's own: here it fires after the login, not at the TCP
    // connect.
    TNotifyEvent OnConnect;
    THandlerEvent OnAuthenticationNeeded;
    TFailureEvent OnFailure;
    TSuccessEvent OnSuccess;
    TUnsupportedEvent OnUnSupportedFunction;
    TNotifyEvent OnTransactionStart;
    TNotifyEvent OnTransactionStop;

    void Connect() override;
    void Disconnect() override;
    // The command and its reply, with every further line of a reply of several lines read and
    // reported; returns the first line.
    std::string Transaction(const std::string& command) override;
    void Abort() override;

    void DoCommand(const std::string& commandLine);
    void ChangeDir(const std::string& path);
    // A number that names no transfer type sends nothing.
    void TransferType(int kind);
    void TransferType(TTransferType kind) { TransferType(static_cast<int>(kind)); }
    // Fetches remote into local (into a file named remote when local is empty). With restartAt
    // above 0 the server is asked to send the file from that byte on (REST) and what comes is
    // added to local's first restartAt bytes; a server that refuses sends the whole file, which
    // replaces local's bytes. ContinuedFrom tells which it was.
    void Download(const std::string& remote, const std::string& local, std::int64_t restartAt = 0);
    // Where the last download went on from (-1 when it started the file afresh).
    std::int64_t ContinuedFrom = -1;
    // Lists the current folder into the file local: MLSD's lines (with each entry's type), or
    // where the server knows no MLSD, NLST's names. Returns whether the listing is MLSD's.
    bool ListFolder(const std::string& local);
    // The data connection's received count while a download runs, else 0.
    std::int64_t DataReceivedCount() const;

  private:
    // Reads and reports the further lines of the reply that firstLine opened, each handed to
    // eachLine; raises "Reply too long" past the bounds of one reply.
    // Raises FTPException with the reply when its code is not in 100..599.
    void RefuseReplyWithoutCode();
    void ReadReplyContinuation(const std::string& firstLine,
                               const std::function<void(const std::string& line)>& eachLine = {});
    void DropStaleInput();
    void ServerNotice();
    // Raises FTPException with reply unless an OnFailure handler takes it over.
    void Failure(TCmdType kind, const std::string& reply);
    // Takes what the server still sends after a cancelled transfer, so the next command does
    // not read it as its reply.
    void DrainReply();
    void DisconnectQuietly();
    // Sends command (RETR, MLSD, NLST) over a fresh data connection and captures what comes on
    // it into local; kind goes to the events. With restartAt, REST asks for the rest from there
    // first (see Download).
    void ReceiveData(const std::string& command, const std::string& local, TCmdType kind,
                     std::int64_t restartAt = 0);

    TPowersock* DataConnection = nullptr;
    // Between the reply to RETR and the end of the transfer.
    bool awaitingData = false;
};
