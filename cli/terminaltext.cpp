#include "cli/terminaltext.h"

std::string TerminalSafe(std::string_view line)
{
    static constexpr char Hex[] = "0123456789abcdef";
    std::string safe;
    safe.reserve(line.size());
    for (const char c : line)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F)
        {
            safe += c;
            continue;
        }
        safe += "\\x";
        safe += Hex[byte >> 4];
        safe += Hex[byte & 15];
    }
    return safe;
}
