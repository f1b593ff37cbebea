#include "platform/programdirectory.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace platform
{
namespace
{
std::string WithSlash(std::string directory)
{
    if (directory.empty() || directory.back() != '/')
        directory += '/';
    return directory;
}
} // namespace

std::string ProgramDirectory()
{
    if (const char* home = std::getenv("KESTROW_HOME"); home && *home)
        return WithSlash(home);
    return ExecutableDirectory();
}

std::string ExecutableDirectory()
{
    // The program does not move while it runs.
    static const std::string directory = []
    {
        std::error_code error;
        const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
        return WithSlash(error ? std::filesystem::current_path(error).string()
                               : program.parent_path().string());
    }();
    return directory;
}
namespace
{
// Whether a file can be created in the directory, found out by creating and removing one.
bool CanWriteIn(const std::string& directory)
{
    const std::string probe = directory + ".kestrow-write-probe-" + std::to_string(getpid());
    const int descriptor = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return false;
    close(descriptor);
    unlink(probe.c_str());
    return true;
}

// A folder of the package manager: /usr holds no files that programs write, and what root wrote
// there would outlive the package's removal.
bool SystemFolder(const std::string& directory)
{
    return directory.starts_with("/usr/") && !directory.starts_with("/usr/local/");
}
} // namespace

std::string DataDirectory()
{
    const std::string program = ProgramDirectory();
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    // Decided once for the folders it depends on: every log line asks, and a probe file made
    // and removed for each would cost more than the line.
    const std::string key = program + '\n' + (data ? data : "") + '\n' + (home ? home : "");
    static std::string decidedFor;
    static std::string decided;
    if (!decided.empty() && key == decidedFor)
        return decided;
    std::string directory = program;
    if (SystemFolder(program) || !CanWriteIn(program))
    {
        std::string base;
        if (data && *data == '/')
            base = data;
        else if (home && *home)
            base = std::string(home) + "/.local/share";
        else
            base = "/tmp";
        while (base.size() > 1 && base.back() == '/')
            base.pop_back();
        directory = base + "/Kestrow/";
        std::error_code error;
        std::filesystem::create_directories(directory, error);
    }
    decidedFor = key;
    decided = directory;
    return directory;
}
} // namespace platform
