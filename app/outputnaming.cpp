#include "app/outputnaming.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "links/patent.h"
#include "links/urlresolution.h"
#include "platform/bytetext.h"
#include "platform/exception.h"
#include "platform/programdirectory.h"
#include "platform/prompt.h"

namespace
{
constexpr std::array<const char*, 7> FixedFileNames = {
    "", "HTMLHeader.html", "HTMLBody.html", "URLList.kes", "FileList.kes", "Help/kesthelp.html", "KestrowLog.txt",
};

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
    const TURLParts parts = SplitURL(entry);
    if (bytetext::EqualsNoCase(parts.Scheme, "ftp://"))
        return LinkDirectory(parts.Directory) + parts.FileName;
    return LinkDirectory(entry) + LinkFileName(entry);
}
} // namespace

std::string MakeFileName(int kind)
{
    if (kind < 0 || kind >= static_cast<int>(FixedFileNames.size()))
    {
        platform::ShowMessage("TFormKestrow.MakeFileName:Invalid file type");
        return {};
    }
    return platform::ProgramDirectory() + FixedFileNames[static_cast<std::size_t>(kind)];
}

std::string AddBackslash(std::string_view path)
{
    std::string result(bytetext::Trim(path));
    if (!result.empty() && result.back() != '/')
        result += '/';
    return result;
}

bool MakePath(const std::string& directory)
{
    std::string path = directory;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty())
        throw Exception("Unable to create directory");
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return true;
    std::filesystem::create_directories(path, error);
    if (error)
        throw Exception("Cannot create directory \"" + path + "\". " + error.message());
    return std::filesystem::is_directory(path, error);
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
