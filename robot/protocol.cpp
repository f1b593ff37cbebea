#include "robot/protocol.h"

#include "platform/bytetext.h"

TProtocol ProtocolOf(std::string_view address)
{
    const std::size_t schemeEnd = address.find("://");
    if (schemeEnd == std::string_view::npos)
        return TProtocol::Http;
    const std::string_view scheme = address.substr(0, schemeEnd);
    if (bytetext::EqualsNoCase(scheme, "http"))
        return TProtocol::Http;
    if (bytetext::EqualsNoCase(scheme, "https"))
        return TProtocol::Https;
    if (bytetext::EqualsNoCase(scheme, "ftp"))
        return TProtocol::Ftp;
    return TProtocol::Other;
}
