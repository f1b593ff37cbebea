#pragma once

#include <string>

namespace platform
{
// The directory of the running program, ending with "/": the home of the fixed files
// (log, list files, help page). $KESTROW_HOME overrides it.
std::string ProgramDirectory();
} // namespace platform
