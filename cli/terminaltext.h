#pragma once

#include <string>
#include <string_view>

// A line as a terminal may show it: every control byte (below 0x20, and 0x7F) written as \xNN,
// so that a page cannot move the cursor, ring the bell or change the colours of whoever reads
// the log. Bytes above 0x7F pass, as they may be letters.
std::string TerminalSafe(std::string_view line);
