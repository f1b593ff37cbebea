#pragma once

#include <string>
#include <string_view>

// The fixed files beside the program, by kind.
enum TFixedFile : int
{
    FixedProgramDirectory = 0,
    FixedHTMLHeader = 1, // "HTMLHeader.html"
    FixedHTMLBody = 2,   // "HTMLBody.html"
    FixedURLList = 3,    // "URLList.kes"
    FixedFileList = 4,   // "FileList.kes"
    FixedHelp = 5,       // "Help/kesthelp.html"
    FixedLog = 6,        // "KestrowLog.txt"
};

// The program directory or one of its fixed files. The files the program writes go to the data
// directory when the program's own cannot be written. Any other kind is reported in a message
// box and gives an empty text.
std::string MakeFileName(int kind);

// Makes the directory with all missing parents; returns whether it exists afterwards.
// Raises Exception for an empty text ("Unable to create directory") or the file system's refusal.
bool MakePath(const std::string& directory);

// The outermost folder of directory that does not exist yet (what MakePath would create first),
// or an empty text when the directory exists.
std::string FirstMissingFolder(const std::string& directory);

// Removes directory and then its parents while they are empty, up to and including top; for
// folders made for a file that did not come. Nothing happens when top is empty.
void RemoveEmptyFolders(const std::string& directory, const std::string& top);
