#include "robot/pagetitle.h"

#include <cstdio>

#include "platform/bytetext.h"

namespace
{
// How much of a file's start is looked at for its title.
constexpr int ReadTitleBytes = 4097;
} // namespace

bool ReadPageTitle(const std::string& fileName, std::string& title)
{
    title.clear();
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
    if (!file)
        return false;
    char buffer[ReadTitleBytes + 1] = {};
    std::fread(buffer, 1, ReadTitleBytes, file);
    std::fclose(file);
    const std::string text = bytetext::UpperCase(buffer);
    if (text.find("<HTML>") == std::string::npos)
        return false;
    const std::size_t open = text.find("<TITLE>");
    const std::size_t close = text.find("</TITLE>");
    if (open != std::string::npos && close != std::string::npos && close > open)
        title = text.substr(open + 7, close - open - 7);
    return true;
}
