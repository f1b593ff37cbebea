#include "robot/pagelinks.h"

#include <cstdio>
#include <vector>

#include "links/linklist.h"
#include "platform/bytetext.h"
#include "robot/entrylist.h"

namespace
{
constexpr int ReadTitleBytes = 4097;
}

void MergeNewLinks(const TLinkList& seen, const TLinkList& found, TEntryList& target)
{
    std::vector<std::string> fresh;
    for (const std::string& link : found.Items())
        if (!seen.Contains(link))
            fresh.push_back(link);
    target.AddMany(fresh);
}

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
