#pragma once

#include <string>

#include <QIODevice>

class QFile;

// Opens the file of that name for file, the name taken as the bytes it is: a name that is no
// UTF-8 (a byte of another code page) names the same file as it does for the system, where a
// QString would turn such a byte into another character. Creates the file for writing modes.
// Returns false with errno set.
bool OpenFileByName(QFile& file, const std::string& name, QIODevice::OpenMode mode);

// Writes all count bytes to file. When the file system takes only part of a write (a full disk,
// a quota, a size limit), Qt returns the short count without an error; the rest is written again,
// so that the write that fails carries the system's reason. Returns false with that reason in
// file.errorString().
bool WriteAll(QFile& file, const char* bytes, qint64 count);
