#include "net/sockerrors.h"

#include <algorithm>
#include <array>
#include <utility>

namespace sockerrors
{
namespace
{
using enum TWinsockError;

// Qt's socket errors and the Winsock numbers that stand for them.
constexpr std::array<std::pair<QAbstractSocket::SocketError, TWinsockError>, 23> QtErrorTable{{
    {QAbstractSocket::ConnectionRefusedError, ConnectionRefused},
    {QAbstractSocket::RemoteHostClosedError, ConnectionReset},
    {QAbstractSocket::HostNotFoundError, HostNotFound},
    {QAbstractSocket::SocketAccessError, PermissionDenied},
    {QAbstractSocket::SocketResourceError, NoBufferSpace},
    {QAbstractSocket::SocketTimeoutError, TimedOut},
    {QAbstractSocket::DatagramTooLargeError, MessageTooLong},
    {QAbstractSocket::NetworkError, NetworkDown},
    {QAbstractSocket::AddressInUseError, AddressInUse},
    {QAbstractSocket::SocketAddressNotAvailableError, AddressNotAvailable},
    {QAbstractSocket::UnsupportedSocketOperationError, OperationNotSupported},
    {QAbstractSocket::UnfinishedSocketOperationError, InProgress},
    {QAbstractSocket::ProxyAuthenticationRequiredError, PermissionDenied},
    {QAbstractSocket::SslHandshakeFailedError, ConnectionAborted},
    {QAbstractSocket::ProxyConnectionRefusedError, ConnectionRefused},
    {QAbstractSocket::ProxyConnectionClosedError, ConnectionReset},
    {QAbstractSocket::ProxyConnectionTimeoutError, TimedOut},
    {QAbstractSocket::ProxyNotFoundError, HostNotFound},
    {QAbstractSocket::ProxyProtocolError, ConnectionAborted},
    {QAbstractSocket::OperationError, InvalidArgument},
    {QAbstractSocket::SslInternalError, ConnectionAborted},
    {QAbstractSocket::SslInvalidUserDataError, ConnectionAborted},
    {QAbstractSocket::TemporaryError, WouldBlock},
}};

// Qt folds several system errors into NetworkError; its message tells them apart.
constexpr std::array<std::pair<std::string_view, TWinsockError>, 4> NetworkErrorTexts{{
    {"Network unreachable", NetworkUnreachable},
    {"Host unreachable", HostUnreachable},
    {"Connection timed out", TimedOut},
    {"Connection reset", ConnectionReset},
}};
} // namespace

TWinsockError FromSocketError(QAbstractSocket::SocketError error, const QString& errorString)
{
    if (error == QAbstractSocket::NetworkError)
        for (const auto& [text, winsock] : NetworkErrorTexts)
            if (errorString.contains(QLatin1StringView(text.data(), static_cast<qsizetype>(text.size())),
                                     Qt::CaseInsensitive))
                return winsock;
    const auto entry = std::find_if(QtErrorTable.begin(), QtErrorTable.end(),
                                    [error](const auto& e) { return e.first == error; });
    return entry == QtErrorTable.end() ? ConnectionAborted : entry->second;
}

TWinsockError FromLookupError(QHostInfo::HostInfoError error)
{
    return error == QHostInfo::HostNotFound ? HostNotFound
           : error == QHostInfo::NoError    ? NoError
                                            : NoRecovery;
}
} // namespace sockerrors
