#pragma once

#include <exception>
#include <string>

#include "net/winsockerror.h"
#include "platform/exception.h"

// Why a socket operation failed, so that callers decide by a code and leave the message to
// the user.
enum class TSockReason
{
    Unspecified,
    AlreadyConnected,
    LookupTimedOut,
    LookupCanceled,
    LookupFailed,
    NullRemoteAddress,
    ConnectionTimedOut,
    ConnectionCanceled,
    ConnectionFailed,
    // The TLS handshake of an https connection failed: no TLS, an untrusted certificate...
    TlsHandshakeFailed,
    // A proxy answered the request for an https tunnel with anything but success or a login.
    ProxyRefusedTunnel,
    // A failed socket call; WinsockError() tells which.
    Winsock,
    // A wait ended by a cancel (EAbortError).
    Aborted,
    LineTooLong,
    AcceptCanceled,
    DataConnectionFailed,
    TooManyRedirects,
    UrlTooLong,
    // What a peer sent is beyond bounds or sense: the header of an HTTP response, one FTP reply,
    // a status line without a code in 100..599.
    HeaderTooLong,
    ReplyTooLong,
    BadStatusLine,
    // An HTTP response's Content-Length is no plain number, or several disagree.
    BadContentLength,
};

class ESockError : public Exception
{
  public:
    explicit ESockError(const std::string& message) : Exception(message) {}
    ESockError(TSockReason reason, const std::string& message) : Exception(message), reason(reason) {}
    ESockError(TWinsockError error, const std::string& message)
        : Exception(message), reason(TSockReason::Winsock), winsockError(error)
    {
    }

    TSockReason Reason() const { return reason; }
    TWinsockError WinsockError() const { return winsockError; }

  private:
    TSockReason reason = TSockReason::Unspecified;
    TWinsockError winsockError = TWinsockError::NoError;
};

// A wait that ended because someone cancelled it.
class EAbortError : public ESockError
{
  public:
    explicit EAbortError(const std::string& message) : ESockError(TSockReason::Aborted, message) {}
};

// The reason of a socket error; Unspecified for any other exception.
inline TSockReason SockReasonOf(const std::exception& error)
{
    const auto* sockError = dynamic_cast<const ESockError*>(&error);
    return sockError ? sockError->Reason() : TSockReason::Unspecified;
}
