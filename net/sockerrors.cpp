#include "net/sockerrors.h"

#include <algorithm>
#include <array>
#include <utility>

namespace sockerrors
{
namespace
{
struct TErrorEntry
{
    int number;
    std::string_view text;
};

constexpr std::array<TErrorEntry, 50> ErrorTable{{
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Wrong protocol type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "Incompatible version of WINSOCK.DLL"},
    {10093, "Successful WSAStartup not yet performed"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
}};

// Qt's socket errors and the Winsock numbers that stand for them.
constexpr std::array<std::pair<QAbstractSocket::SocketError, int>, 23> QtErrorTable{{
    {QAbstractSocket::ConnectionRefusedError, 10061},
    {QAbstractSocket::RemoteHostClosedError, 10054},
    {QAbstractSocket::HostNotFoundError, 11001},
    {QAbstractSocket::SocketAccessError, 10013},
    {QAbstractSocket::SocketResourceError, 10055},
    {QAbstractSocket::SocketTimeoutError, 10060},
    {QAbstractSocket::DatagramTooLargeError, 10040},
    {QAbstractSocket::NetworkError, 10050},
    {QAbstractSocket::AddressInUseError, 10048},
    {QAbstractSocket::SocketAddressNotAvailableError, 10049},
    {QAbstractSocket::UnsupportedSocketOperationError, 10045},
    {QAbstractSocket::UnfinishedSocketOperationError, 10036},
    {QAbstractSocket::ProxyAuthenticationRequiredError, 10013},
    {QAbstractSocket::SslHandshakeFailedError, 10053},
    {QAbstractSocket::ProxyConnectionRefusedError, 10061},
    {QAbstractSocket::ProxyConnectionClosedError, 10054},
    {QAbstractSocket::ProxyConnectionTimeoutError, 10060},
    {QAbstractSocket::ProxyNotFoundError, 11001},
    {QAbstractSocket::ProxyProtocolError, 10053},
    {QAbstractSocket::OperationError, 10022},
    {QAbstractSocket::SslInternalError, 10053},
    {QAbstractSocket::SslInvalidUserDataError, 10053},
    {QAbstractSocket::TemporaryError, 10035},
}};

// Qt folds several system errors into NetworkError; its message tells them apart.
constexpr std::array<std::pair<std::string_view, int>, 4> NetworkErrorTexts{{
    {"Network unreachable", 10051},
    {"Host unreachable", 10065},
    {"Connection timed out", 10060},
    {"Connection reset", 10054},
}};
} // namespace

std::string_view TableText(int errorNumber)
{
    const auto entry = std::find_if(ErrorTable.begin(), ErrorTable.end(),
                                    [errorNumber](const TErrorEntry& e) { return e.number == errorNumber; });
    return entry == ErrorTable.end() ? std::string_view() : entry->text;
}

int FromSocketError(QAbstractSocket::SocketError error, const QString& errorString)
{
    if (error == QAbstractSocket::NetworkError)
        for (const auto& [text, number] : NetworkErrorTexts)
            if (errorString.contains(QLatin1StringView(text.data(), static_cast<qsizetype>(text.size())),
                                     Qt::CaseInsensitive))
                return number;
    const auto entry = std::find_if(QtErrorTable.begin(), QtErrorTable.end(),
                                    [error](const auto& e) { return e.first == error; });
    return entry == QtErrorTable.end() ? 10053 : entry->second;
}

int FromLookupError(QHostInfo::HostInfoError error)
{
    return error == QHostInfo::HostNotFound ? 11001 : error == QHostInfo::NoError ? 0 : 11003;
}
} // namespace sockerrors
