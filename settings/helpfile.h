#pragma once

#include <string>
#include <vector>

// Where the help page "Help/kesthelp.html" is looked for, in order: in the program's directory
// ($KESTROW_HOME when set), beside the executable (the installed copy), then under
// $XDG_DATA_HOME/Kestrow/ and each of $XDG_DATA_DIRS/kestrow/.
std::vector<std::string> HelpFileCandidates();

// The first of them that exists; the one beside the program when none does.
std::string HelpFileName();

// Opens the help page with the desktop's handler for .html files. Gives back a shell result:
// 33 or more for success, else 2 (no such file), 3 (no such folder), 5 (not readable) or
// 31 (nothing opens .html files).
int OpenHelpFile(const std::string& helpFile);

// The message for a shell result below 33 when opening the help page, naming the page; empty
// for success.
std::string HelpFailureText(int result, const std::string& helpFile);
