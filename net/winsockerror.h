#pragma once

#include <string_view>

// The Winsock error numbers this program reports, whatever the system underneath says.
enum class TWinsockError : int
{
    NoError = 0,
    Interrupted = 10004,
    BadFileNumber = 10009,
    PermissionDenied = 10013,
    BadAddress = 10014,
    InvalidArgument = 10022,
    TooManyOpenFiles = 10024,
    WouldBlock = 10035,
    InProgress = 10036,
    AlreadyInProgress = 10037,
    NotASocket = 10038,
    DestinationRequired = 10039,
    MessageTooLong = 10040,
    WrongProtocolType = 10041,
    BadProtocolOption = 10042,
    ProtocolNotSupported = 10043,
    SocketTypeNotSupported = 10044,
    OperationNotSupported = 10045,
    ProtocolFamilyNotSupported = 10046,
    AddressFamilyNotSupported = 10047,
    AddressInUse = 10048,
    AddressNotAvailable = 10049,
    NetworkDown = 10050,
    NetworkUnreachable = 10051,
    NetworkReset = 10052,
    ConnectionAborted = 10053,
    ConnectionReset = 10054,
    NoBufferSpace = 10055,
    AlreadyConnected = 10056,
    NotConnected = 10057,
    Shutdown = 10058,
    TooManyReferences = 10059,
    TimedOut = 10060,
    ConnectionRefused = 10061,
    SymbolicLinkLoop = 10062,
    NameTooLong = 10063,
    HostDown = 10064,
    HostUnreachable = 10065,
    DirectoryNotEmpty = 10066,
    TooManyProcesses = 10067,
    TooManyUsers = 10068,
    DiscQuotaExceeded = 10069,
    StaleFileHandle = 10070,
    RemotePathTooDeep = 10071,
    SubsystemUnavailable = 10091,
    VersionNotSupported = 10092,
    NotInitialised = 10093,
    HostNotFound = 11001,
    TryAgain = 11002,
    NoRecovery = 11003,
    NoData = 11004,
};

constexpr int WinsockNumber(TWinsockError error)
{
    return static_cast<int>(error);
}

// The table text of a Winsock error number, or an empty view for a number not in the table.
std::string_view WinsockText(int errorNumber);
