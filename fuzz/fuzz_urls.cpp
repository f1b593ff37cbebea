// Splits and resolves arbitrary addresses and checks that no output path leaves its directory.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "robot/savepaths.h"
#include "links/urlresolution.h"
#include "platform/exception.h"

namespace
{
bool HasDotSegment(const std::string& path)
{
    std::size_t start = 0;
    while (start <= path.size())
    {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "." || part == "..")
            return true;
        start = end + 1;
    }
    return false;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    const std::string page = input.substr(0, newline);
    const std::string entry = newline == std::string::npos ? input : input.substr(newline + 1);

    const TURLParts parts = SplitURL(entry);
    if (parts.Scheme.size() + parts.User.size() + parts.Host.size() + parts.Directory.size() +
            parts.FileName.size() >
        entry.size())
        std::abort();
    StripCredentials(entry);
    ResolveLink(page, entry);
    const std::string directory = LinkDirectory(entry);
    if (HasDotSegment(directory) || (!directory.empty() && directory.front() == '/'))
        std::abort();
    try
    {
        const std::string path = FileOutputPath("out/", entry, newline % 3 == 0, page, 7);
        if (path.rfind("out/", 0) != 0 || HasDotSegment(path.substr(4)) || path.size() == 4)
            std::abort();
    }
    catch (const Exception& error)
    {
        // A name that cannot be made is refused as an invalid file; an ftp:// entry whose name
        // decodes to a control byte, as an invalid address.
        const std::string message = error.what();
        const bool ftp = entry.size() >= 6 && (entry[0] | 0x20) == 'f' && (entry[1] | 0x20) == 't' &&
                         (entry[2] | 0x20) == 'p' && entry.compare(3, 3, "://") == 0;
        if (message.rfind("Invalid file ", 0) != 0 && !(ftp && message == "Invalid URL"))
            std::abort();
    }
    return 0;
}
