#pragma once

#include <string>

// The fixed files beside the program, by kind.
enum class TFixedFile : int
{
    ProgramDirectory = 0,
    HTMLHeader = 1, // "HTMLHeader.html"
    HTMLBody = 2,   // "HTMLBody.html"
    URLList = 3,    // "URLList.kes"
    FileList = 4,   // "FileList.kes"
    Help = 5,       // "Help/kesthelp.html"
    Log = 6,        // "KestrowLog.txt"
};

// The program directory or one of its fixed files. The files the program writes go to the data
// directory when the program's own cannot be written. Any other kind is reported in a message
// box and gives an empty text.
std::string MakeFileName(TFixedFile kind);
