#include "net/extraheader.h"

#include <algorithm>
#include <array>

#include "platform/bytetext.h"

namespace
{
struct TOwnHeader
{
    std::string_view name;
    std::string_view instead; // where the user sets it, if anywhere
};

// What the request builder, the login handling and the tunnel write; a second copy would
// contradict them or change how the body is framed.
constexpr std::array<TOwnHeader, 19> OwnHeaders{{
    {"Host", ""},
    {"Authorization", "give the login with --user and --password"},
    {"Proxy-Authorization", "give the proxy's login with --proxy-user and --proxy-password"},
    {"Proxy-Connection", ""},
    {"Cookie", "give a cookies file with --load-cookies"},
    {"User-Agent", "set it with --user-agent"},
    {"Range", ""},
    {"If-Range", ""},
    {"Content-Length", ""},
    {"Content-Type", ""},
    {"Transfer-Encoding", ""},
    {"TE", ""},
    {"Connection", ""},
    {"Keep-Alive", ""},
    {"Upgrade", ""},
    {"Expect", ""},
    {"Trailer", ""},
    {"Accept", ""},
    {"URI-header", ""},
}};

bool IsTokenByte(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F)
        return false;
    return std::string_view("\"(),/:;<=>?@[\\]{}").find(c) == std::string_view::npos;
}
} // namespace

std::string CheckExtraHeader(std::string_view line)
{
    if (bytetext::HasControlByte(line))
        return "a header may not hold a line break, NUL or other control byte";
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return "'" + std::string(line) + "' is no header: \"Name: value\" expected";
    const std::string_view name = line.substr(0, colon);
    if (!std::all_of(name.begin(), name.end(), IsTokenByte))
        return "'" + std::string(name) + "' is no header name: letters, digits and !#$%&'*+-.^_`|~ only";
    for (const TOwnHeader& own : OwnHeaders)
        if (bytetext::EqualsNoCase(name, own.name))
            return std::string(own.name) + " is written by Kestrow itself" +
                   (own.instead.empty() ? std::string() : ": " + std::string(own.instead));
    return {};
}
