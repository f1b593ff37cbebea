#pragma once

#include <string>
#include <string_view>

// The fixed files beside the program, by kind: 0 the program directory, 1 "HTMLHeader.html",
// 2 "HTMLBody.html", 3 "URLList.kes", 4 "FileList.kes", 5 "Help/kesthelp.html",
// 6 "KestrowLog.txt". Any other kind is reported in a message box and gives an empty text.
std::string MakeFileName(int kind);

// The path trimmed, with one "/" at its end unless it is empty.
std::string AddBackslash(std::string_view path);

// Makes the directory with all missing parents; returns whether it exists afterwards.
// Raises Exception for an empty text ("Unable to create directory") or the file system's refusal.
bool MakePath(const std::string& directory);

// Where the run saves a page: the output directory + the file-name-safe page address.
std::string PageFileName(std::string_view outputDir, std::string_view pageAddress);

// Where the run saves a File List entry. patentNumber is the host of a patent URL List entry
// (empty for any other entry) and position the entry's place in the File List from 1.
// Raises Exception("Invalid file " + path) when the path would not lie inside outputDir.
std::string FileOutputPath(std::string_view outputDir, std::string_view entry, bool patentPage = false,
                           std::string_view patentNumber = {}, int position = 0);
