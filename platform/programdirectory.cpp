#include "platform/programdirectory.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace platform
{
std::string ProgramDirectory()
{
    std::string directory;
    if (const char* home = std::getenv("KESTROW_HOME"); home && *home)
        directory = home;
    else
    {
        std::error_code error;
        const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
        directory = error ? std::filesystem::current_path(error).string() : program.parent_path().string();
    }
    if (directory.empty() || directory.back() != '/')
        directory += '/';
    return directory;
}
} // namespace platform
