#include "robot/savepaths.h"

#include "links/patent.h"
#include "links/urlresolution.h"
#include "platform/bytetext.h"
#include "platform/exception.h"
#include "robot/ftpaddress.h"
#include "robot/protocol.h"

namespace
{
// A path below the output directory must name something inside it: not empty, and no folder
// or name that is "." or "..".
bool StaysInside(std::string_view relative)
{
    if (relative.empty())
        return false;
    std::size_t start = 0;
    while (start <= relative.size())
    {
        std::size_t end = relative.find('/', start);
        if (end == std::string_view::npos)
            end = relative.size();
        const std::string_view part = relative.substr(start, end - start);
        if (part == "." || part == ".." || (part.empty() && end != relative.size()))
            return false;
        start = end + 1;
    }
    return true;
}

std::string RelativePath(std::string_view entry, bool patentPage, std::string_view patentNumber, int position)
{
    if (patentPage)
        return PatentPageFileName(patentNumber, position);
    // Only an ftp:// entry is split (splitting every link of a long page costs), and named as
    // the server names it: decoded, and the last part is the file.
    if (ProtocolOf(entry) == TProtocol::Ftp)
    {
        const TFtpAddress ftp = SplitFtpAddress(entry);
        return LinkDirectory(ftp.Folder) + ftp.File;
    }
    return LinkDirectory(entry) + LinkFileName(entry);
}
} // namespace

std::string AddBackslash(std::string_view path)
{
    std::string result(bytetext::Trim(path));
    if (!result.empty() && result.back() != '/')
        result += '/';
    return result;
}

std::string OutputDirectoryOf(std::string_view path, std::string_view home)
{
    std::string directory = AddBackslash(path);
    if (directory.empty() || directory.front() == '/')
        return directory;
    if (directory == "~/")
        directory.clear();
    else if (directory.starts_with("~/"))
        directory.erase(0, 2);
    return AddBackslash(home) + directory;
}

std::string PageFileName(std::string_view outputDir, std::string_view pageAddress)
{
    return std::string(outputDir) + SafeFileName(std::string(pageAddress));
}

std::string FileOutputPath(std::string_view outputDir, std::string_view entry, bool patentPage,
                           std::string_view patentNumber, int position)
{
    std::string relative = RelativePath(entry, patentPage, patentNumber, position);
    const bool namesDirectory = !relative.empty() && relative.back() == '/';
    if (namesDirectory)
        relative.pop_back();
    const bool inside = StaysInside(relative);

    std::string path = std::string(outputDir) + relative;
    // A link that names a directory is stored as an HTML file named after it.
    if (namesDirectory || (relative.empty() && !path.empty() && path.back() == '/'))
    {
        if (!path.empty() && path.back() == '/')
            path.pop_back();
        path += ".html";
    }
    if (!inside)
        throw Exception("Invalid file " + path);
    return path;
}
