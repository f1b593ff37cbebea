#include "net/port.h"

#include <string>

#include "platform/bytetext.h"
#include "platform/exception.h"

std::optional<int> PortFromText(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    int port = 0;
    for (char c : text)
    {
        if (!bytetext::IsDigit(c))
            return std::nullopt;
        port = port * 10 + (c - '0');
        if (port > 65535)
            return std::nullopt;
    }
    return port > 0 ? std::optional<int>(port) : std::nullopt;
}

int ParsePort(std::string_view text)
{
    const std::optional<int> port = PortFromText(text);
    if (!port)
        throw Exception("Invalid port " + std::string(text));
    return *port;
}
