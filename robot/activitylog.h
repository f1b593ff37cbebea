#pragma once

#include <string>

// Appends one line and its CR LF to the activity log file beside the program. The file is
// opened, written and closed for each line, so no handle stays open between lines; a log file
// that cannot be opened is passed over without a word. Returns why a line could not be written
// (a full disk), or an empty text.
std::string AppendLogLine(const std::string& line);
