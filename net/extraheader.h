#pragma once

#include <string>
#include <string_view>

// Why a "Name: value" line the user wants on every request may not go, or empty when it may:
// a line break or other control byte, no "Name:", a name that is no HTTP token, or a header the
// client writes itself (pointing to the option that sets it where there is one).
std::string CheckExtraHeader(std::string_view line);
