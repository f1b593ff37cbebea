#include "cli/signalstop.h"

#include <csignal>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

#include "platform/eventguard.h"

namespace
{
int signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}
} // namespace

TSignalStop::TSignalStop(std::function<void()> onStop) : onStop(std::move(onStop))
{
    if (signalPipe[0] < 0 && pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this,
            [this]
            {
                char byte;
                while (read(signalPipe[0], &byte, 1) > 0)
                {
                }
                interrupted = true;
                if (this->onStop)
                    platform::Guarded(this->onStop, [](const std::string& message)
                                      { std::fprintf(stderr, "kestrow-cli: %s\n", message.c_str()); });
            });
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
}

TSignalStop::~TSignalStop()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}
