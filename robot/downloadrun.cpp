// The walk of the run: start, the scheduled wait, set-up, the URL List, and the end.
#include "robot/downloadrun.h"

#include <algorithm>
#include <cstdio>

#include <QLocale>

#include "auth/replycodetext.h"
#include "links/linkextraction.h"
#include "links/patent.h"
#include "links/urlresolution.h"
#include "net/origin.h"
#include "platform/bytetext.h"
#include "platform/clock.h"
#include "platform/eventguard.h"
#include "platform/exception.h"
#include "platform/pause.h"
#include "platform/prompt.h"
#include "platform/shell.h"
#include "platform/widgettext.h"
#include "robot/activitylog.h"
#include "robot/ftpaddress.h"
#include "robot/folders.h"
#include "robot/savepaths.h"
#include "robot/pagelinks.h"
#include "robot/runobserver.h"
#include "robot/runpreferences.h"
#include "robot/protocol.h"
#include "robot/sizetext.h"
#include "settings/makerpages.h"
#include "settings/starttime.h"

namespace
{

// The entry's address as the log and the status show it: with its user name, but a password
// only as "****".
std::string ShownAddress(const std::string& address, const TURLParts& parts)
{
    if (parts.User.empty())
        return address;
    const std::size_t hostStart = address.find("://") + 3;
    return address.substr(0, hostStart) + parts.User + (parts.Password.empty() ? "" : ":****") + "@" +
           address.substr(hostStart);
}

std::string DateTimeText(const QDateTime& moment)
{
    const QLocale locale;
    // The long time format without the zone, as clocks show it.
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t'));
    return platform::ToStdString(locale.toString(moment.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                                 moment.time().toString(timeFormat.trimmed()));
}
} // namespace

// The run's side of its transfers: what the transfer unit reports goes to the log and the
// observer.
class TDownloadRun::TFetchReports : public TFetchObserver
{
  public:
    explicit TFetchReports(TDownloadRun& run) : run(run) {}

    TLogLevel LogLevel() const override { return run.LogLevel(); }
    void WriteLog(const std::string& line, bool fileOnly) override { run.WriteLog(line, fileOnly); }
    std::string ProxyPreference() const override { return run.settings.ProxyServer; }
    void HttpStatus(const std::string& text) override { run.Observer.HttpStatus(text); }
    void FtpStatus(const std::string& text) override { run.Observer.FtpStatus(text); }
    void Indicator(TIndicator kind) override { run.Observer.Indicator(kind); }
    void Redirected(const std::string& address) override { run.Observer.Redirected(address); }
    void Progress(std::int64_t received, std::int64_t expected) override
    {
        run.Observer.FileProgress(received, expected);
    }
    void Caught(const std::string& message) override { run.ReportCaught(message); }
    void Resumed(std::int64_t from, std::int64_t total) override
    {
        if (run.LogLevel() >= TLogLevel::Files)
            run.WriteLog(ResumedText(from, total));
    }

  private:
    TDownloadRun& run;
};

TDownloadRun::TScanning::TScanning(TRunObserver& observer) : observer(observer)
{
    observer.Scanning(true);
}

TDownloadRun::TScanning::~TScanning()
{
    observer.Scanning(false);
}

TDownloadRun::TDownloadRun(TRunPreferences& preferences, TRunObserver& observer, QObject* owner)
    : QObject(owner), Preferences(preferences), Observer(observer),
      fetchReports(std::make_unique<TFetchReports>(*this)), Fetch(new TFetch(*fetchReports, this))
{
}

TDownloadRun::~TDownloadRun()
{
    // A run still under way is given up where it waits; its files are left as a failed
    // transfer leaves them.
    runTask.reset();
    previewTask.reset();
    delete Fetch;
}

TLogLevel TDownloadRun::LogLevel() const
{
    return runActive || previewActive ? settings.LogLevel : Preferences.LogLevel();
}

TTlsTrust& TDownloadRun::Trust()
{
    return Fetch->Trust();
}

bool TDownloadRun::WatchdogFired() const
{
    return Fetch->TimedOut();
}

void TDownloadRun::WriteLog(const std::string& line, bool fileOnly)
{
    const std::string failure = AppendLogLine(line);
    Observer.LogLine(line, fileOnly);
    // A log file that takes no more lines is shown once a run, beside the lines it misses.
    if (!failure.empty() && !logFailureShown)
    {
        logFailureShown = true;
        Observer.LogLine(failure, false);
    }
}

void TDownloadRun::ReportCaught(const std::string& message)
{
    if (LogLevel() < TLogLevel::HttpCodes)
        return;
    WriteLog("(" + std::string(bytetext::WithoutLineEnd(message)) + ")");
}

void TDownloadRun::SetRunning(bool value)
{
    running = value;
    Observer.RunStateChanged();
}

void TDownloadRun::RequestStop()
{
    stopRequested = true;
    Fetch->GiveUp();
    Observer.StatusText(0, "Finishing Current file...");
    Fetch->AbortHttp();
    Fetch->CloseFtp();
    SetRunning(false);
}

void TDownloadRun::Abandon()
{
    stopRequested = true;
    Fetch->GiveUp();
    AbortClients();
}

void TDownloadRun::RequestSkipFile()
{
    skipFileRequested = true;
    Fetch->GiveUp();
    AbortClients();
}

void TDownloadRun::RequestSkipURL()
{
    skipURLRequested = true;
    Fetch->GiveUp();
    Fetch->AbortHttp();
    // An FTP folder's listing is the entry's page.
    Fetch->AbortListing();
}

void TDownloadRun::AbortClients()
{
    previewAborted = previewActive;
    Fetch->Abort();
}

TTask<void> TDownloadRun::RunAsync(bool testRun)
{
    // A stopped run may still be leaving its transfer; Go waits for it to return.
    if (runActive || previewActive)
        co_return;
    // The run works from the preferences and the URL List as they are now.
    settings = TRunSettings::Of(Preferences);
    runActive = true;
    TRun run;
    run.TestRun = testRun;
    run.Entries = URLList.Items();
    try
    {
        co_await StartRunAsync(run);
        co_await ScheduledWaitAsync();
        SetUpRun(run);
        for (int j = 0; j < static_cast<int>(run.Entries.size()) && !stopRequested; ++j)
            co_await ProcessURLAsync(run, j);
    }
    catch (const std::exception& error)
    {
        // Pages and files catch their own failures; anything else ends the run with a word.
        ++errorCount;
        platform::ShowMessage("TFormKestrow.SpeedButtonGoClick:" +
                              std::string(bytetext::WithoutLineEnd(error.what())));
    }
    // The connections kept for a next transfer are closed, the FTP ones with a goodbye.
    co_await Fetch->CloseConnectionsAsync();
    EndRun(run);
}

void TDownloadRun::Go(bool testRun)
{
    if (runActive || previewActive)
        return;
    // The run goes on from the event loop; what Go started is kept until the next Go.
    runTask.emplace(RunAsync(testRun));
    runTask->Start([] {});
}

TTask<void> TDownloadRun::StartRunAsync(TRun& run)
{
    // Only a Stop left from an earlier run is forgotten; one that comes during the pause below
    // (an interrupt, the window closing) ends this run.
    stopRequested = false;
    Observer.RunStarted();
    FileList.Clear();
    run.PageLinks.Clear();
    run.SeenLinks.Clear();
    Observer.Indicator(TIndicator::OK);
    // The run's half second to settle in, no longer than the pause between files.
    co_await platform::PauseAsync(std::min(500, settings.PauseSeconds * 1000));
    errorCount = 0;
    printFailureShown = false;
    logFailureShown = false;
    Observer.StatusText(0, "");
    Observer.StatusText(1, "");
    Observer.ListProgress(0, 1, "");
    Observer.FileProgress(0, 0);
    Observer.Statistics("");
    Fetch->ApplyProxySetting();
    Fetch->ForgetFtpFallBacks();
}

TTask<void> TDownloadRun::ScheduledWaitAsync()
{
    // The start time alone is read while the run waits for it: the user may move it meanwhile.
    bool logged = false;
    while (Preferences.StartAtChecked())
    {
        const std::string startTime = Preferences.StartTime();
        if (StartTimeText(platform::Now().time()) == startTime || stopRequested)
            break;
        // A time already past today comes tomorrow; the texts say so rather than leave the user
        // to wonder why nothing starts.
        const auto until = [&startTime]
        {
            const std::string now = StartTimeText(platform::Now().time());
            return " Waiting until " + startTime + (startTime < now ? " tomorrow" : "");
        };
        if (!logged && LogLevel() >= TLogLevel::URLs)
            WriteLog(std::string(bytetext::Trim(until())));
        logged = true;
        SetRunning(true);
        Observer.Indicator(TIndicator::Timer);
        co_await platform::PauseAsync(500);
        Observer.Caption("Kestrow ZZzz..");
        Observer.StatusText(0, StartTimeText(platform::Now().time()) + until());
        Observer.StatusText(1, "");
    }
}

void TDownloadRun::SetUpRun(TRun& run)
{
    Observer.Indicator(TIndicator::OK);
    run.RetryCount = 0;
    urlIndex = 0;
    fileIndex = 0;
    Observer.URLSelected(0);
    Observer.FileSelected(0);
    filesDone = 0;
    bytesDone = 0;
    Observer.Statistics("");
    runStart = platform::Now();
    if (LogLevel() >= TLogLevel::URLs)
        WriteLog("Download started " + DateTimeText(platform::Now()));
    SetRunning(true);
}

TTask<void> TDownloadRun::ProcessURLAsync(TRun& run, int j)
{
    Fetch->AbortHttp();
    // The abort's "Canceling" and the bars of the entry before stand for nothing of this one.
    Observer.StatusText(1, "");
    Observer.ListProgress(0, 0, "");
    Observer.FileProgress(0, 0);
    skipURLRequested = false;
    run.RetryCount = 0;
    urlIndex = j;
    Observer.URLSelected(j);
    const std::string entry = run.Entries[static_cast<std::size_t>(j)];
    const std::size_t arrow = entry.find("->");
    run.CurrentURL = entry.substr(0, arrow);
    run.OutputDir = arrow == std::string::npos ? std::string() : entry.substr(arrow + 2);
    const TURLParts parts = SplitURL(run.CurrentURL);
    run.CurrentURL = StripCredentials(run.CurrentURL);
    run.EntryUser = parts.User;
    run.EntryPassword = parts.Password;
    run.EntryOrigin = OriginOf(run.CurrentURL);
    const std::string shownURL = ShownAddress(run.CurrentURL, parts);
    if (LogLevel() >= TLogLevel::URLs)
    {
        WriteLog("");
        WriteLog("Processing URL " + shownURL);
    }
    Observer.StatusText(0, "Downloading " + shownURL);
    co_await platform::Yield();

    try
    {
        co_await FetchPageAsync(run, parts);
    }
    catch (const std::exception& error)
    {
        FileList.Clear();
        // What came instead of the page (an error page, a part of it) is no progress.
        Observer.FileProgress(0, 0);
        // A page the user gave up is no error; the log says how it ended.
        if (stopRequested || skipURLRequested)
        {
            if (LogLevel() >= TLogLevel::URLs)
                WriteLog(shownURL + (stopRequested ? " Stopped" : " Skipped"));
        }
        else
        {
            Observer.Indicator(TIndicator::Error);
            ++errorCount;
            if (LogLevel() >= TLogLevel::URLs)
                WriteLog("Failed to download page " + shownURL + " (" +
                         TimedOutText(bytetext::WithoutLineEnd(error.what())) + ")");
        }
    }

    fileIndex = 0;
    Observer.FileSelected(0);
    Observer.ListProgress(0, std::max(FileList.Count() - 1, 0), "");
    skipFileRequested = false;
    run.LastFileStart.start();
    int i = 0;
    while (FileList.Count() > 0 && i < FileList.Count() && !stopRequested && !skipURLRequested)
    {
        const TNextStep step = co_await ProcessFileAsync(run, i);
        switch (step)
        {
        case TNextStep::Retry:
            break;
        case TNextStep::NextFile:
            ++i;
            break;
        case TNextStep::EndOfList:
            i = FileList.Count();
            break;
        }
    }
}

TTask<void> TDownloadRun::FetchPageAsync(TRun& run, const TURLParts& parts)
{
    const std::string bodyFile = PageFileName(run.OutputDir, run.CurrentURL);
    if (!MakePath(run.OutputDir))
        throw Exception("Cannot create path " + run.OutputDir);
    run.PatentPage = IsPatentScheme(parts.Scheme);
    run.PatentNumber = parts.Host;
    run.PageAddress = run.CurrentURL;
    // An FTP entry names a folder: its listing is the page, and its files are the links.
    const bool ftpFolder = ProtocolOf(run.CurrentURL) == TProtocol::Ftp;
    if (ftpFolder && run.PageAddress.back() != '/')
        run.PageAddress += '/';
    FileList.Clear();
    // The page arrives beside its name and takes it in one step, so a link planted under that
    // name leads nowhere, and a failed fetch leaves the page of an earlier run. A patent
    // document has no page: the maker's home page is probed for proxy credentials before its
    // page queries go out.
    TFetchRequest request = RequestFor(run, run.PatentPage ? CorvaneHomePage : run.CurrentURL, bodyFile);
    request.Head = run.PatentPage;
    request.ProbeFirst = true;
    request.ListFolder = ftpFolder;
    TFetchResult page = co_await Fetch->FetchAsync(request);
    if (!page.RedirectedTo.empty() && !run.PatentPage)
        run.PageAddress = page.RedirectedTo;
    // The server's error page is no list of files, and does not take the page's place.
    if (page.ErrorAnswer() && !run.PatentPage)
        throw Exception(ReplyCodeText(page.ReplyCode));
    Observer.StatusText(0, "Downloading " + page.Host);
    page.File.Commit();
    const auto merge = [&]
    {
        MergePageLinks(run);
        // A page whose links were all taken before would otherwise list nothing without a word.
        const std::size_t taken = run.PageLinks.Count() - static_cast<std::size_t>(FileList.Count());
        if (taken > 0 && LogLevel() >= TLogLevel::Files)
            WriteLog(std::to_string(taken) + (taken == 1 ? " link was" : " links were") +
                     " taken from an earlier page");
    };
    if (run.PatentPage)
    {
        run.PageLinks.Clear();
        PatentPageLinks(parts.Scheme, parts.Host, run.PageLinks, platform::ShowMessage);
        merge();
    }
    else
    {
        const TScanning scanning(Observer);
        if (ftpFolder)
            FolderLinks(bodyFile, page.MachineListing, settings.FilterText, settings.FilterMode,
                        run.PageLinks);
        else
            run.PageAddress = ExtractLinks(bodyFile, settings.FilterText, settings.FilterMode, run.PageLinks,
                                           run.PageAddress);
        merge();
        if (settings.SaveImages && !ftpFolder)
        {
            ExtractImageLinks(bodyFile, run.PageLinks);
            MergePageLinks(run);
        }
    }
}

TFetchRequest TDownloadRun::RequestFor(const TRun& run, const std::string& url,
                                       const std::string& destination) const
{
    TFetchRequest request;
    request.Address = url;
    request.Destination = destination;
    request.User = run.EntryUser;
    request.Password = run.EntryPassword;
    request.LoginOrigin = run.EntryOrigin;
    request.TimeOutSeconds = settings.TimeOut;
    request.PassiveFtp = settings.PassiveFtp;
    return request;
}

std::string TDownloadRun::TimedOutText(std::string_view message) const
{
    // The watchdog's abort reads like any other; the line says it was the time-out.
    std::string text(message);
    if (Fetch->TimedOut())
        text += ": no data for " + std::to_string(settings.TimeOut) + " s";
    return text;
}

void TDownloadRun::MergePageLinks(TRun& run)
{
    MergeNewLinks(run.SeenLinks, run.PageLinks, FileList);
    for (const std::string& link : run.PageLinks.Items())
        run.SeenLinks.AppendNew(link);
}

void TDownloadRun::EndRun(TRun& run)
{
    Observer.StatusText(0, stopRequested ? "Cancelled." : "All done.");
    Observer.OutputPath("");
    if (LogLevel() >= TLogLevel::URLs)
    {
        WriteLog("Download completed " + DateTimeText(platform::Now()) + ".  " + SizeText(bytesDone) +
                 " downloaded in " + std::to_string(filesDone) + " files");
        WriteLog(std::string(57, '='));
    }
    const TAfterDownload after = settings.AfterDownload;
    if (errorCount > 0 && after == TAfterDownload::Nothing)
    {
        const char* noun = errorCount > 1 ? "errors" : "error";
        const char* verb = errorCount > 1 ? "were" : "was";
        char text[256];
        if (LogLevel() >= TLogLevel::URLs)
        {
            std::snprintf(text, sizeof text, "%d %s occured.  Would you like to view the log?.", errorCount,
                          noun);
            if (platform::Confirm(text))
                Observer.ViewLog();
        }
        else
        {
            std::snprintf(text, sizeof text, "%d %s occured and %s not logged.", errorCount, noun, verb);
            platform::ShowMessage(text);
        }
    }
    running = false;
    runActive = false;
    Observer.RunStateChanged();
    AbortClients();
    Observer.StatusText(1, "");
    run.PageLinks.Clear();
    run.SeenLinks.Clear();
    currentOutputPath.clear();
    Observer.OutputPath("");
    Observer.Indicator(TIndicator::None);
    Observer.Caption("");
    Observer.RunEnded();
    if (!stopRequested)
    {
        if (after == TAfterDownload::Close)
            Observer.CloseProgram();
        else if (after == TAfterDownload::ShutDown)
            platform::ShutDown();
    }
}
