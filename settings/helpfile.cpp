#include "settings/helpfile.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <unistd.h>

#include "platform/programdirectory.h"
#include "platform/shell.h"

namespace
{
constexpr const char* HelpPage = "Help/kesthelp.html";

std::string Folder(std::string folder)
{
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}
} // namespace

std::vector<std::string> HelpFileCandidates()
{
    std::vector<std::string> candidates{platform::ProgramDirectory() + HelpPage};
    // $KESTROW_HOME may hold only the program's own files; the installed page is beside it.
    if (platform::ExecutableDirectory() != platform::ProgramDirectory())
        candidates.push_back(platform::ExecutableDirectory() + HelpPage);
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome && *dataHome == '/')
        candidates.push_back(Folder(dataHome) + "Kestrow/" + HelpPage);
    else if (home && *home)
        candidates.push_back(Folder(home) + ".local/share/Kestrow/" + HelpPage);
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    std::string dirs = dataDirs && *dataDirs ? dataDirs : "/usr/local/share/:/usr/share/";
    for (std::size_t start = 0; start <= dirs.size();)
    {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        const std::string dir = dirs.substr(start, end - start);
        if (!dir.empty() && dir.front() == '/')
            candidates.push_back(Folder(dir) + "kestrow/" + HelpPage);
        start = end + 1;
    }
    return candidates;
}

std::string HelpFileName()
{
    const std::vector<std::string> candidates = HelpFileCandidates();
    std::error_code error;
    for (const std::string& candidate : candidates)
        if (std::filesystem::is_regular_file(candidate, error))
            return candidate;
    return candidates.front();
}

int OpenHelpFile(const std::string& helpFile)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(helpFile, error))
        return std::filesystem::is_directory(std::filesystem::path(helpFile).parent_path(), error)
                   ? platform::ShellFileNotFound
                   : platform::ShellPathNotFound;
    if (access(helpFile.c_str(), R_OK) != 0)
        return platform::ShellAccessDenied;
    return platform::OpenDocument(helpFile) ? platform::ShellSuccess : platform::ShellNoAssociation;
}

std::string HelpFailureText(int result, const std::string& helpFile)
{
    const std::string text = platform::ShellFailureText(
        result, helpFile, "The filename association .html is incomplete or invalid.",
        "There is no application associated with .html files.  Please install a web browser.");
    if (result >= 33)
        return text;
    if (text.empty())
        return "ShellExecute returned an unknown error " + std::to_string(result);
    // A text that does not name the page (no application, no access) names it after itself, so
    // that the user can open the page by hand.
    if (text.find(helpFile) == std::string::npos)
        return text + "\r\nThe help page is " + helpFile;
    return text;
}
