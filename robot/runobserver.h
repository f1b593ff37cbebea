#pragma once

#include <cstdint>
#include <string>

#include "platform/indicator.h"

// What a run tells the one who shows it. Every call comes on the one thread, in the middle of
// the run; apart from LogLine, an observer takes only what it shows.
class TRunObserver
{
  public:
    virtual ~TRunObserver() = default;

    // A line of the activity log, already appended to the log file. A fileOnly line belongs to
    // the file and is not shown with the others.
    virtual void LogLine(const std::string& line, bool fileOnly) = 0;
    // Panel 0 the run's status, panel 1 the HTTP client's.
    virtual void StatusText(int /*panel*/, const std::string& /*text*/) {}
    // The clients' status reports, one line each: the HTTP client's for the narrow panel, the FTP
    // client's for the run's.
    virtual void HttpStatus(const std::string& text) { StatusText(1, text); }
    virtual void FtpStatus(const std::string& text) { StatusText(0, text); }
    // A redirect is being followed to the address; the current file starts again.
    virtual void Redirected(const std::string& /*address*/) { FileProgress(0, 0); }
    virtual void Indicator(TIndicator /*kind*/) {}
    // A page is being scanned for links (true), or is done with (false): the busy cursor.
    virtual void Scanning(bool /*busy*/) {}
    // Running or RunActive changed: controls follow.
    virtual void RunStateChanged() {}
    // The caption during the run ("Kestrow 3 of 10"); an empty text gives back the one before it.
    virtual void Caption(const std::string& /*text*/) {}
    // The run's place in its lists.
    virtual void URLSelected(int /*index*/) {}
    virtual void FileSelected(int /*index*/) {}
    // The place in the File List: position on a bar of 0..last, and as text ("3 of 10", or empty).
    virtual void ListProgress(int /*position*/, int /*last*/, const std::string& /*place*/) {}
    // Bytes of the current transfer; expected 0 with received 0 clears the display.
    virtual void FileProgress(std::int64_t /*received*/, std::int64_t /*expected*/) {}
    // "1.5M downloaded in 3 files @ 850.0K bytes/Sec", or empty.
    virtual void Statistics(const std::string& /*text*/) {}
    // The output path of the current file; empty when no file is under way.
    virtual void OutputPath(const std::string& /*path*/) {}
    // The run starts (before its scheduled wait) and has ended.
    virtual void RunStarted() {}
    virtual void RunEnded() {}
    // A file failed for good: draw the user's eye.
    virtual void Alert() {}
    // The user asked to see the log after a run with errors.
    virtual void ViewLog() {}
    // The run ended and the preferences say the program closes now.
    virtual void CloseProgram() {}
};
