// The file step of the run: one File List entry from its output path to the bookkeeping.
#include "robot/downloadrun.h"

#include <algorithm>

#include "auth/httpevents.h"
#include "auth/replycodetext.h"
#include "links/linkextraction.h"
#include "links/urlresolution.h"
#include "net/nmftp.h"
#include "net/nmhttp.h"
#include "platform/bytetext.h"
#include "platform/clock.h"
#include "platform/exception.h"
#include "platform/pause.h"
#include "platform/prompt.h"
#include "platform/shell.h"
#include "robot/ftpfetch.h"
#include "robot/outputnaming.h"
#include "robot/outputpath.h"
#include "robot/pagelinks.h"
#include "robot/runobserver.h"
#include "robot/runpreferences.h"
#include "robot/sizetext.h"
#include "robot/transferfile.h"
#include "robot/watchdog.h"

namespace
{
// A file the server answered with an error code: a retry cannot change the answer.
class EErrorAnswer : public Exception
{
  public:
    EErrorAnswer(const std::string& message, bool logged) : Exception(message), Logged(logged) {}
    // Whether the answer is in the log already.
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

void TDownloadRun::HttpPacketRecvd()
{
    const std::int64_t received = NMHTTP1->ReceivedCount;
    const std::int64_t expected = NMHTTP1->ExpectedCount;
    ShowFileProgress(received, expected);
    // The transfer ends once the announced size is in, also when a chunk brought more.
    if (expected > 0 && received >= expected)
        NMHTTP1->Disconnect();
}

void TDownloadRun::FtpPacketRecvd()
{
    ShowFileProgress(NMFTP1->DataReceivedCount(), NMFTP1->ExpectedCount);
}

void TDownloadRun::ShowFileProgress(std::int64_t received, std::int64_t expected)
{
    // Every packet is a sign of life, so the watchdog fires only after a whole time-out without data.
    TimerConnect->Restart();
    Observer.FileProgress(received, expected);
}

TDownloadRun::TNextStep TDownloadRun::ProcessFile(TRun& run, int i)
{
    const qint64 sinceLastStart = run.LastFileStart.elapsed();
    if (sinceLastStart < 1000)
        platform::Pause(static_cast<int>(1000 - sinceLastStart));
    run.LastFileStart.start();

    const std::string entry = FileList.Item(i);
    // The address as it is fetched, port and all; a password in it only as "****".
    Observer.StatusText(0, MaskPassword(ResolveLink(run.PageAddress, entry)));
    FileIndex = i;
    Observer.FileSelected(i);
    const std::string place = std::to_string(i + 1) + " of " + std::to_string(FileList.Count());
    Observer.ListProgress(i, std::max(FileList.Count() - 1, 0), place);
    Observer.FileProgress(0, 0);
    Observer.Caption("Kestrow " + place);

    TNextStep next = TNextStep::NextFile;
    run.FoldersMadeFrom.clear();
    const int timeOutsBefore = TimerConnect->TimeOuts();
    bool failed = false;
    try
    {
        std::string outputPath;
        try
        {
            outputPath = FileOutputPath(run.OutputDir, entry, PatentPage, run.PatentNumber, i + 1);
        }
        catch (const Exception&)
        {
            // A name that cannot be made never will be: no retry.
            run.RetryCount = Preferences.Retries();
            throw;
        }
        Observer.OutputPath(outputPath);
        outputPath = std::string(bytetext::Trim(outputPath));
        CurrentOutputPath = outputPath;
        const bool overwrite = Preferences.Overwrite();
        const bool exists = FileExists(outputPath);
        if (LogLevel() >= LogFiles && run.RetryCount == 0)
            WriteLog(exists && !overwrite ? outputPath + " (File exists. Skipped.)" : outputPath);

        if (!run.TestRun)
        {
            if (HasLinkBelow(run.OutputDir, outputPath))
            {
                // A folder planted as a link would take the file elsewhere.
                run.RetryCount = Preferences.Retries();
                throw Exception("Invalid file " + outputPath);
            }
            run.FoldersMadeFrom = FirstMissingFolder(DirectoryOf(outputPath));
            MakeDirectoryOf(outputPath);
            if (!exists && !CanCreateFile(outputPath))
            {
                run.RetryCount = Preferences.Retries();
                throw Exception("Invalid file " + outputPath);
            }
        }
        std::int64_t bytes = 0;
        bool endOfList = false;
        if (run.TestRun)
            platform::Pause(300);
        else if (!exists || Preferences.Overwrite())
            bytes = TransferFile(run, entry, outputPath, endOfList);
        // The page that ends a patent document counts like any file.
        Bookkeeping(bytes, outputPath);
        if (endOfList)
            next = TNextStep::EndOfList;
        run.RetryCount = 0;
        platform::ProcessMessages();
    }
    catch (const EErrorAnswer& answer)
    {
        failed = true;
        run.RetryCount = Preferences.Retries();
        next = FailFile(run, answer.what(), answer.Logged);
    }
    catch (const std::exception& error)
    {
        failed = true;
        next = FailFile(run, TimedOutText(bytetext::WithoutLineEnd(error.what()), timeOutsBefore));
    }

    if (SkipFileRequested)
    {
        if (LogLevel() >= LogURLs)
            WriteLog(CurrentOutputPath + " Skipped");
        SkipFileRequested = false;
    }
    // Without this line the log would read as if the file had come.
    if (failed && StopRequested && LogLevel() >= LogURLs)
        WriteLog(CurrentOutputPath + " Stopped");
    if (ErrorCount > 0)
        Observer.Indicator(IndicatorError);
    return next;
}

std::int64_t TDownloadRun::TransferFile(TRun& run, const std::string& entry, const std::string& outputPath,
                                        bool& endOfList)
{
    const TURLParts parts = SplitURL(entry);
    const bool ftp = bytetext::EqualsNoCase(parts.Scheme, "ftp://");
    const std::string transferPath = CreateTransferFile(outputPath);
    try
    {
        if (ftp)
            FetchFtpFile(*NMFTP1, parts, transferPath);
        else
        {
            NMHTTP1->Abort();
            HttpPacketRecvd();
            platform::ProcessMessages();
            platform::Pause(1000);
            platform::ProcessMessages();
            FetchHttpFile(run, ResolveLink(run.PageAddress, entry), transferPath);
        }
        KeepOrDiscard(run, transferPath, outputPath, !ftp, endOfList);
    }
    catch (...)
    {
        DiscardFile(transferPath);
        throw;
    }
    return ftp ? NMFTP1->ExpectedCount : NMHTTP1->ExpectedCount;
}

void TDownloadRun::FetchHttpFile(const TRun& run, const std::string& fileURL, const std::string& bodyFile)
{
    NMHTTP1->Body = bodyFile;
    UseEntryLogin(run, fileURL);
    const int loginsBefore = HttpEvents->LoginsStored;
    FollowedGet(fileURL);
    if (NMHTTP1->ReplyCode == 407)
        HttpEvents->ProbeWithProxyLogin(fileURL);
    // A login answered during this request: fetch the file again with the credential, rather
    // than keep the refusal.
    if ((NMHTTP1->ReplyCode == 401 || NMHTTP1->ReplyCode == 407) && HttpEvents->LoginsStored > loginsBefore)
        FollowedGet(fileURL);
    const std::int64_t announced = NMHTTP1->ExpectedCount;
    KeepAnnouncedLength(bodyFile, announced);
}

void TDownloadRun::KeepOrDiscard(TRun& run, const std::string& transferPath, const std::string& outputPath,
                                 bool http, bool& endOfList)
{
    std::string title;
    const bool htmlPage = ReadPageTitle(transferPath, title);
    if (PatentPage && htmlPage)
    {
        // The server answers past the last page of a document with an HTML page.
        DiscardFile(transferPath);
        endOfList = true;
        return;
    }
    const int replyCode = http ? NMHTTP1->ReplyCode : 0;
    const bool errorTitle =
        htmlPage && (title.find("ERROR") != std::string::npos || title.find("404") != std::string::npos);
    if (replyCode >= 400 || errorTitle)
    {
        // An error answer is never kept as the file. An error code fails the file; a page that
        // only calls itself an error passes as it did.
        const bool logged = LogLevel() >= LogFiles;
        const std::string text = htmlPage && !title.empty() ? title : ReplyCodeText(replyCode);
        if (logged)
            WriteLog(text);
        DiscardFile(transferPath);
        if (replyCode >= 400)
            throw EErrorAnswer(text, logged);
        return;
    }
    CommitTransferFile(transferPath, outputPath);
    if (!PatentPage && Preferences.SaveImages() &&
        bytetext::UpperCase(outputPath).find(".HTM") != std::string::npos)
    {
        run.PageLinks.Clear();
        ExtractImageLinks(outputPath, run.PageLinks);
        MergePageLinks(run);
    }
}

void TDownloadRun::Bookkeeping(std::int64_t bytes, const std::string& outputPath)
{
    ++FilesDone;
    // Only what was transferred counts as downloaded.
    BytesDone += bytes;
    const QDateTime now = platform::Now();
    const qint64 seconds = std::max<qint64>(RunStart.secsTo(now) % 86400, 1);
    Observer.Statistics(SizeText(BytesDone) + " downloaded in " + std::to_string(FilesDone) + " files @ " +
                        SizeText(BytesDone / seconds) + " bytes/Sec");
    if (Preferences.PrintFiles())
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
    if (LogLevel() >= LogURLs)
        WriteLog(text);
}

TDownloadRun::TNextStep TDownloadRun::FailFile(TRun& run, const std::string& message, bool logged)
{
    AbortClients();
    // What came of a failed file (an error page, a part) is no progress.
    Observer.FileProgress(0, 0);
    platform::ProcessMessages();
    // Folders made for a file that did not come are not left behind empty.
    RemoveEmptyFolders(DirectoryOf(CurrentOutputPath), run.FoldersMadeFrom);
    const int retries = Preferences.Retries();
    if (run.RetryCount >= retries)
    {
        ++ErrorCount;
        if (LogLevel() >= LogURLs && !logged)
            WriteLog("(" + std::string(bytetext::WithoutLineEnd(message)) + ")");
    }
    if (run.RetryCount < retries && !SkipFileRequested)
    {
        ++run.RetryCount;
        return TNextStep::Retry;
    }
    run.RetryCount = 0;
    Observer.Alert();
    return TNextStep::NextFile;
}
