#include "cli/eventloop.h"

std::unique_ptr<QCoreApplication> EnsureEventLoop()
{
    if (QCoreApplication::instance())
        return nullptr;
    static int argc = 1;
    static char programName[] = "kestrow-cli";
    static char* argv[] = {programName, nullptr};
    return std::make_unique<QCoreApplication>(argc, argv);
}
