#pragma once

#include <optional>
#include <string_view>

// The port a text of digits names, 1 to 65535; nothing for any other text, the empty one
// included. A default port is the caller's business before it asks.
std::optional<int> PortFromText(std::string_view text);

// The same, raising Exception "Invalid port " followed by the text for any other text.
int ParsePort(std::string_view text);
