#pragma once

#include <string>
#include <string_view>

// The path trimmed, with one "/" at its end unless it is empty.
std::string AddBackslash(std::string_view path);

// The output directory of a new URL List entry: AddBackslash of the path, where a relative one
// (and "~" or "~/...") is taken inside the home folder, so that the entry does not depend on the
// folder the program was started from. An empty path stays empty.
std::string OutputDirectoryOf(std::string_view path, std::string_view home);

// Where the run saves a page: the output directory + the file-name-safe page address.
std::string PageFileName(std::string_view outputDir, std::string_view pageAddress);

// Where the run saves a File List entry. patentNumber is the host of a patent URL List entry
// (empty for any other entry) and position the entry's place in the File List from 1.
// Raises Exception("Invalid file " + path) when the path would not lie inside outputDir.
std::string FileOutputPath(std::string_view outputDir, std::string_view entry, bool patentPage = false,
                           std::string_view patentNumber = {}, int position = 0);
