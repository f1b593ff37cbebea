#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "cli/getcommand.h"
#include "cli/linkscommand.h"
#include "cli/runcommand.h"
#include "cli/usage.h"

namespace
{
const char* const Usage = UsageText("");

int Command(std::string_view command, int argc, char* argv[])
{
    if (command == "links")
        return LinksCommand(argc, argv);
    if (command == "run")
        return RunCommand(argc, argv);
    if (command == "get")
        return GetCommand(argc, argv);
    return -1;
}
} // namespace

int main(int argc, char* argv[])
{
    // A write past the file-size limit fails like any failed write and is cleaned up, rather
    // than killing the program with its temporary files.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::string_view command = argc > 1 ? argv[1] : "";
    try
    {
        const int status = Command(command, argc - 2, argv + 2);
        if (status >= 0)
            return status;
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "kestrow-cli %s: %s\n", std::string(command).c_str(), error.what());
        return 2;
    }
    if (command == "help" || command == "--help" || command == "-h")
    {
        std::fputs(Usage, stdout);
        return 0;
    }
    std::fprintf(stderr,
                 command.empty() ? "kestrow-cli: no command given\n%s" : "kestrow-cli: unknown command\n%s",
                 Usage);
    return 2;
}
