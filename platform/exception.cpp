#include "platform/exception.h"

#include <cstring>

std::string FileOpenErrorText(const std::string& path, int errorNumber)
{
    return "Cannot open file \"" + path + "\". " + std::strerror(errorNumber);
}
