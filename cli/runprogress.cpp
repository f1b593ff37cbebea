#include "cli/runprogress.h"

#include <cstdio>

#include "robot/entrylist.h"
#include "robot/sizetext.h"

namespace
{
constexpr int RefreshMilliseconds = 250;
}

std::string ProgressLine(int url, int urls, int file, int files, std::int64_t received, std::int64_t expected,
                         double bytesPerSecond, int underWay)
{
    std::string line = "URL " + std::to_string(url) + " of " + std::to_string(urls);
    if (underWay > 1)
        line += ", " + std::to_string(file) + " of " + std::to_string(files) + " files done, " +
                std::to_string(underWay) + " under way";
    else if (files > 0)
        line += ", file " + std::to_string(file) + " of " + std::to_string(files);
    line += ", " + SizeText(received);
    if (expected > received)
        line += " of " + SizeText(expected);
    return line + ", " + SizeText(static_cast<std::int64_t>(bytesPerSecond)) + "/s";
}

TRunProgress::TRunProgress(const TEntryList& urls, const TEntryList& files, bool terminal)
    : URLs(urls), Files(files), Terminal(terminal)
{
    Since.start();
}

void TRunProgress::URL(int index)
{
    URLIndex = index;
    Show(true);
}

void TRunProgress::File(int index)
{
    FileIndex = index;
    Show(true);
}

void TRunProgress::Several(int ended, int underWay)
{
    Ended = ended;
    UnderWay = underWay;
    Show(false);
}

void TRunProgress::Bytes(std::int64_t received, std::int64_t expected)
{
    // A new transfer starts from nothing.
    if (received < LastBytes)
        LastBytes = 0;
    Received = received;
    Expected = expected;
    Show(false);
}

void TRunProgress::Running(bool running)
{
    Active = running;
    if (!running)
        Clear();
}

void TRunProgress::Show(bool now)
{
    const qint64 elapsed = Since.elapsed();
    if (!Terminal || !Active || (!now && elapsed < RefreshMilliseconds))
        return;
    // The rate is measured over whole refresh periods only; a redraw between them keeps it.
    if (elapsed >= RefreshMilliseconds)
    {
        Rate = 0.7 * Rate + 0.3 * ((Received - LastBytes) / (elapsed / 1000.0));
        LastBytes = Received;
        Since.restart();
    }
    const std::string line = ProgressLine(URLIndex + 1, URLs.Count(), UnderWay > 1 ? Ended : FileIndex + 1,
                                          Files.Count(), Received, Expected, Rate, UnderWay);
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
