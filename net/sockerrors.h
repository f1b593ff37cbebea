#pragma once

#include <QAbstractSocket>
#include <QHostInfo>
#include <QString>

#include "net/winsockerror.h"

// Qt's socket and lookup errors mapped onto the Winsock numbers the program reports.
namespace sockerrors
{
// The Winsock error for a socket error reported by Qt. errorString refines Qt's catch-all
// network error into "network unreachable", "host unreachable" and the like.
TWinsockError FromSocketError(QAbstractSocket::SocketError error, const QString& errorString = QString());

// The Winsock error for a failed host lookup.
TWinsockError FromLookupError(QHostInfo::HostInfoError error);
} // namespace sockerrors
