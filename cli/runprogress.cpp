#include "cli/runprogress.h"

#include <cstdio>

#include <QTimer>

#include "robot/downloadrun.h"
#include "robot/sizetext.h"
#include "net/nmftp.h"
#include "net/nmhttp.h"

namespace
{
constexpr int RefreshMilliseconds = 250;
}

std::string ProgressLine(int url, int urls, int file, int files, std::int64_t received, std::int64_t expected,
                         double bytesPerSecond)
{
    std::string line = "URL " + std::to_string(url) + " of " + std::to_string(urls);
    if (files > 0)
        line += ", file " + std::to_string(file) + " of " + std::to_string(files);
    line += ", " + SizeText(received);
    if (expected > received)
        line += " of " + SizeText(expected);
    return line + ", " + SizeText(static_cast<std::int64_t>(bytesPerSecond)) + "/s";
}

TRunProgress::TRunProgress(TDownloadRun& run, bool terminal) : Run(run)
{
    if (!terminal)
        return;
    Timer = new QTimer(this);
    connect(Timer, &QTimer::timeout, this, [this] { Show(); });
    Timer->start(RefreshMilliseconds);
    Since.start();
}

void TRunProgress::Show()
{
    if (!Run.Running)
        return;
    const std::int64_t ftpBytes = Run.NMFTP1->DataReceivedCount();
    const std::int64_t received = ftpBytes > 0 ? ftpBytes : Run.NMHTTP1->ReceivedCount;
    const std::int64_t expected = ftpBytes > 0 ? Run.NMFTP1->ExpectedCount : Run.NMHTTP1->ExpectedCount;
    const double seconds = Since.restart() / 1000.0;
    if (received >= LastBytes && seconds > 0)
        Rate = 0.7 * Rate + 0.3 * ((received - LastBytes) / seconds);
    LastBytes = received;
    const std::string line = ProgressLine(Run.URLIndex + 1, Run.URLList.Count(), Run.FileIndex + 1,
                                          Run.FileList.Count(), received, expected, Rate);
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    Shown = true;
}

void TRunProgress::Clear()
{
    if (!Shown)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    Shown = false;
}

void TRunProgress::Finish()
{
    if (Timer)
        Timer->stop();
    Clear();
}
