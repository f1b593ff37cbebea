#pragma once

#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>

#include "links/checksumlist.h"
#include "links/linklist.h"
#include "links/urlresolution.h"
#include "platform/loglevel.h"
#include "robot/fetch.h"
#include "robot/entrylist.h"
#include "robot/runlog.h"
#include "robot/runpreferences.h"
#include "platform/signal.h"

class TRunObserver;
class TTlsTrust;

// The download run: walks the URL List from top to bottom, lists each page's links in the File
// List and fetches them, with retries, skips and the bookkeeping. It owns the transfer units,
// the lists and the run state; it reads its preferences and reports what happens through the
// two interfaces it is given, and shows no window of its own. Callers give it commands and read
// its state. Everything runs on the one thread: the run is a queue of pages and files that up to
// SimultaneousTransfers transfers take from, each over a transfer unit of its own. Stop, the
// skips and the watchdog come in while transfers wait, and talk to them only through their
// flags and by aborting their units.
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
    // URL List between runs. The File List holds the files of the entries under way.
    TEntryList URLList;
    TEntryList FileList;

    // Commands.
    // The whole run, Go or Test: it starts, and goes on from the event loop until it ends
    // (Observer.RunEnded). Does nothing while a run or a preview is active.
    void Go(bool testRun);
    // The same run as a step, for a caller that drives it to its end (the command line).
    TTask<void> RunAsync(bool testRun);
    // What Stop does once confirmed: every transfer under way is aborted, its partial file goes,
    // and the run ends. Always completes, whatever the FTP servers make of the goodbye.
    void RequestStop();
    // The window closes: the run ends at once, and nobody waits for a server's goodbye.
    void Abandon();
    // Skips the File List entry at row when it is under way or waiting; else (or with -1) every
    // file under way.
    void RequestSkipFile(int row = -1);
    // Skips the rest of every entry that has a transfer under way.
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
    // True from Go until the run has returned, also while a stopped run leaves its transfers,
    // so that two runs never interleave.
    bool RunActive() const { return runActive; }
    // True while PreviewEntry fetches its page; no run starts meanwhile.
    bool PreviewActive() const { return previewActive; }
    bool StopRequested() const { return stopRequested; }
    // Errors of the last run: failed pages and files that failed on their last attempt.
    int ErrorCount() const { return errorCount; }
    std::uint64_t FilesDone() const { return filesDone; }
    std::int64_t BytesDone() const { return bytesDone; }
    // Where the run stands in its lists (-1 before it started there): the entry and the File
    // List row started last.
    int URLIndex() const { return urlIndex; }
    int FileIndex() const { return fileIndex; }
    // Transfers under way now, pages and files, and the most there were at once in this run.
    int InFlight() const { return inFlight; }
    // Files of the File List that have ended: done, failed or skipped.
    int FilesEnded() const { return filesEnded; }
    int MostInFlight() const { return mostInFlight; }
    // Whether the watchdog gave up the last transfer that ended.
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

    enum class TFileState
    {
        Waiting,
        UnderWay,
        Done,
        Failed,
        Skipped,
    };

    // One URL List entry of the run.
    struct TEntryWork
    {
        int Index = 0;
        // The page address without its login, and as the log shows it.
        std::string CurrentURL;
        std::string ShownURL;
        TURLParts Parts;
        bool PatentPage = false;
        std::string PatentNumber;
        std::string OutputDir;
        // The address the page was fetched from in the end, which its links are relative to.
        std::string PageAddress;
        // The login written in the entry, and the server it is for.
        std::string EntryUser;
        std::string EntryPassword;
        std::string EntryOrigin;
        bool PageEnded = false;
        // Skip URL came for it, or the end of a patent document was reached: its waiting files
        // never start.
        bool Skipped = false;
        bool EndOfList = false;
        // The checksum lists its page links to are still coming: its files wait for them.
        bool SumsPending = false;
        // Its files not yet ended, and how many it has.
        int FilesOpen = 0;
        int FilesUnderWay = 0;
        int FileCount = 0;
        // Its first row in the File List (-1 before its page was scanned).
        int FirstRow = -1;
    };

    // One file of the File List.
    struct TFileJob
    {
        int Entry = 0;
        int Row = 0;
        // Its place among its entry's files, from 1.
        int Position = 0;
        std::string Link;
        // Where it is fetched from, and the output path it will have (empty when none can be made).
        std::string Address;
        std::string PlannedPath;
        TFileState State = TFileState::Waiting;
        bool SkipRequested = false;
        int RetryCount = 0;
        // The sum a checksum list gives for it (None: it is not checked).
        TChecksumKind SumKind = TChecksumKind::None;
        std::string SumHex;
        // Known once it is under way.
        std::string OutputPath;
        // The outermost folder its step made, if any.
        std::string FoldersMadeFrom;
    };

    // A transfer unit and what it is doing.
    struct TSlot
    {
        std::unique_ptr<TFetchReports> Reports;
        TFetch* Fetch = nullptr;
        bool Busy = false;
        // The origin its kept connection is for.
        std::string Origin;
        int Entry = -1;
        TFileJob* File = nullptr;
        // The log block its lines go to (-1: straight to the log).
        int Block = -1;
        // Bytes of its transfer, and how many it expects (0: unknown).
        std::int64_t Received = 0;
        std::int64_t Expected = 0;
    };

    // A server's share of the run.
    struct TServer
    {
        int InFlight = 0;
        bool Started = false;
        QElapsedTimer LastStart;
    };

    // Working data of one run.
    struct TRun
    {
        bool TestRun = false;
        TLinkList SeenLinks;
        // The URL List as it was at Go: editing the list changes nothing of a run.
        std::vector<std::string> Entries;
        std::vector<TEntryWork> Work;
        // The entry whose page comes next.
        int NextPage = 0;
        // The files in File List order; a deque, so that a file's place never moves.
        std::deque<TFileJob> Files;
        // Every file before this one has started.
        std::size_t FirstWaiting = 0;
        std::map<std::string, TServer> Servers;
        // Output paths of the files under way: two never write one file at once.
        std::map<std::string, int> PathsInUse;
        // The steps under way.
        std::list<TTask<void>> Steps;
    };

    TTask<void> PreviewEntryAsync(std::string entry);
    TTask<void> StartRunAsync(TRun& run);
    TTask<void> ScheduledWaitAsync();
    void SetUpRun(TRun& run);
    // Every unit names itself as the settings say (refused header lines are logged and left out)
    // and starts from a fresh jar shared by all.
    void UseIdentityAndNewJar();
    // Adds the cookies file's cookies to the jar; a file that cannot be read is logged (and
    // counted as an error when countErrors), and so are its lines that are no cookies.
    void ReadCookies(bool countErrors);
    // Writes the run's cookies to the file the settings name, if any.
    void SaveCookies();
    // Starts what may start now, pages and files, within the limits.
    bool StartWhatMay(TRun& run);
    bool StartNextFile(TRun& run);
    bool StartNextPage(TRun& run);
    TSlot* FreeSlot(const std::string& origin);
    void Launch(TRun& run, TSlot& slot, const std::string& server, TTask<void> step);
    // Transfers to one server at once, at the most, when there is no pause between files.
    static constexpr int MostToOneServer = 6;
    // The server a transfer to the address counts against, and whether it may take one more.
    static std::string ServerOf(const std::string& address);
    bool ServerFree(TRun& run, const std::string& address) const;
    // The transfer of the entry's page, its links, and its files queued.
    TTask<void> PageStepAsync(TRun& run, TSlot& slot, int j);
    // Without a pause, the connections the page's files will take are opened while it comes.
    void ConnectAhead(TRun& run, const std::string& address);
    TTask<void> FetchPageAsync(TRun& run, TSlot& slot, TEntryWork& work);
    void QueueNewFiles(TRun& run, int entry, int rowsBefore);
    // Fetches the checksum lists the page links to (listLinks, as the page has them) through
    // the page's unit, and gives each of the page's files (run.Files from firstJob on) the sum
    // a list names for it. A list that cannot be had leaves its files unchecked.
    TTask<void> FetchChecksumListsAsync(TRun& run, TSlot& slot, TEntryWork& work, std::size_t firstJob,
                                        std::vector<std::string> listLinks);
    // A summed file whose sum is not the one its list gives fails, and is not kept.
    void CheckSum(TSlot& slot, const TFileJob& job, TFetchResult& fetched);
    // The File List starts afresh once every file in it has ended.
    void ClearFileListIfDone(TRun& run);
    // The request of a URL List entry's page or file: the entry's login goes with requests to
    // the entry's own server only.
    TFetchRequest RequestFor(const TEntryWork& work, const std::string& url,
                             const std::string& destination) const;
    void MergePageLinks(TRun& run, TLinkList& pageLinks);
    // A failure's text, saying so when the watchdog gave the transfer up.
    std::string TimedOutText(const TSlot& slot, std::string_view message) const;
    // The file with every retry.
    TTask<void> FileStepAsync(TRun& run, TSlot& slot, TFileJob& job);
    TTask<TNextStep> ProcessFileAsync(TRun& run, TSlot& slot, TFileJob& job);
    // Stop, Skip File or Skip URL came for the file.
    bool UserGaveUp(const TRun& run, const TFileJob& job) const;
    // Raises when the user gave up before or during the pause.
    TTask<void> PauseBeforeFileAsync(TRun& run, const TFileJob& job, int milliseconds);
    // Returns the bytes the transfer brought; sets endOfList when the rest of the list is moot.
    TTask<std::int64_t> TransferFileAsync(TRun& run, TSlot& slot, TFileJob& job, bool& endOfList);
    void KeepOrDiscard(TRun& run, TSlot& slot, TFileJob& job, TFetchResult& fetched, bool& endOfList);
    void Bookkeeping(std::int64_t bytes, const std::string& outputPath);
    void PrintFile(const std::string& outputPath);
    // logged: the failure is in the log already; final: no retry can change it.
    TNextStep FailFile(TRun& run, TSlot& slot, TFileJob& job, const std::string& message, bool logged = false,
                       bool final = false);
    void EndFile(TRun& run, TFileJob& job, TFileState state);
    void EndEntryIfDone(TRun& run, int entry);
    // A line of the transfer in the slot.
    void Log(const TSlot& slot, const std::string& line);
    // The File List row shows the file's state.
    void ShowState(const TFileJob& job);
    // The bars and the status line for every transfer under way.
    void ShowTransfers(bool now);
    void EndRun(TRun& run);
    void SetRunning(bool running);
    // Aborts whatever the clients are waiting for.
    void AbortClients();
    TSlot& AddSlot();

    TRunPreferences& Preferences;
    // The preferences as they were when the run or the preview under way started.
    TRunSettings settings;
    TRunObserver& Observer;
    // The transfer units; the first serves the preview and holds what the others share.
    std::vector<std::unique_ptr<TSlot>> units;
    TFetch* Fetch;
    TRunLog runLog;
    // Whatever a step changes that the run's walk waits for.
    platform::TSignal changed;
    TRun* current = nullptr;
    const TSlot* lastEnded = nullptr;

    // Run state; the buttons, the watchdog and closing the window set the flags.
    bool running = false;
    bool stopRequested = false;
    std::uint64_t filesDone = 0;
    std::int64_t bytesDone = 0;
    QDateTime runStart;
    int errorCount = 0;
    int urlIndex = -1;
    int fileIndex = -1;
    int inFlight = 0;
    int mostInFlight = 0;
    // Units opening a connection ahead of the files.
    int connectingAhead = 0;
    int filesEnded = 0;
    // The combined rate: bytes of every transfer at the last sample, and when it was taken.
    std::int64_t sampledBytes = 0;
    double rate = 0;
    QElapsedTimer sinceSample;
    QElapsedTimer sinceShown;
    bool showPending = false;
    bool runActive = false;
    bool previewActive = false;
    bool previewAborted = false;
    bool printFailureShown = false;
    // The run Go started, kept until it has ended and the next Go.
    std::optional<TTask<void>> runTask;
    std::optional<TTask<void>> previewTask;
    bool logFailureShown = false;
};
