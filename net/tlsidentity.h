#pragma once

#include <string>

#include <QByteArray>

// What an https server's certificate must name for the host a connection was made to.
struct TTlsIdentity
{
    // The host is an address, in any spelling the connection accepts (127.1, [::1%25lo]...): its
    // 4 or 16 bytes, which the certificate must list as an IP address. Empty for a name.
    QByteArray address;
    // The host is a name: its ASCII form without one trailing dot, checked against the
    // certificate's names and sent as server name indication.
    std::string name;
};

// host without brackets. The address is read exactly as the connection reads it, so that the
// certificate is checked for the machine the connection reached.
TTlsIdentity TlsIdentityOf(const std::string& host);
