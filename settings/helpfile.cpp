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
    switch (result)
    {
    case 2:
        return "The file " + helpFile + " was not found.";
    case 3:
        return "The path " + helpFile + " was not found.";
    case 5:
        return "The operating system denied access to the specified file.";
    case 8:
        return "There was not enough memory to load your web browser.";
    case 11:
        return "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image).";
    case 26:
        return "A sharing violation occurred.";
    case 27:
        return "The filename association .html is incomplete or invalid.";
    case 28:
        return "The DDE transaction could not be completed because the request timed out.";
    case 29:
        return "The DDE transaction failed.";
    case 30:
        return "The DDE transaction could not be completed because other DDE transactions were being "
               "processed.";
    case 31:
        return "There is no application associated with .html files.  Please install a web browser.";
    case 32:
        return "The specified dynamic-link library was not found.";
    default:
        return result < 33 ? "ShellExecute returned an unknown error " + std::to_string(result)
                           : std::string();
    }
}
