#pragma once

#include <cstdint>
#include <string>

#include <QElapsedTimer>

class TEntryList;

// The one-line progress display of an unattended run on a terminal: URL i of n, file i of n,
// bytes and rate of the current file. It follows what the run reports and is drawn at most a
// few times a second; without a terminal it shows nothing.
class TRunProgress
{
  public:
    TRunProgress(const TEntryList& urls, const TEntryList& files, bool terminal);

    void URL(int index);
    void File(int index);
    // Several transfers are under way: the line counts the files that have ended instead.
    void Several(int ended, int underWay);
    void Bytes(std::int64_t received, std::int64_t expected);
    // The line shows only while the run's transfers go on.
    void Running(bool running);
    // Clears the line so that other output starts at the left edge.
    void Clear();

  private:
    void Show(bool now);

    const TEntryList& URLs;
    const TEntryList& Files;
    bool Terminal;
    bool Active = false;
    bool Shown = false;
    int URLIndex = 0;
    int FileIndex = 0;
    int Ended = 0;
    int UnderWay = 1;
    std::int64_t Received = 0;
    std::int64_t Expected = 0;
    std::int64_t LastBytes = 0;
    double Rate = 0;
    // Since the line was last drawn.
    QElapsedTimer Since;
};

// "URL 1 of 2, file 3 of 10, 1.5M of 24.00M, 850.0K/s": what the line shows. With several
// transfers under way, "URL 1 of 2, 3 of 10 files done, 5 under way, ..." with the bytes of all.
std::string ProgressLine(int url, int urls, int file, int files, std::int64_t received, std::int64_t expected,
                         double bytesPerSecond, int underWay = 1);
