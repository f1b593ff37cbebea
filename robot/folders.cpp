#include "robot/folders.h"

#include <filesystem>
#include <system_error>

#include "platform/bytetext.h"
#include "platform/exception.h"

bool MakePath(const std::string& directory)
{
    std::string path = directory;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    // A text of blanks names no folder either.
    if (bytetext::Trim(path).empty())
        throw Exception("Unable to create directory");
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return true;
    std::filesystem::create_directories(path, error);
    if (error)
        throw Exception("Cannot create directory \"" + path + "\". " + error.message());
    return std::filesystem::is_directory(path, error);
}

namespace
{
// A folder's path without the "/" at its end, so that parent_path() climbs one folder each time.
std::filesystem::path FolderPath(const std::string& directory)
{
    std::string path = std::filesystem::path(directory).lexically_normal().string();
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}
} // namespace

std::string FirstMissingFolder(const std::string& directory)
{
    std::error_code error;
    std::filesystem::path missing;
    for (std::filesystem::path folder = FolderPath(directory);
         !folder.empty() && !std::filesystem::exists(folder, error); folder = folder.parent_path())
    {
        missing = folder;
        if (folder == folder.parent_path())
            break;
    }
    return missing.string();
}

void RemoveEmptyFolders(const std::string& directory, const std::string& top)
{
    if (top.empty())
        return;
    const std::filesystem::path last = FolderPath(top);
    std::error_code error;
    for (std::filesystem::path folder = FolderPath(directory); !folder.empty(); folder = folder.parent_path())
    {
        // remove() takes only an empty folder; anything that holds a file stays.
        if (!std::filesystem::remove(folder, error) || folder == last || folder == folder.parent_path())
            break;
    }
}
