#pragma once

#include <string>

// Makes the directory with all missing parents; returns whether it exists afterwards.
// Raises Exception for an empty text ("Unable to create directory") or the file system's refusal.
bool MakePath(const std::string& directory);

// The outermost folder of directory that does not exist yet (what MakePath would create first),
// or an empty text when the directory exists.
std::string FirstMissingFolder(const std::string& directory);

// Removes directory and then its parents while they are empty, up to and including top; for
// folders made for a file that did not come. Nothing happens when top is empty.
void RemoveEmptyFolders(const std::string& directory, const std::string& top);
