// The file step of the run: one File List entry from its output path to the bookkeeping.
#include "robot/downloadrun.h"

#include <algorithm>

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

bool TDownloadRun::UserGaveUp() const
{
    return stopRequested || skipFileRequested || skipURLRequested;
}

TTask<void> TDownloadRun::PauseBeforeFileAsync(int milliseconds)
{
    // The pause is up to a minute: Stop and the skips end it at once, and the file that was to
    // follow it does not start.
    const bool whole = co_await platform::PauseAsync(milliseconds, [this] { return UserGaveUp(); });
    if (!whole)
        throw Exception("Cancelled");
}

TTask<TDownloadRun::TNextStep> TDownloadRun::ProcessFileAsync(TRun& run, int i)
{
    const std::string entry = FileList.Item(i);
    // The address as it is fetched, port and all; a password in it only as "****".
    Observer.StatusText(0, MaskPassword(ResolveLink(run.PageAddress, entry)));
    fileIndex = i;
    Observer.FileSelected(i);
    const std::string place = std::to_string(i + 1) + " of " + std::to_string(FileList.Count());
    Observer.ListProgress(i, std::max(FileList.Count() - 1, 0), place);
    Observer.FileProgress(0, 0);
    Observer.Caption("Kestrow " + place);

    TNextStep next = TNextStep::NextFile;
    run.FoldersMadeFrom.clear();
    bool failed = false;
    try
    {
        std::string outputPath;
        try
        {
            outputPath = FileOutputPath(run.OutputDir, entry, run.PatentPage, run.PatentNumber, i + 1);
        }
        catch (const Exception& error)
        {
            // A name that cannot be made never will be.
            throw ENoRetry(error.Message());
        }
        Observer.OutputPath(outputPath);
        outputPath = std::string(bytetext::Trim(outputPath));
        currentOutputPath = outputPath;
        const bool overwrite = settings.Overwrite;
        const bool exists = FileExists(outputPath);
        if (LogLevel() >= TLogLevel::Files && run.RetryCount == 0)
            WriteLog(exists && !overwrite ? outputPath + " (File exists. Skipped.)" : outputPath);
        // The pace of the run: files start at least the pause apart.
        const qint64 pause = settings.PauseSeconds * 1000;
        const qint64 sinceLastStart = run.LastFileStart.elapsed();
        co_await PauseBeforeFileAsync(static_cast<int>(std::max<qint64>(pause - sinceLastStart, 0)));
        run.LastFileStart.start();

        if (!run.TestRun)
        {
            // A folder planted as a link would take the file elsewhere.
            if (HasLinkBelow(run.OutputDir, outputPath))
                throw ENoRetry("Invalid file " + outputPath);
            run.FoldersMadeFrom = FirstMissingFolder(DirectoryOf(outputPath));
            MakeDirectoryOf(outputPath);
            if (!exists && !CanCreateFile(outputPath))
                throw ENoRetry("Invalid file " + outputPath);
        }
        std::int64_t bytes = 0;
        bool endOfList = false;
        if (run.TestRun)
            co_await PauseBeforeFileAsync(300);
        else if (!exists || settings.Overwrite)
            bytes = co_await TransferFileAsync(run, entry, outputPath, endOfList);
        // The page that ends a patent document counts like any file.
        Bookkeeping(bytes, outputPath);
        if (endOfList)
            next = TNextStep::EndOfList;
        run.RetryCount = 0;
        co_await platform::Yield();
    }
    catch (const ENoRetry& failure)
    {
        failed = true;
        next = FailFile(run, failure.what(), failure.Logged, true);
    }
    catch (const std::exception& error)
    {
        failed = true;
        next = FailFile(run, TimedOutText(bytetext::WithoutLineEnd(error.what())));
    }

    // Without these lines the log would read as if the file had come. A file that was whole
    // before the user's answer is kept, and counted, and no line says otherwise.
    if (failed && !stopRequested && (skipFileRequested || skipURLRequested) && LogLevel() >= TLogLevel::URLs)
        WriteLog(currentOutputPath + " Skipped");
    if (failed && stopRequested && LogLevel() >= TLogLevel::URLs)
        WriteLog(currentOutputPath + " Stopped");
    skipFileRequested = false;
    if (errorCount > 0)
        Observer.Indicator(TIndicator::Error);
    co_return next;
}

TTask<std::int64_t> TDownloadRun::TransferFileAsync(TRun& run, std::string entry, std::string outputPath,
                                                    bool& endOfList)
{
    // A name from an FTP folder's listing is relative to the folder, and as much an FTP file.
    const std::string address = ResolveLink(run.PageAddress, entry);
    const bool ftp = ProtocolOf(address) == TProtocol::Ftp;
    // And the pause again as a settle before each web file.
    if (const int pause = settings.PauseSeconds; !ftp && pause > 0)
        co_await PauseBeforeFileAsync(pause * 1000);
    TFetchResult fetched = co_await Fetch->FetchAsync(RequestFor(run, address, outputPath));
    // An FTP file is kept as it came: only a web server answers with an error page in its place.
    if (ftp)
        fetched.File.Commit();
    else
        KeepOrDiscard(run, fetched, endOfList);
    co_return fetched.Bytes;
}

void TDownloadRun::KeepOrDiscard(TRun& run, TFetchResult& fetched, bool& endOfList)
{
    std::string title;
    const bool htmlPage = ReadPageTitle(fetched.File.Path(), title);
    if (run.PatentPage && htmlPage)
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
            WriteLog(text);
        fetched.File.Discard();
        if (fetched.ErrorAnswer())
            throw ENoRetry(text, logged);
        return;
    }
    const std::string outputPath = fetched.File.OutputPath();
    fetched.File.Commit();
    if (!run.PatentPage && settings.SaveImages &&
        bytetext::UpperCase(outputPath).find(".HTM") != std::string::npos)
    {
        const TScanning scanning(Observer);
        run.PageLinks.Clear();
        ExtractImageLinks(outputPath, run.PageLinks);
        MergePageLinks(run);
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

TDownloadRun::TNextStep TDownloadRun::FailFile(TRun& run, const std::string& message, bool logged, bool final)
{
    AbortClients();
    // What came of a failed file (an error page, a part) is no progress.
    Observer.FileProgress(0, 0);
    // Folders made for a file that did not come are not left behind empty.
    RemoveEmptyFolders(DirectoryOf(currentOutputPath), run.FoldersMadeFrom);
    // A file the user gave up (Stop, Skip File, Skip URL) is no error, and is not tried again.
    if (stopRequested || skipFileRequested || skipURLRequested)
    {
        run.RetryCount = 0;
        return TNextStep::NextFile;
    }
    const int retries = final ? 0 : settings.Retries;
    if (final)
        run.RetryCount = 0;
    if (run.RetryCount >= retries)
    {
        ++errorCount;
        if (LogLevel() >= TLogLevel::URLs && !logged)
            WriteLog("(" + std::string(bytetext::WithoutLineEnd(message)) + ")");
    }
    if (run.RetryCount < retries && !skipFileRequested)
    {
        ++run.RetryCount;
        return TNextStep::Retry;
    }
    run.RetryCount = 0;
    Observer.Alert();
    return TNextStep::NextFile;
}
