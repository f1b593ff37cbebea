#include "robot/ftpaddress.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "links/checksumlist.h"
#include "links/linkextraction.h"
#include "links/linklist.h"
#include "links/urlresolution.h"
#include "net/ftpreply.h"
#include "platform/bytetext.h"
#include "platform/exception.h"

namespace
{
// A listing line longer than this names no file any file system could hold; it is passed over
// rather than kept whole in memory.
constexpr std::size_t MaxListingLine = 64 * 1024;

// A folder listing of more entries than this is no folder a run could work through; a server may
// list without end.
constexpr std::size_t MaxListingEntries = 1000000;

// A name as a link that SplitFtpAddress gives back unchanged: only a "%" that would be read as an
// escape is escaped itself, the ">" of a "->", which would end the link in a list entry, and
// every "/", so that the name stays a file of the listed folder whatever it looks like
// ("http://other/x.zip", "/etc/x", "../x").
std::string EscapedName(std::string_view name)
{
    std::string link;
    link.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i)
    {
        const char c = name[i];
        if (c == '%' && i + 2 < name.size() && bytetext::HexDigitValue(name[i + 1]) >= 0 &&
            bytetext::HexDigitValue(name[i + 2]) >= 0)
            link += "%25";
        else if (c == '>' && i > 0 && name[i - 1] == '-')
            link += "%3E";
        else if (c == '/')
            link += "%2F";
        else
            link += c;
    }
    return link;
}
} // namespace

std::string PercentDecoded(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const int high =
            text[i] == '%' && i + 2 < text.size() + 0 ? bytetext::HexDigitValue(text[i + 1]) : -1;
        const int low = high >= 0 ? bytetext::HexDigitValue(text[i + 2]) : -1;
        if (low < 0)
        {
            result += text[i];
            continue;
        }
        result += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return result;
}

TFtpAddress SplitFtpAddress(std::string_view address)
{
    const TURLParts parts = SplitURL(address);
    std::string path = parts.Directory + parts.FileName;
    TFtpAddress result;
    result.Host = parts.Host;
    result.Port = parts.Port;
    const std::size_t slash = path.rfind('/');
    result.File = PercentDecoded(slash == std::string::npos ? path : path.substr(slash + 1));
    result.Folder = PercentDecoded(slash == std::string::npos ? std::string() : path.substr(0, slash + 1));
    for (const std::string* part : {&result.Host, &result.Folder, &result.File})
        if (bytetext::HasControlByte(*part))
            throw Exception("Invalid URL");
    return result;
}

void FolderLinks(const std::string& listingFile, bool machineListing, std::string_view filterText,
                 TFilterMode mode, TLinkList& list, std::vector<std::string>* checksumLists)
{
    list.Clear();
    std::ifstream file(listingFile, std::ios::binary);
    if (!file)
        throw Exception("Cannot open file \"" + listingFile + "\". " + std::strerror(errno));
    auto take = [&](std::string_view line)
    {
        const std::string name = machineListing ? ftpreply::MlsdFileName(line) : ftpreply::NlstName(line);
        if (name.empty() || bytetext::HasControlByte(name))
            return;
        std::string link = EscapedName(name);
        if (bool beside = false; checksumLists && ChecksumListKind(link, beside) != TChecksumKind::None)
            checksumLists->push_back(link);
        if (PassesFilter(link, filterText, mode))
            list.AppendNew(std::move(link));
        if (list.Count() > MaxListingEntries)
            throw Exception("Folder listing too long: more than " + std::to_string(MaxListingEntries) +
                            " entries");
    };
    // Read in blocks, so that a line without end costs no more memory than its bound.
    std::string line;
    bool tooLong = false;
    char block[64 * 1024];
    while (file.read(block, sizeof block) || file.gcount() > 0)
    {
        const std::string_view bytes(block, static_cast<std::size_t>(file.gcount()));
        std::size_t start = 0;
        while (start < bytes.size())
        {
            const std::size_t end = bytes.find('\n', start);
            const std::string_view piece =
                bytes.substr(start, end == std::string_view::npos ? end : end - start);
            if (!tooLong)
                line.append(piece);
            if (line.size() > MaxListingLine)
            {
                tooLong = true;
                line.clear();
            }
            if (end == std::string_view::npos)
                break;
            if (!tooLong)
                take(line);
            line.clear();
            tooLong = false;
            start = end + 1;
        }
    }
    if (!tooLong && !line.empty())
        take(line);
}
