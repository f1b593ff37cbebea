#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>

#include "links/linklist.h"
#include "robot/entrylist.h"

class THttpEvents;
class TNMFTP;
class TNMHTTP;
class TRunObserver;
class TRunPreferences;
class TWatchdog;
struct TURLParts;

// The download run: walks the URL List from top to bottom, lists each page's links in the File
// List and fetches them, with retries, skips, the watchdog and the bookkeeping. It owns the
// clients, the lists and the run state; it reads its preferences and reports what happens
// through the two interfaces it is given, and shows no window of its own. Everything runs on
// the one thread: Stop, the skips and the watchdog come in while a transfer waits, and talk to
// the run only through its flags and by aborting the clients.
class TDownloadRun : public QObject
{
    Q_OBJECT

  public:
    TDownloadRun(TRunPreferences& preferences, TRunObserver& observer, QObject* owner = nullptr);
    ~TDownloadRun() override;

    // What the file step leads to.
    enum class TNextStep
    {
        Retry,
        NextFile,
        EndOfList,
    };

    TEntryList URLList;
    TEntryList FileList;
    TNMHTTP* NMHTTP1;
    TNMFTP* NMFTP1;
    std::unique_ptr<THttpEvents> HttpEvents;
    TWatchdog* TimerConnect;

    // Run state; the buttons, the watchdog and closing the window set the flags.
    bool Running = false;
    bool StopRequested = false;
    bool SkipFileRequested = false;
    bool SkipURLRequested = false;
    bool PatentPage = false;
    std::uint64_t FilesDone = 0;
    std::int64_t BytesDone = 0;
    QDateTime RunStart;
    std::string CurrentURL;
    // Errors of the last run: failed pages and files that failed on their last attempt.
    int ErrorCount = 0;
    // Where the run stands in its lists (-1 before it started there).
    int URLIndex = -1;
    int FileIndex = -1;
    // The output path of the file under way.
    std::string CurrentOutputPath;

    // True from Go until the run has returned, also while a stopped run leaves its transfer,
    // so that two runs never interleave.
    bool RunActive() const { return runActive; }
    // True while PreviewEntry fetches its page; no run starts meanwhile.
    bool PreviewActive() const { return previewActive; }

    // The whole run, Go or Test; returns when it has ended. Does nothing while a run is active.
    void Go(bool testRun);
    // What Stop does once confirmed: the run ends after the current transfer, which is aborted.
    // Always completes, whatever the FTP server makes of the goodbye.
    void Stop();
    void SkipFile();
    void SkipURL();
    // The watchdog fired: the transfer under way is given up.
    void WatchdogTimedOut();
    // Aborts whatever the clients are waiting for.
    void AbortClients();

    // Fetches the page of a URL List entry into the preview file beside the program and lists
    // its links in the File List, downloading nothing and leaving the run state alone; the
    // watchdog limits the wait. A failure raises Exception("Cannot access " + address + CR LF +
    // reason); a preview ended by AbortClients returns quietly. Does nothing while a run or
    // another preview is active.
    void PreviewEntry(const std::string& entry);

    // Client events.
    void HttpPacketRecvd();
    void FtpPacketRecvd();
    void FtpStatus(const std::string& status);

    int LogLevel() const;
    // Appends a line to the log file and hands it to the observer.
    void WriteLog(const std::string& line, bool fileOnly = false);
    // What a handler at the edge of the event loop caught: logged at the level of HTTP codes.
    void ReportCaught(const std::string& message);

  private:
    // Working data of one run.
    struct TRun
    {
        bool TestRun = false;
        int RetryCount = 0;
        TLinkList PageLinks;
        TLinkList SeenLinks;
        std::string OutputDir;
        std::string PatentNumber;
        QElapsedTimer LastFileStart;
        // The outermost folder the current file step made, if any.
        std::string FoldersMadeFrom;
        // The address the page was fetched from in the end, which its links are relative to.
        std::string PageAddress;
        // The login written in the URL List entry, and the server it is for.
        std::string EntryUser;
        std::string EntryPassword;
        std::string EntryOrigin;
    };

    void StartRun(TRun& run);
    void ScheduledWait();
    void SetUpRun(TRun& run);
    void ProcessURL(TRun& run, int j);
    void FetchPage(TRun& run, const TURLParts& parts);
    void GetPage(TRun& run);
    // A GET whose redirects the HTTP events follow; one that could not be followed fails it.
    void FollowedGet(const std::string& url);
    // The entry's login goes with requests to the entry's own server only.
    void UseEntryLogin(const TRun& run, const std::string& url);
    void MergePageLinks(TRun& run);
    // A failure's text, saying so when the watchdog fired since timeOutsBefore.
    std::string TimedOutText(std::string_view message, int timeOutsBefore) const;
    TNextStep ProcessFile(TRun& run, int i);
    // Returns the bytes the transfer brought; sets endOfList when the rest of the list is moot.
    std::int64_t TransferFile(TRun& run, const std::string& entry, const std::string& outputPath,
                              bool& endOfList);
    void FetchHttpFile(const TRun& run, const std::string& fileURL, const std::string& bodyFile);
    void KeepOrDiscard(TRun& run, const std::string& transferPath, const std::string& outputPath, bool http,
                       bool& endOfList);
    void Bookkeeping(std::int64_t bytes, const std::string& outputPath);
    void PrintFile(const std::string& outputPath);
    // logged: the failure is in the log already.
    TNextStep FailFile(TRun& run, const std::string& message, bool logged = false);
    void EndRun(TRun& run);
    void ShowFileProgress(std::int64_t received, std::int64_t expected);
    void SetRunning(bool running);
    void CreateClients();

    TRunPreferences& Preferences;
    TRunObserver& Observer;
    bool runActive = false;
    bool previewActive = false;
    bool previewAborted = false;
    bool printFailureShown = false;
    bool logFailureShown = false;
};
