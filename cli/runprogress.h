#pragma once

#include <cstdint>
#include <string>

#include <QElapsedTimer>
#include <QObject>

class QTimer;
class TDownloadRun;

// The one-line progress display of an unattended run on a terminal: URL i of n, file i of n,
// bytes and rate of the current file. Without a terminal it shows nothing.
class TRunProgress : public QObject
{
  public:
    TRunProgress(TDownloadRun& run, bool terminal);

    // Clears the line so that other output starts at the left edge.
    void Clear();
    void Finish();

  private:
    void Show();

    TDownloadRun& Run;
    QTimer* Timer = nullptr;
    bool Shown = false;
    std::int64_t LastBytes = 0;
    double Rate = 0;
    QElapsedTimer Since;
};

// "URL 1 of 2, file 3 of 10, 1.5M of 24.00M, 850.0K/s": what the line shows.
std::string ProgressLine(int url, int urls, int file, int files, std::int64_t received, std::int64_t expected,
                         double bytesPerSecond);
