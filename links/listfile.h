#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// List files hold one entry per line, each followed by CR LF; reading also takes lone CR or
// LF as line ends and stops at a NUL byte. Entries are taken as they stand.
std::vector<std::string> ParseListText(std::string_view bytes);
std::string ListText(const std::vector<std::string>& entries);
// The lines of a list text, handed over in order as views into it.
void ForEachListLine(std::string_view bytes, const std::function<void(std::string_view line)>& take);

// All raise Exception with the file system's error.
std::vector<std::string> ReadListFile(const std::string& fileName);
void WriteListFile(const std::string& fileName, const std::vector<std::string>& entries);
// Writes a new file beside the old one and puts it in its place, so that a failure on the way
// leaves the old file whole.
void ReplaceListFile(const std::string& fileName, const std::vector<std::string>& entries);
