// The file step of the run: one File List entry from its output path to the bookkeeping.
#include "robot/downloadrun.h"

#include <algorithm>

#include <QTimer>

#include "auth/replycodetext.h"
#include "links/linkextraction.h"
#include "links/urlresolution.h"
#include "platform/bytetext.h"
#include "platform/clock.h"
#include "platform/exception.h"
#include "platform/pause.h"
#include "platform/prompt.h"
#include "platform/shell.h"
#include "robot/folders.h"
#include "robot/savepaths.h"
#include "robot/pagelinks.h"
#include "robot/pagetitle.h"
#include "robot/runobserver.h"
#include "robot/runpreferences.h"
#include "robot/protocol.h"
#include "robot/sizetext.h"
#include "robot/transferfile.h"

namespace
{
// A failure of the file that a retry cannot change: a name that cannot be made, a server's
// error answer.
class ENoRetry : public Exception
{
  public:
    explicit ENoRetry(const std::string& message, bool logged = false) : Exception(message), Logged(logged) {}
    // Whether the failure is in the log already.
    bool Logged;
};

std::string DirectoryOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

void MakeDirectoryOf(const std::string& path)
{
    const std::string directory = DirectoryOf(path);
    if (!MakePath(directory))
        throw Exception("Cannot create path " + directory);
}

std::string PrintFailureText(int result, const std::string& path)
{
    return platform::ShellFailureText(
        result, path, "The filename association with " + NameOf(path) + " is incomplete or invalid.",
        "There is no application associated with " + NameOf(path) +
            " files.  Please install the application.");
}
} // namespace

bool TDownloadRun::UserGaveUp(const TRun& run, const TFileJob& job) const
{
    return stopRequested || job.SkipRequested || run.Work[static_cast<std::size_t>(job.Entry)].Skipped;
}

TTask<void> TDownloadRun::PauseBeforeFileAsync(TRun& run, const TFileJob& job, int milliseconds)
{
    // The pause is up to a minute: Stop and the skips end it at once, and the file that was to
    // follow it does not start.
    const bool whole =
        co_await platform::PauseAsync(milliseconds, [this, &run, &job] { return UserGaveUp(run, job); });
    if (!whole)
        throw Exception("Cancelled");
}

TTask<void> TDownloadRun::FileStepAsync(TRun& run, TSlot& slot, TFileJob& job)
{
    slot.Entry = job.Entry;
    slot.File = &job;
    slot.Block = runLog.Open(job.Entry);
    ShowState(job);
    // The walk starts what may start all at once: only then does the file know whether it is the
    // one transfer, whose address, place and path the window shows.
    co_await platform::Yield();
    // Every retry in the same transfer unit, one after the other.
    for (;;)
    {
        const TNextStep step = co_await ProcessFileAsync(run, slot, job);
        if (step == TNextStep::Retry)
            continue;
        if (step == TNextStep::EndOfList)
            run.Work[static_cast<std::size_t>(job.Entry)].EndOfList = true;
        break;
    }
    runLog.Close(slot.Block);
    slot.Block = -1;
    if (const auto path = run.PathsInUse.find(job.PlannedPath);
        path != run.PathsInUse.end() && --path->second <= 0)
        run.PathsInUse.erase(path);
    --run.Work[static_cast<std::size_t>(job.Entry)].FilesUnderWay;
    EndFile(run, job, job.State == TFileState::UnderWay ? TFileState::Done : job.State);
}

void TDownloadRun::EndFile(TRun& run, TFileJob& job, TFileState state)
{
    job.State = state;
    ++filesEnded;
    ShowState(job);
    TEntryWork& work = run.Work[static_cast<std::size_t>(job.Entry)];
    --work.FilesOpen;
    // Where files come several at once, the bar counts the ones that have ended.
    if (settings.SimultaneousTransfers > 1)
    {
        const std::string place = std::to_string(filesEnded) + " of " + std::to_string(FileList.Count());
        Observer.ListProgress(filesEnded, FileList.Count(), place);
        Observer.Caption("Kestrow " + place);
    }
    EndEntryIfDone(run, job.Entry);
    changed.Notify();
}

void TDownloadRun::ShowState(const TFileJob& job)
{
    std::string state;
    switch (job.State)
    {
    case TFileState::Waiting:
        state = "waiting";
        break;
    case TFileState::UnderWay:
        state = "under way";
        for (const std::unique_ptr<TSlot>& slot : units)
            if (slot->Busy && slot->File == &job && slot->Expected > 0)
                state =
                    std::to_string(std::clamp<std::int64_t>(slot->Received * 100 / slot->Expected, 0, 100)) +
                    " %";
        break;
    case TFileState::Done:
        state = "done";
        break;
    case TFileState::Failed:
        state = "failed";
        break;
    case TFileState::Skipped:
        state = "skipped";
        break;
    }
    FileList.SetState(job.Row, state);
}

void TDownloadRun::ShowTransfers(bool now)
{
    // Several transfers report many times a second each: the display follows a few times a second.
    constexpr int RefreshMilliseconds = 200;
    if (!now && inFlight > 1 && sinceShown.isValid() && sinceShown.elapsed() < RefreshMilliseconds)
    {
        // What came meanwhile is shown once the period is over, even if nothing more comes.
        if (!showPending)
        {
            showPending = true;
            QTimer::singleShot(static_cast<int>(RefreshMilliseconds - sinceShown.elapsed()), this,
                               [this] { ShowTransfers(true); });
        }
        return;
    }
    showPending = false;
    sinceShown.start();
    std::int64_t received = 0;
    std::int64_t expected = 0;
    bool sizesKnown = true;
    for (const std::unique_ptr<TSlot>& slot : units)
    {
        if (!slot->Busy)
            continue;
        received += slot->Received;
        expected += slot->Expected;
        sizesKnown = sizesKnown && slot->Expected > 0;
        if (slot->File)
            ShowState(*slot->File);
    }
    Observer.FileProgress(received, sizesKnown ? expected : 0);
    // The combined rate, over the last half second or more.
    const std::int64_t total = bytesDone + received;
    if (sinceSample.elapsed() >= 500)
    {
        const double sampled = static_cast<double>(std::max<std::int64_t>(total - sampledBytes, 0)) * 1000.0 /
                               static_cast<double>(sinceSample.elapsed());
        rate = rate > 0 ? 0.5 * rate + 0.5 * sampled : sampled;
        sampledBytes = total;
        sinceSample.start();
    }
    // One client's words stand for nothing of several transfers.
    if (inFlight > 1)
    {
        Observer.StatusText(0, std::to_string(inFlight) + " transfers under way @ " +
                                   SizeText(static_cast<std::int64_t>(rate)) + " bytes/Sec");
        Observer.StatusText(1, "");
    }
}

TTask<TDownloadRun::TNextStep> TDownloadRun::ProcessFileAsync(TRun& run, TSlot& slot, TFileJob& job)
{
    const TEntryWork& work = run.Work[static_cast<std::size_t>(job.Entry)];
    const std::string& address = job.Address;
    const bool alone = inFlight == 1;
    fileIndex = job.Row;
    const int count = FileList.Count();
    if (alone)
    {
        // The address as it is fetched, port and all; a password in it only as "****".
        Observer.StatusText(0, MaskPassword(address));
        Observer.FileSelected(job.Row);
        const std::string place = std::to_string(job.Row + 1) + " of " + std::to_string(count);
        Observer.ListProgress(job.Row, std::max(count - 1, 0), place);
        Observer.Caption("Kestrow " + place);
    }
    else
    {
        // With several under way the bar counts the files that have ended.
        const std::string place = std::to_string(filesEnded) + " of " + std::to_string(count);
        Observer.ListProgress(filesEnded, count, place);
        Observer.Caption("Kestrow " + place);
    }
    slot.Received = 0;
    slot.Expected = 0;
    ShowTransfers(true);

    TNextStep next = TNextStep::NextFile;
    job.FoldersMadeFrom.clear();
    bool failed = false;
    try
    {
        std::string outputPath;
        try
        {
            outputPath =
                FileOutputPath(work.OutputDir, job.Link, work.PatentPage, work.PatentNumber, job.Position);
        }
        catch (const Exception& error)
        {
            // A name that cannot be made never will be.
            throw ENoRetry(error.Message());
        }
        if (alone)
            Observer.OutputPath(outputPath);
        outputPath = std::string(bytetext::Trim(outputPath));
        job.OutputPath = outputPath;
        const bool overwrite = settings.Overwrite;
        const bool exists = FileExists(outputPath);
        if (LogLevel() >= TLogLevel::Files && job.RetryCount == 0)
            Log(slot, exists && !overwrite ? outputPath + " (File exists. Skipped.)" : outputPath);
        // The pace of the run: files of one server start at least the pause apart.
        TServer& server = run.Servers[ServerOf(address)];
        const qint64 pause = settings.PauseSeconds * 1000;
        const qint64 sinceLastStart = server.Started ? server.LastStart.elapsed() : pause;
        co_await PauseBeforeFileAsync(run, job,
                                      static_cast<int>(std::max<qint64>(pause - sinceLastStart, 0)));
        server.Started = true;
        server.LastStart.start();

        if (!run.TestRun)
        {
            // A folder planted as a link would take the file elsewhere.
            if (HasLinkBelow(work.OutputDir, outputPath))
                throw ENoRetry("Invalid file " + outputPath);
            job.FoldersMadeFrom = FirstMissingFolder(DirectoryOf(outputPath));
            MakeDirectoryOf(outputPath);
            if (!exists && !CanCreateFile(outputPath))
                throw ENoRetry("Invalid file " + outputPath);
        }
        std::int64_t bytes = 0;
        bool endOfList = false;
        if (run.TestRun)
            co_await PauseBeforeFileAsync(run, job, 300);
        else if (!exists || settings.Overwrite)
            bytes = co_await TransferFileAsync(run, slot, job, endOfList);
        // The page that ends a patent document counts like any file.
        Bookkeeping(bytes, outputPath);
        if (endOfList)
            next = TNextStep::EndOfList;
        job.RetryCount = 0;
        co_await platform::Yield();
    }
    catch (const ENoRetry& failure)
    {
        failed = true;
        next = FailFile(run, slot, job, failure.what(), failure.Logged, true);
    }
    catch (const std::exception& error)
    {
        failed = true;
        next = FailFile(run, slot, job, TimedOutText(slot, bytetext::WithoutLineEnd(error.what())));
    }

    // Without these lines the log would read as if the file had come. A file that was whole
    // before the user's answer is kept, and counted, and no line says otherwise.
    const std::string& shownPath = job.OutputPath;
    if (failed && !stopRequested && UserGaveUp(run, job) && LogLevel() >= TLogLevel::URLs)
        Log(slot, shownPath + " Skipped");
    if (failed && stopRequested && LogLevel() >= TLogLevel::URLs)
        Log(slot, shownPath + " Stopped");
    if (errorCount > 0)
        Observer.Indicator(TIndicator::Error);
    co_return next;
}

TTask<std::int64_t> TDownloadRun::TransferFileAsync(TRun& run, TSlot& slot, TFileJob& job, bool& endOfList)
{
    // A name from an FTP folder's listing is relative to the folder, and as much an FTP file.
    const TEntryWork& work = run.Work[static_cast<std::size_t>(job.Entry)];
    const std::string& address = job.Address;
    const bool ftp = ProtocolOf(address) == TProtocol::Ftp;
    // And the pause again as a settle before each web file.
    if (const int pause = settings.PauseSeconds; !ftp && pause > 0)
        co_await PauseBeforeFileAsync(run, job, pause * 1000);
    TFetchRequest request = RequestFor(work, address, job.OutputPath);
    if (job.SumKind != TChecksumKind::None)
        request.Checksum = ChecksumKindName(job.SumKind);
    TFetchResult fetched = co_await slot.Fetch->FetchAsync(request);
    if (!request.Checksum.empty() && !fetched.ErrorAnswer())
        CheckSum(slot, job, fetched);
    // An FTP file is kept as it came: only a web server answers with an error page in its place.
    if (ftp)
        fetched.File.Commit();
    else
        KeepOrDiscard(run, slot, job, fetched, endOfList);
    co_return fetched.Bytes;
}

void TDownloadRun::KeepOrDiscard(TRun& run, TSlot& slot, TFileJob& job, TFetchResult& fetched,
                                 bool& endOfList)
{
    const TEntryWork& work = run.Work[static_cast<std::size_t>(job.Entry)];
    std::string title;
    const bool htmlPage = ReadPageTitle(fetched.File.Path(), title);
    if (work.PatentPage && htmlPage)
    {
        // The server answers past the last page of a document with an HTML page.
        fetched.File.Discard();
        endOfList = true;
        return;
    }
    const int replyCode = fetched.ReplyCode;
    const bool errorTitle =
        htmlPage && (title.find("ERROR") != std::string::npos || title.find("404") != std::string::npos);
    if (fetched.ErrorAnswer() || errorTitle)
    {
        // An error answer is never kept as the file. An error code fails the file; a page that
        // only calls itself an error passes as it did.
        const bool logged = LogLevel() >= TLogLevel::Files;
        const std::string text = htmlPage && !title.empty() ? title : ReplyCodeText(replyCode);
        if (logged)
            Log(slot, text);
        fetched.File.Discard();
        if (fetched.ErrorAnswer())
            throw ENoRetry(text, logged);
        return;
    }
    const std::string outputPath = fetched.File.OutputPath();
    fetched.File.Commit();
    if (!work.PatentPage && settings.SaveImages &&
        bytetext::UpperCase(outputPath).find(".HTM") != std::string::npos)
    {
        const TScanning scanning(Observer);
        TLinkList imageLinks;
        ExtractImageLinks(outputPath, imageLinks);
        const int rowsBefore = FileList.Count();
        MergePageLinks(run, imageLinks);
        QueueNewFiles(run, job.Entry, rowsBefore);
    }
}

void TDownloadRun::Bookkeeping(std::int64_t bytes, const std::string& outputPath)
{
    ++filesDone;
    // Only what was transferred counts as downloaded.
    bytesDone += bytes;
    // The rate over the milliseconds since the start: without a pause between files a run may
    // take less than a second.
    const QDateTime now = platform::Now();
    const qint64 milliseconds = std::max<qint64>(runStart.msecsTo(now) % 86400000, 1);
    Observer.Statistics(SizeText(bytesDone) + " downloaded in " + std::to_string(filesDone) + " files @ " +
                        SizeText(bytesDone * 1000 / milliseconds) + " bytes/Sec");
    if (settings.PrintFiles)
        PrintFile(outputPath);
}

void TDownloadRun::PrintFile(const std::string& outputPath)
{
    std::string printerSays;
    const int result = platform::PrintFile(outputPath, &printerSays);
    if (result >= 33)
        return;
    std::string text = PrintFailureText(result, outputPath);
    if (text.empty())
    {
        text = printerSays.empty() ? "ShellExecute returned an unknown error " + std::to_string(result)
                                   : printerSays;
        // One box a run: a printer that fails fails for every file, and the run goes on.
        if (!printFailureShown)
        {
            printFailureShown = true;
            platform::ShowMessage(text);
        }
    }
    if (LogLevel() >= TLogLevel::URLs)
        WriteLog(text);
}

TDownloadRun::TNextStep TDownloadRun::FailFile(TRun& run, TSlot& slot, TFileJob& job,
                                               const std::string& message, bool logged, bool final)
{
    slot.Fetch->Abort();
    // What came of a failed file (an error page, a part) is no progress.
    slot.Received = 0;
    slot.Expected = 0;
    ShowTransfers(true);
    // Folders made for a file that did not come are not left behind empty.
    RemoveEmptyFolders(DirectoryOf(job.OutputPath), job.FoldersMadeFrom);
    // A file the user gave up (Stop, Skip File, Skip URL) is no error, and is not tried again.
    if (UserGaveUp(run, job))
    {
        job.RetryCount = 0;
        job.State = TFileState::Skipped;
        return TNextStep::NextFile;
    }
    const int retries = final ? 0 : settings.Retries;
    if (final)
        job.RetryCount = 0;
    if (job.RetryCount >= retries)
    {
        ++errorCount;
        if (LogLevel() >= TLogLevel::URLs && !logged)
            Log(slot, "(" + std::string(bytetext::WithoutLineEnd(message)) + ")");
    }
    if (job.RetryCount < retries)
    {
        ++job.RetryCount;
        return TNextStep::Retry;
    }
    job.RetryCount = 0;
    job.State = TFileState::Failed;
    Observer.Alert();
    return TNextStep::NextFile;
}
