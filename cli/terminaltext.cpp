#include "cli/terminaltext.h"

#include "platform/bytetext.h"

std::string TerminalSafe(std::string_view line)
{
    return bytetext::HexEscaped(
        line, [](unsigned char byte) { return byte < 0x20 || byte == 0x7F; }, "\\x", false);
}
