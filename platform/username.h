#pragma once

#include <string>

namespace platform
{
// The login name of the user who runs the program; empty when the system has none for it.
std::string LoggedOnUserName();
} // namespace platform
