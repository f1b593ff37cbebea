// Addresses whose host is an IPv6 literal in brackets, with and without a port: the host keeps
// its brackets wherever an address is taken apart, the port is what follows them, and the Host
// field made of the two takes the request to the same place again.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "links/urlresolution.h"
#include "net/httpparse.h"
#include "platform/exception.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const bool tls = data[0] & 1;
    const bool withPort = data[0] & 2;
    const int port = 1 + ((data[1] << 8) | data[2]) % 65535;
    std::string inside(reinterpret_cast<const char*>(data) + 3, size - 3);
    // What may stand between the brackets of an address: no bracket, slash, "@" or control byte.
    for (char& c : inside)
        if (c == '[' || c == ']' || c == '/' || c == '@' || c == '?' || c == '#' ||
            static_cast<unsigned char>(c) < 0x21 || c == 0x7f)
            c = ':';
    // "[]" names no address at all.
    if (inside.empty())
        return 0;
    const std::string host = "[" + inside + "]";
    const std::string scheme = tls ? "https://" : "http://";
    const std::string address = scheme + host + (withPort ? ":" + std::to_string(port) : "") + "/dir/f.zip";

    std::string_view splitHost, splitPort;
    bool hasPort = false;
    const std::string authority = host + (withPort ? ":" + std::to_string(port) : "");
    httpparse::SplitHostPort(authority, splitHost, splitPort, hasPort);
    if (splitHost != host || hasPort != withPort || (withPort && splitPort != std::to_string(port)))
        std::abort();
    if (httpparse::HostWithoutBrackets(host) != inside)
        std::abort();

    const TURLParts parts = SplitURL(address);
    if (parts.Host != host || parts.Port != (withPort ? std::to_string(port) : "") ||
        parts.FileName != "f.zip")
        std::abort();
    if (ResolveLink(address, "g.zip") !=
        scheme + host + (withPort ? ":" + std::to_string(port) : "") + "/dir/g.zip")
        std::abort();

    try
    {
        const httpparse::TRequestTarget target = httpparse::ParseRequestURL(address, "", 0);
        const int expectedPort = withPort ? port : (tls ? 443 : 80);
        if (target.host != host || target.port != expectedPort || target.requestPath != "/dir/f.zip")
            std::abort();
        // A request made with the Host field reaches the same host and port.
        const std::string field = httpparse::HostField(target.host, target.port, tls);
        const httpparse::TRequestTarget again = httpparse::ParseRequestURL(scheme + field + "/x", "", 0);
        if (again.host != host || again.port != expectedPort)
            std::abort();
    }
    catch (const Exception&)
    {
        // Only a port out of range is refused, and the port here never is.
        std::abort();
    }
    return 0;
}
