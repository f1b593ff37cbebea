#include "net/winsockerror.h"

#include <algorithm>
#include <array>

namespace
{
struct TErrorEntry
{
    TWinsockError error;
    std::string_view text;
};

using enum TWinsockError;

constexpr std::array<TErrorEntry, 50> ErrorTable{{
    {Interrupted, "Interrupted system call"},
    {BadFileNumber, "Bad file number"},
    {PermissionDenied, "Permission denied"},
    {BadAddress, "Bad address"},
    {InvalidArgument, "Invalid argument"},
    {TooManyOpenFiles, "Too many open files"},
    {WouldBlock, "Operation would block"},
    {InProgress, "Operation now in progress"},
    {AlreadyInProgress, "Operation already in progress"},
    {NotASocket, "Socket operation on non-socket"},
    {DestinationRequired, "Destination address required"},
    {MessageTooLong, "Message too long"},
    {WrongProtocolType, "Wrong protocol type for socket"},
    {BadProtocolOption, "Bad protocol option"},
    {ProtocolNotSupported, "Protocol not supported"},
    {SocketTypeNotSupported, "Socket type not supported"},
    {OperationNotSupported, "Operation not supported on socket"},
    {ProtocolFamilyNotSupported, "Protocol family not supported"},
    {AddressFamilyNotSupported, "Address family not supported by protocol family"},
    {AddressInUse, "Address already in use"},
    {AddressNotAvailable, "Can't assign requested address"},
    {NetworkDown, "Network is down"},
    {NetworkUnreachable, "Network is unreachable"},
    {NetworkReset, "Network dropped connection or reset"},
    {ConnectionAborted, "Software caused connection abort"},
    {ConnectionReset, "Connection reset by peer"},
    {NoBufferSpace, "No buffer space available"},
    {AlreadyConnected, "Socket is already connected"},
    {NotConnected, "Socket is not connected"},
    {Shutdown, "Can't send after socket shutdown"},
    {TooManyReferences, "Too many references, can't splice"},
    {TimedOut, "Connection timed out"},
    {ConnectionRefused, "Connection refused"},
    {SymbolicLinkLoop, "Too many levels of symbolic links"},
    {NameTooLong, "File name too long"},
    {HostDown, "Host is down"},
    {HostUnreachable, "No route to Host"},
    {DirectoryNotEmpty, "Directory not empty"},
    {TooManyProcesses, "Too many processes"},
    {TooManyUsers, "Too many users"},
    {DiscQuotaExceeded, "Disc quota exceeded"},
    {StaleFileHandle, "Stale NFS file handle"},
    {RemotePathTooDeep, "Too many levels of remote in path"},
    {SubsystemUnavailable, "Network subsystem is unavailable"},
    {VersionNotSupported, "Incompatible version of WINSOCK.DLL"},
    {NotInitialised, "Successful WSAStartup not yet performed"},
    {HostNotFound, "Host not found"},
    {TryAgain, "Non-Authoritative Host not found"},
    {NoRecovery, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
    {NoData, "Valid name, no data record of requested type"},
}};
} // namespace

std::string_view WinsockText(int errorNumber)
{
    const auto entry =
        std::find_if(ErrorTable.begin(), ErrorTable.end(),
                     [errorNumber](const TErrorEntry& e) { return WinsockNumber(e.error) == errorNumber; });
    return entry == ErrorTable.end() ? std::string_view() : entry->text;
}
