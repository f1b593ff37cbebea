#include "platform/exception.h"

#include <cstring>

namespace
{
std::string FileErrorText(const char* action, const std::string& path, const std::string& reason)
{
    return std::string("Cannot ") + action + " file \"" + path + "\". " + reason;
}
} // namespace

std::string FileOpenErrorText(const std::string& path, int errorNumber)
{
    return FileErrorText("open", path, std::strerror(errorNumber));
}

std::string FileCreateErrorText(const std::string& path, int errorNumber)
{
    return FileErrorText("create", path, std::strerror(errorNumber));
}

std::string FileWriteErrorText(const std::string& path, const std::string& reason)
{
    return FileErrorText("write", path, reason);
}

std::string FileReadErrorText(const std::string& path, const std::string& reason)
{
    return FileErrorText("read", path, reason);
}
