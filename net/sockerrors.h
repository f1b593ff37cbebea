#pragma once

#include <string_view>

#include <QAbstractSocket>
#include <QHostInfo>
#include <QString>

// Socket errors keep their Winsock numbers and texts, whatever Qt reports underneath.
namespace sockerrors
{
// The table text for a Winsock error number, or an empty view for a number not in the table.
std::string_view TableText(int errorNumber);

// The Winsock number for a socket error reported by Qt. errorString refines Qt's catch-all
// network error into "network unreachable", "host unreachable" and the like.
int FromSocketError(QAbstractSocket::SocketError error, const QString& errorString = QString());

// The Winsock number for a failed host lookup.
int FromLookupError(QHostInfo::HostInfoError error);
} // namespace sockerrors
