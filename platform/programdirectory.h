#pragma once

#include <string>

namespace platform
{
// The directory of the running program, ending with "/": the home of the fixed files
// (log, list files, help page). $KESTROW_HOME overrides it.
std::string ProgramDirectory();
// The directory the running executable is in, whatever $KESTROW_HOME says. Ends with "/".
std::string ExecutableDirectory();

// Where the files the program writes for itself go (log, list files, preview page): the
// program directory when files can be created there and it is not a system folder under /usr
// (other than /usr/local), else $XDG_DATA_HOME/Kestrow/ (~/.local/share/Kestrow/), made when
// needed. Decided once for each program directory and data home. Ends with "/".
std::string DataDirectory();
} // namespace platform
