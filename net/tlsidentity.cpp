#include "net/tlsidentity.h"

#include <QHostAddress>
#include <QUrl>

TTlsIdentity TlsIdentityOf(const std::string& host)
{
    TTlsIdentity identity;
    QHostAddress address;
    if (address.setAddress(QString::fromStdString(host)))
    {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
        {
            const quint32 value = address.toIPv4Address();
            for (int shift = 24; shift >= 0; shift -= 8)
                identity.address.append(static_cast<char>((value >> shift) & 0xFF));
            return identity;
        }
        if (address.protocol() == QAbstractSocket::IPv6Protocol)
        {
            const Q_IPV6ADDR bytes = address.toIPv6Address();
            identity.address = QByteArray(reinterpret_cast<const char*>(bytes.c), 16);
            return identity;
        }
    }
    // "host." names the same host as "host"; server name indication must not carry the dot.
    std::string name = host;
    if (name.size() > 1 && name.back() == '.')
        name.pop_back();
    const QByteArray ace = QUrl::toAce(QString::fromStdString(name));
    identity.name = ace.isEmpty() ? name : ace.toStdString();
    return identity;
}
