#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>

#include "links/linklist.h"
#include "platform/loglevel.h"
#include "robot/fetch.h"
#include "robot/entrylist.h"
#include "robot/runpreferences.h"

class TRunObserver;
class TTlsTrust;
struct TURLParts;

// The download run: walks the URL List from top to bottom, lists each page's links in the File
// List and fetches them, with retries, skips and the bookkeeping. It owns the transfer unit,
// the lists and the run state; it reads its preferences and reports what happens through the
// two interfaces it is given, and shows no window of its own. Callers give it commands and read
// its state. Everything runs on the one thread: Stop, the skips and the watchdog come in while a
// transfer waits, and talk to the run only through its flags and by aborting the transfer.
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

    // The lists the run works through; the window's list views show them and the user edits the
    // URL List between runs.
    TEntryList URLList;
    TEntryList FileList;

    // Commands.
    // The whole run, Go or Test: it starts, and goes on from the event loop until it ends
    // (Observer.RunEnded). Does nothing while a run or a preview is active.
    void Go(bool testRun);
    // The same run as a step, for a caller that drives it to its end (the command line).
    TTask<void> RunAsync(bool testRun);
    // What Stop does once confirmed: the run ends after the current transfer, which is aborted.
    // Always completes, whatever the FTP server makes of the goodbye.
    void RequestStop();
    // The window closes: the run ends at once, and nobody waits for a server's goodbye.
    void Abandon();
    void RequestSkipFile();
    void RequestSkipURL();
    // Fetches the page of a URL List entry into the preview file beside the program and lists
    // its links in the File List, downloading nothing and leaving the run state alone; the
    // watchdog limits the wait. A failure raises Exception("Cannot access " + address + CR LF +
    // reason); a preview ended by Abandon returns quietly. Does nothing while a run or another
    // preview is active.
    void PreviewEntry(const std::string& entry);
    // The same preview started from the window: it goes on from the event loop, and ended hears
    // its failure's text (empty when it listed the page or was abandoned).
    void StartPreview(const std::string& entry, std::function<void(const std::string& failure)> ended);
    // The certificate authorities https servers are checked against.
    TTlsTrust& Trust();
    // Appends a line to the log file and hands it to the observer.
    void WriteLog(const std::string& line, bool fileOnly = false);
    // What a handler at the edge of the event loop caught: logged at the level of HTTP codes.
    void ReportCaught(const std::string& message);

    // State, for reading.
    // True from Go until the run has returned (also during its scheduled wait) and the run's
    // transfers are under way; false again once Stop was confirmed.
    bool Running() const { return running; }
    // True from Go until the run has returned, also while a stopped run leaves its transfer,
    // so that two runs never interleave.
    bool RunActive() const { return runActive; }
    // True while PreviewEntry fetches its page; no run starts meanwhile.
    bool PreviewActive() const { return previewActive; }
    bool StopRequested() const { return stopRequested; }
    // Errors of the last run: failed pages and files that failed on their last attempt.
    int ErrorCount() const { return errorCount; }
    std::uint64_t FilesDone() const { return filesDone; }
    std::int64_t BytesDone() const { return bytesDone; }
    // Where the run stands in its lists (-1 before it started there).
    int URLIndex() const { return urlIndex; }
    int FileIndex() const { return fileIndex; }
    // Whether the watchdog gave up the last transfer.
    bool WatchdogFired() const;
    TLogLevel LogLevel() const;

  private:
    class TFetchReports;
    // Tells the observer that a page is scanned, for as long as the object lives.
    class TScanning
    {
      public:
        explicit TScanning(TRunObserver& observer);
        ~TScanning();
        TScanning(const TScanning&) = delete;
        TScanning& operator=(const TScanning&) = delete;

      private:
        TRunObserver& observer;
    };

    // Working data of one run.
    struct TRun
    {
        bool TestRun = false;
        bool PatentPage = false;
        // The page address of the entry under way, without its login.
        std::string CurrentURL;
        int RetryCount = 0;
        TLinkList PageLinks;
        TLinkList SeenLinks;
        std::string OutputDir;
        std::string PatentNumber;
        QElapsedTimer LastFileStart;
        // The outermost folder the current file step made, if any.
        std::string FoldersMadeFrom;
        // The URL List as it was at Go: editing the list changes nothing of a run.
        std::vector<std::string> Entries;
        // The address the page was fetched from in the end, which its links are relative to.
        std::string PageAddress;
        // The login written in the URL List entry, and the server it is for.
        std::string EntryUser;
        std::string EntryPassword;
        std::string EntryOrigin;
    };

    TTask<void> PreviewEntryAsync(std::string entry);
    TTask<void> StartRunAsync(TRun& run);
    TTask<void> ScheduledWaitAsync();
    void SetUpRun(TRun& run);
    TTask<void> ProcessURLAsync(TRun& run, int j);
    TTask<void> FetchPageAsync(TRun& run, const TURLParts& parts);
    // The request of a URL List entry's page or file: the entry's login goes with requests to
    // the entry's own server only.
    TFetchRequest RequestFor(const TRun& run, const std::string& url, const std::string& destination) const;
    void MergePageLinks(TRun& run);
    // A failure's text, saying so when the watchdog gave the last transfer up.
    std::string TimedOutText(std::string_view message) const;
    TTask<TNextStep> ProcessFileAsync(TRun& run, int i);
    // Stop, Skip File or Skip URL came for what is under way.
    bool UserGaveUp() const;
    // Raises when the user gave up before or during the pause.
    TTask<void> PauseBeforeFileAsync(int milliseconds);
    // Returns the bytes the transfer brought; sets endOfList when the rest of the list is moot.
    TTask<std::int64_t> TransferFileAsync(TRun& run, std::string entry, std::string outputPath,
                                          bool& endOfList);
    void KeepOrDiscard(TRun& run, TFetchResult& fetched, bool& endOfList);
    void Bookkeeping(std::int64_t bytes, const std::string& outputPath);
    void PrintFile(const std::string& outputPath);
    // logged: the failure is in the log already; final: no retry can change it.
    TNextStep FailFile(TRun& run, const std::string& message, bool logged = false, bool final = false);
    void EndRun(TRun& run);
    void SetRunning(bool running);
    // Aborts whatever the clients are waiting for.
    void AbortClients();

    TRunPreferences& Preferences;
    // The preferences as they were when the run or the preview under way started.
    TRunSettings settings;
    TRunObserver& Observer;
    std::unique_ptr<TFetchReports> fetchReports;
    TFetch* Fetch;

    // Run state; the buttons, the watchdog and closing the window set the flags.
    bool running = false;
    bool stopRequested = false;
    bool skipFileRequested = false;
    bool skipURLRequested = false;
    std::uint64_t filesDone = 0;
    std::int64_t bytesDone = 0;
    QDateTime runStart;
    int errorCount = 0;
    int urlIndex = -1;
    int fileIndex = -1;
    // The output path of the file under way.
    std::string currentOutputPath;
    bool runActive = false;
    bool previewActive = false;
    bool previewAborted = false;
    bool printFailureShown = false;
    // The run Go started, kept until it has ended and the next Go.
    std::optional<TTask<void>> runTask;
    std::optional<TTask<void>> previewTask;
    bool logFailureShown = false;
};
