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
