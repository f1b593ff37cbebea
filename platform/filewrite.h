#pragma once

#include <QtGlobal>

class QFile;

// Writes all count bytes to file. When the file system takes only part of a write (a full disk,
// a quota, a size limit), Qt returns the short count without an error; the rest is written again,
// so that the write that fails carries the system's reason. Returns false with that reason in
// file.errorString().
bool WriteAll(QFile& file, const char* bytes, qint64 count);
