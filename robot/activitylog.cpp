#include "robot/activitylog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/exception.h"
#include "robot/programfiles.h"

std::string AppendLogLine(const std::string& line)
{
    const std::string fileName = MakeFileName(TFixedFile::Log);
    std::FILE* file = std::fopen(fileName.c_str(), "ab");
    if (!file)
        return {};
    const std::string text = line + "\r\n";
    // The line reaches the disk only when the file is closed; a full disk shows there.
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    int error = errno;
    if (std::fclose(file) != 0 && written)
    {
        written = false;
        error = errno;
    }
    return written ? std::string() : FileWriteErrorText(fileName, std::strerror(error));
}
