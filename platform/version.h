#pragma once

#include <string>

namespace platform
{
// The program's version in the user's decimal format ("1.14", or "1,14" where the comma is the
// separator), from the build's project version.
std::string VersionText();
} // namespace platform
