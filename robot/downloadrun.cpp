// The walk of the run: start, the scheduled wait, set-up, the URL List, and the end.
#include "robot/downloadrun.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include <QLocale>

#include "auth/httpevents.h"
#include "auth/replycodetext.h"
#include "links/linkextraction.h"
#include "links/patent.h"
#include "links/urlresolution.h"
#include "net/cookiefile.h"
#include "net/extraheader.h"
#include "net/origin.h"
#include "net/ratelimit.h"
#include "platform/bytetext.h"
#include "platform/clock.h"
#include "platform/eventguard.h"
#include "platform/exception.h"
#include "platform/pause.h"
#include "platform/prompt.h"
#include "platform/signal.h"
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

// The run's side of a transfer unit: what it reports goes to the log block and the bars of the
// transfer it carries.
class TDownloadRun::TFetchReports : public TFetchObserver
{
  public:
    TFetchReports(TDownloadRun& run, TSlot& slot) : run(run), slot(slot) {}

    TLogLevel LogLevel() const override { return run.LogLevel(); }
    void WriteLog(const std::string& line, bool fileOnly) override
    {
        run.runLog.Write(slot.Block, line, fileOnly);
    }
    std::string ProxyPreference() const override { return run.settings.ProxyServer; }
    // The clients' own words make sense only while theirs is the one transfer.
    void HttpStatus(const std::string& text) override
    {
        if (run.inFlight <= 1)
            run.Observer.HttpStatus(text);
    }
    void FtpStatus(const std::string& text) override
    {
        if (run.inFlight <= 1)
            run.Observer.FtpStatus(text);
    }
    void Indicator(TIndicator kind) override { run.Observer.Indicator(kind); }
    void Redirected(const std::string& address) override
    {
        slot.Received = 0;
        slot.Expected = 0;
        if (run.inFlight <= 1)
            run.Observer.Redirected(address);
        else
            run.ShowTransfers(false);
    }
    void Progress(std::int64_t received, std::int64_t expected) override
    {
        slot.Received = received;
        slot.Expected = expected;
        run.ShowTransfers(false);
    }
    void Caught(const std::string& message) override { run.ReportCaught(message); }
    void Resumed(std::int64_t from, std::int64_t total) override
    {
        if (run.LogLevel() >= TLogLevel::Files)
            WriteLog(ResumedText(from, total), false);
    }

  private:
    TDownloadRun& run;
    TSlot& slot;
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
    : QObject(owner), Preferences(preferences), Observer(observer), Fetch(nullptr),
      runLog([this](const std::string& line, bool fileOnly) { WriteLog(line, fileOnly); })
{
    Fetch = AddSlot().Fetch;
}

TDownloadRun::~TDownloadRun()
{
    // A run still under way is given up where it waits; its files are left as a failed
    // transfer leaves them.
    runTask.reset();
    previewTask.reset();
    for (const std::unique_ptr<TSlot>& slot : units)
        delete slot->Fetch;
}

TDownloadRun::TSlot& TDownloadRun::AddSlot()
{
    auto slot = std::make_unique<TSlot>();
    slot->Reports = std::make_unique<TFetchReports>(*this, *slot);
    slot->Fetch = new TFetch(*slot->Reports, this);
    if (!units.empty())
        slot->Fetch->ShareWith(*units.front()->Fetch);
    units.push_back(std::move(slot));
    return *units.back();
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
    return (lastEnded ? lastEnded->Fetch : Fetch)->TimedOut();
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

void TDownloadRun::Log(const TSlot& slot, const std::string& line)
{
    runLog.Write(slot.Block, line);
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
    Observer.StatusText(0, "Finishing Current file...");
    for (const std::unique_ptr<TSlot>& slot : units)
    {
        slot->Fetch->GiveUp();
        slot->Fetch->AbortHttp();
        slot->Fetch->CloseFtp();
    }
    SetRunning(false);
    changed.Notify();
}

void TDownloadRun::Abandon()
{
    stopRequested = true;
    for (const std::unique_ptr<TSlot>& slot : units)
        slot->Fetch->GiveUp();
    AbortClients();
    changed.Notify();
}

void TDownloadRun::RequestSkipFile(int row)
{
    if (!current)
        return;
    TRun& run = *current;
    const auto skip = [this](TFileJob& job)
    {
        job.SkipRequested = true;
        for (const std::unique_ptr<TSlot>& slot : units)
            if (slot->Busy && slot->File == &job)
            {
                slot->Fetch->GiveUp();
                slot->Fetch->Abort();
            }
    };
    const bool listed = row >= 0 && row < static_cast<int>(run.Files.size());
    TFileJob* chosen = listed ? &run.Files[static_cast<std::size_t>(row)] : nullptr;
    if (chosen && chosen->State == TFileState::Waiting)
    {
        skip(*chosen);
        // A file that never started says so in the log as one that was under way does.
        if (LogLevel() >= TLogLevel::URLs)
        {
            const int block = runLog.Open(chosen->Entry);
            runLog.Write(block,
                         (chosen->PlannedPath.empty() ? chosen->Link : chosen->PlannedPath) + " Skipped");
            runLog.Close(block);
        }
        EndFile(run, *chosen, TFileState::Skipped);
    }
    else if (chosen && chosen->State == TFileState::UnderWay)
        skip(*chosen);
    else
        for (const std::unique_ptr<TSlot>& slot : units)
            if (slot->Busy && slot->File)
                skip(*slot->File);
    changed.Notify();
}

void TDownloadRun::RequestSkipURL()
{
    if (!current)
        return;
    for (const std::unique_ptr<TSlot>& slot : units)
    {
        if (!slot->Busy || slot->Entry < 0)
            continue;
        current->Work[static_cast<std::size_t>(slot->Entry)].Skipped = true;
        slot->Fetch->GiveUp();
        slot->Fetch->AbortHttp();
        // An FTP folder's listing is the entry's page.
        slot->Fetch->AbortListing();
    }
    changed.Notify();
}

void TDownloadRun::AbortClients()
{
    previewAborted = previewActive;
    for (const std::unique_ptr<TSlot>& slot : units)
        slot->Fetch->Abort();
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
    current = &run;
    try
    {
        co_await StartRunAsync(run);
        co_await ScheduledWaitAsync();
        SetUpRun(run);
        // The walk: whatever may start starts, and the walk waits for a transfer to end or a
        // command to come. A transfer ending never finds nothing to wait for: without one under
        // way, nothing is left that could start.
        for (;;)
        {
            const std::uint64_t seen = changed.Notices();
            const bool started = !stopRequested && StartWhatMay(run);
            run.Steps.remove_if([](const TTask<void>& step) { return step.Done(); });
            if (inFlight == 0 && connectingAhead == 0 && !started)
                break;
            if (changed.Notices() == seen)
                co_await changed.Wait();
        }
    }
    catch (const std::exception& error)
    {
        // Pages and files catch their own failures; anything else ends the run with a word.
        ++errorCount;
        platform::ShowMessage("TFormKestrow.SpeedButtonGoClick:" +
                              std::string(bytetext::WithoutLineEnd(error.what())));
    }
    // The connections kept for a next transfer are closed, the FTP ones with a goodbye.
    for (const std::unique_ptr<TSlot>& slot : units)
    {
        co_await slot->Fetch->CloseConnectionsAsync();
        // A preview between runs is not held to the run's limit.
        slot->Fetch->SetRateLimit(nullptr);
    }
    EndRun(run);
    current = nullptr;
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
    UseIdentityAndNewJar();
    // One limit for the whole run, whatever number of transfers share it.
    Fetch->SetRateLimit(settings.LimitRate > 0 ? std::make_shared<TRateLimit>(settings.LimitRate) : nullptr);
    for (const std::unique_ptr<TSlot>& slot : units)
    {
        if (slot->Fetch != Fetch)
            slot->Fetch->ShareWith(*Fetch);
        slot->Fetch->ForgetFtpFallBacks();
    }
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
    urlIndex = 0;
    fileIndex = 0;
    inFlight = 0;
    mostInFlight = 0;
    filesEnded = 0;
    lastEnded = nullptr;
    runLog.Reset();
    Observer.URLSelected(0);
    Observer.FileSelected(0);
    filesDone = 0;
    bytesDone = 0;
    sampledBytes = 0;
    rate = 0;
    sinceSample.start();
    Observer.Statistics("");
    runStart = platform::Now();
    // Every entry is read now: the walk needs to know the server of each page before it starts.
    for (std::size_t j = 0; j < run.Entries.size(); ++j)
    {
        TEntryWork work;
        work.Index = static_cast<int>(j);
        const std::string& entry = run.Entries[j];
        const std::size_t arrow = entry.find("->");
        const std::string typed = entry.substr(0, arrow);
        work.OutputDir = arrow == std::string::npos ? std::string() : entry.substr(arrow + 2);
        work.Parts = SplitURL(typed);
        work.CurrentURL = StripCredentials(typed);
        work.EntryUser = work.Parts.User;
        work.EntryPassword = work.Parts.Password;
        work.EntryOrigin = OriginOf(work.CurrentURL);
        work.ShownURL = ShownAddress(work.CurrentURL, work.Parts);
        work.PatentPage = IsPatentScheme(work.Parts.Scheme);
        work.PatentNumber = work.Parts.Host;
        run.Work.push_back(std::move(work));
    }
    if (LogLevel() >= TLogLevel::URLs)
        WriteLog("Download started " + DateTimeText(platform::Now()));
    ReadCookies(true);
    SetRunning(true);
}

void TDownloadRun::UseIdentityAndNewJar()
{
    std::vector<std::string> headers;
    for (const std::string& line : settings.ExtraHeaders)
    {
        if (const std::string refusal = CheckExtraHeader(line); refusal.empty())
            headers.push_back(line);
        else if (LogLevel() >= TLogLevel::URLs)
            WriteLog("Header not sent: " + refusal);
    }
    std::string agent = settings.UserAgent;
    if (bytetext::HasControlByte(agent))
    {
        if (LogLevel() >= TLogLevel::URLs)
            WriteLog("User-Agent not sent: it holds a line break or other control byte");
        agent.clear();
    }
    Fetch->UseIdentity(agent, headers);
    Fetch->UseCookies(std::make_shared<TCookieJar>());
    for (const std::unique_ptr<TSlot>& slot : units)
        if (slot->Fetch != Fetch)
            slot->Fetch->ShareWith(*Fetch);
}

void TDownloadRun::ReadCookies(bool countErrors)
{
    const std::string& file = settings.CookiesFile;
    if (file.empty())
        return;
    std::vector<TCookieFileProblem> problems;
    std::string reason;
    const bool read =
        ReadCookieFile(file, *Fetch->Cookies(), platform::Now().toSecsSinceEpoch(), problems, reason);
    // The lines that are no cookies are only told: the rest of the file serves.
    if (countErrors && !read)
        ++errorCount;
    if (LogLevel() < TLogLevel::URLs)
        return;
    if (!read)
    {
        WriteLog("Cookies file " + file + " not read: " + std::string(bytetext::WithoutLineEnd(reason)));
        return;
    }
    // A file that is no cookies file at all would fill the log: the first lines tell the story.
    constexpr std::size_t MostLogged = 10;
    for (std::size_t i = 0; i < problems.size() && i < MostLogged; ++i)
        WriteLog("Cookies file " + file + " line " + std::to_string(problems[i].Line) +
                 " skipped: " + problems[i].Reason);
    if (problems.size() > MostLogged)
        WriteLog("Cookies file " + file + ": " + std::to_string(problems.size() - MostLogged) +
                 " more lines skipped");
}

void TDownloadRun::SaveCookies()
{
    const std::string& file = settings.SaveCookiesFile;
    if (file.empty())
        return;
    std::string reason;
    if (WriteCookieFile(file, *Fetch->Cookies(), platform::Now().toSecsSinceEpoch(), reason))
        return;
    ++errorCount;
    if (LogLevel() >= TLogLevel::URLs)
        WriteLog("Cookies file " + file + " not written: " + reason);
}

std::string TDownloadRun::ServerOf(const std::string& address)
{
    return OriginOf(address);
}

bool TDownloadRun::ServerFree(TRun& run, const std::string& address) const
{
    // A server asked for a login serves nothing else until the user has answered.
    if (Fetch->Logins().Asking.count(OriginOf(address)) > 0)
        return false;
    const auto server = run.Servers.find(ServerOf(address));
    if (server == run.Servers.end())
        return true;
    // With a pause between files each server gets one transfer at a time; without, a few.
    return server->second.InFlight < (settings.PauseSeconds > 0 ? 1 : MostToOneServer);
}

TDownloadRun::TSlot* TDownloadRun::FreeSlot(const std::string& origin)
{
    // A unit whose kept connection goes to the origin first, then one that keeps none, then a
    // new one, and only then one whose connection goes elsewhere.
    TSlot* unused = nullptr;
    TSlot* other = nullptr;
    for (const std::unique_ptr<TSlot>& slot : units)
    {
        if (slot->Busy)
            continue;
        if (slot->Origin == origin)
            return slot.get();
        if (slot->Origin.empty() && !unused)
            unused = slot.get();
        if (!other)
            other = slot.get();
    }
    if (unused)
        return unused;
    if (static_cast<int>(units.size()) < settings.SimultaneousTransfers)
        return &AddSlot();
    return other;
}

void TDownloadRun::Launch(TRun& run, TSlot& slot, const std::string& server, TTask<void> step)
{
    slot.Busy = true;
    slot.Received = 0;
    slot.Expected = 0;
    ++inFlight;
    mostInFlight = std::max(mostInFlight, inFlight);
    ++run.Servers[server].InFlight;
    run.Steps.push_back(std::move(step));
    run.Steps.back().Start(
        [this, &run, &slot, server]
        {
            slot.Busy = false;
            slot.File = nullptr;
            slot.Entry = -1;
            slot.Received = 0;
            slot.Expected = 0;
            --inFlight;
            --run.Servers[server].InFlight;
            lastEnded = &slot;
            changed.Notify();
        });
}

bool TDownloadRun::StartWhatMay(TRun& run)
{
    bool started = false;
    while (inFlight < settings.SimultaneousTransfers && (StartNextFile(run) || StartNextPage(run)))
        started = true;
    return started;
}

bool TDownloadRun::StartNextFile(TRun& run)
{
    // The files before the first waiting one have all started.
    while (run.FirstWaiting < run.Files.size() && run.Files[run.FirstWaiting].State != TFileState::Waiting)
        ++run.FirstWaiting;
    for (std::size_t i = run.FirstWaiting; i < run.Files.size(); ++i)
    {
        TFileJob& job = run.Files[i];
        if (job.State != TFileState::Waiting)
            continue;
        TEntryWork& work = run.Work[static_cast<std::size_t>(job.Entry)];
        // The rest of an entry given up never starts.
        if (work.Skipped || work.EndOfList)
        {
            EndFile(run, job, TFileState::Skipped);
            continue;
        }
        if (work.SumsPending)
            continue;
        // A patent document's pages come one after the other: the page past its end ends it.
        if (work.PatentPage && work.FilesUnderWay > 0)
            continue;
        if (!ServerFree(run, job.Address))
            continue;
        // Two links that name one file never write it at once: the second waits for the first.
        if (!job.PlannedPath.empty() && run.PathsInUse.count(job.PlannedPath) > 0)
            continue;
        const std::string origin = OriginOf(job.Address);
        TSlot* slot = FreeSlot(origin);
        if (!slot)
            return false;
        if (!job.PlannedPath.empty())
            ++run.PathsInUse[job.PlannedPath];
        slot->Origin = origin;
        job.State = TFileState::UnderWay;
        ++work.FilesUnderWay;
        Launch(run, *slot, ServerOf(job.Address), FileStepAsync(run, *slot, job));
        return true;
    }
    return false;
}

bool TDownloadRun::StartNextPage(TRun& run)
{
    const int j = run.NextPage;
    if (j >= static_cast<int>(run.Work.size()))
        return false;
    // Pages come one after the other, each once the files before it have all started.
    if (j > 0 && !run.Work[static_cast<std::size_t>(j - 1)].PageEnded)
        return false;
    const TEntryWork& work = run.Work[static_cast<std::size_t>(j)];
    const std::string address = work.PatentPage ? std::string(CorvaneHomePage) : work.CurrentURL;
    if (!ServerFree(run, address))
        return false;
    TSlot* slot = FreeSlot(OriginOf(address));
    if (!slot)
        return false;
    slot->Origin = OriginOf(address);
    ++run.NextPage;
    Launch(run, *slot, ServerOf(address), PageStepAsync(run, *slot, j));
    if (!work.PatentPage)
        ConnectAhead(run, address);
    return true;
}

void TDownloadRun::ConnectAhead(TRun& run, const std::string& address)
{
    // Only where the files may go to the page's server at once, straight and not through a proxy.
    if (settings.PauseSeconds > 0 || run.TestRun || !settings.ProxyServer.empty() ||
        ProtocolOf(address) == TProtocol::Ftp)
        return;
    const std::string origin = OriginOf(address);
    for (int more = std::min(settings.SimultaneousTransfers, MostToOneServer) - inFlight; more > 0; --more)
    {
        TSlot* slot = FreeSlot(origin);
        if (!slot)
            return;
        slot->Origin = origin;
        slot->Busy = true;
        ++connectingAhead;
        run.Steps.push_back(slot->Fetch->ConnectAheadAsync(address));
        run.Steps.back().Start(
            [this, slot]
            {
                slot->Busy = false;
                --connectingAhead;
                changed.Notify();
            });
    }
}

TTask<void> TDownloadRun::PageStepAsync(TRun& run, TSlot& slot, int j)
{
    TEntryWork& work = run.Work[static_cast<std::size_t>(j)];
    slot.Entry = j;
    slot.Block = runLog.Open(j);
    urlIndex = j;
    Observer.URLSelected(j);
    if (inFlight == 1)
    {
        // The abort's "Canceling" and the bars of the entry before stand for nothing of this one.
        Observer.StatusText(1, "");
        Observer.ListProgress(0, 0, "");
        Observer.FileProgress(0, 0);
    }
    if (LogLevel() >= TLogLevel::URLs)
    {
        Log(slot, "");
        Log(slot, "Processing URL " + work.ShownURL);
    }
    Observer.StatusText(0, "Downloading " + work.ShownURL);
    // The File List shows the files of the entries under way: it starts afresh once every file
    // of the entries before has ended.
    ClearFileListIfDone(run);
    try
    {
        co_await platform::Yield();
        co_await FetchPageAsync(run, slot, work);
    }
    catch (const std::exception& error)
    {
        // What came instead of the page (an error page, a part of it) is no progress.
        slot.Received = 0;
        slot.Expected = 0;
        ShowTransfers(true);
        // A page the user gave up is no error; the log says how it ended.
        if (stopRequested || work.Skipped)
        {
            if (LogLevel() >= TLogLevel::URLs)
                Log(slot, work.ShownURL + (stopRequested ? " Stopped" : " Skipped"));
        }
        else
        {
            Observer.Indicator(TIndicator::Error);
            ++errorCount;
            if (LogLevel() >= TLogLevel::URLs)
                Log(slot, "Failed to download page " + work.ShownURL + " (" +
                              TimedOutText(slot, bytetext::WithoutLineEnd(error.what())) + ")");
        }
    }
    work.PageEnded = true;
    work.SumsPending = false;
    // The pace of the run: the first file waits the pause after the page, too.
    TServer& server = run.Servers[ServerOf(work.CurrentURL)];
    server.Started = true;
    server.LastStart.start();
    runLog.Close(slot.Block);
    slot.Block = -1;
    if (inFlight == 1)
    {
        fileIndex = std::max(work.FirstRow, 0);
        Observer.FileSelected(fileIndex);
        Observer.ListProgress(0, std::max(FileList.Count() - 1, 0), "");
    }
    EndEntryIfDone(run, j);
}

TTask<void> TDownloadRun::FetchPageAsync(TRun& run, TSlot& slot, TEntryWork& work)
{
    const std::string bodyFile = PageFileName(work.OutputDir, work.CurrentURL);
    if (!MakePath(work.OutputDir))
        throw Exception("Cannot create path " + work.OutputDir);
    work.PageAddress = work.CurrentURL;
    // An FTP entry names a folder: its listing is the page, and its files are the links.
    const bool ftpFolder = ProtocolOf(work.CurrentURL) == TProtocol::Ftp;
    if (ftpFolder && work.PageAddress.back() != '/')
        work.PageAddress += '/';
    // The page arrives beside its name and takes it in one step, so a link planted under that
    // name leads nowhere, and a failed fetch leaves the page of an earlier run. A patent
    // document has no page: the maker's home page is probed for proxy credentials before its
    // page queries go out.
    TFetchRequest request = RequestFor(work, work.PatentPage ? CorvaneHomePage : work.CurrentURL, bodyFile);
    request.Head = work.PatentPage;
    request.ProbeFirst = true;
    request.ListFolder = ftpFolder;
    TFetchResult page = co_await slot.Fetch->FetchAsync(request);
    if (!page.RedirectedTo.empty() && !work.PatentPage)
        work.PageAddress = page.RedirectedTo;
    // The server's error page is no list of files, and does not take the page's place.
    if (page.ErrorAnswer() && !work.PatentPage)
        throw Exception(ReplyCodeText(page.ReplyCode));
    if (inFlight == 1)
        Observer.StatusText(0, "Downloading " + page.Host);
    page.File.Commit();
    ClearFileListIfDone(run);
    const int rowsBefore = FileList.Count();
    work.FirstRow = rowsBefore;
    TLinkList pageLinks;
    std::vector<std::string> checksumLists;
    const auto merge = [&]
    {
        MergePageLinks(run, pageLinks);
        // A page whose links were all taken before would otherwise list nothing without a word.
        const std::size_t taken = pageLinks.Count() - static_cast<std::size_t>(FileList.Count() - rowsBefore);
        if (taken > 0 && LogLevel() >= TLogLevel::Files)
            Log(slot, std::to_string(taken) + (taken == 1 ? " link was" : " links were") +
                          " taken from an earlier page");
    };
    if (work.PatentPage)
    {
        PatentPageLinks(work.Parts.Scheme, work.Parts.Host, pageLinks, platform::ShowMessage);
        merge();
    }
    else
    {
        const TScanning scanning(Observer);
        if (ftpFolder)
            FolderLinks(bodyFile, page.MachineListing, settings.FilterText, settings.FilterMode, pageLinks,
                        settings.CheckChecksums && !run.TestRun ? &checksumLists : nullptr);
        else
            work.PageAddress =
                ExtractLinks(bodyFile, settings.FilterText, settings.FilterMode, pageLinks, work.PageAddress,
                             settings.CheckChecksums && !run.TestRun ? &checksumLists : nullptr);
        merge();
        if (settings.SaveImages && !ftpFolder)
        {
            pageLinks.Clear();
            ExtractImageLinks(bodyFile, pageLinks);
            MergePageLinks(run, pageLinks);
        }
    }
    // The page's files wait for the sums their lists give; the page step ends by letting them go.
    const std::size_t firstJob = run.Files.size();
    work.SumsPending = !checksumLists.empty();
    QueueNewFiles(run, work.Index, rowsBefore);
    if (work.SumsPending)
        co_await FetchChecksumListsAsync(run, slot, work, firstJob, std::move(checksumLists));
}

void TDownloadRun::ClearFileListIfDone(TRun& run)
{
    const auto open = [](const TFileJob& job)
    { return job.State == TFileState::Waiting || job.State == TFileState::UnderWay; };
    if (std::any_of(run.Files.begin(), run.Files.end(), open))
        return;
    FileList.Clear();
    run.Files.clear();
    run.FirstWaiting = 0;
    filesEnded = 0;
}

void TDownloadRun::QueueNewFiles(TRun& run, int entry, int rowsBefore)
{
    TEntryWork& work = run.Work[static_cast<std::size_t>(entry)];
    for (int row = rowsBefore; row < FileList.Count(); ++row)
    {
        TFileJob job;
        job.Entry = entry;
        job.Row = row;
        job.Position = ++work.FileCount;
        job.Link = FileList.Item(row);
        job.Address = ResolveLink(work.PageAddress, job.Link);
        try
        {
            job.PlannedPath = std::string(bytetext::Trim(
                FileOutputPath(work.OutputDir, job.Link, work.PatentPage, work.PatentNumber, job.Position)));
        }
        catch (const Exception&)
        {
            // The file step says why the name cannot be made.
        }
        run.Files.push_back(std::move(job));
        ++work.FilesOpen;
        ShowState(run.Files.back());
    }
    changed.Notify();
}

TFetchRequest TDownloadRun::RequestFor(const TEntryWork& work, const std::string& url,
                                       const std::string& destination) const
{
    TFetchRequest request;
    request.Address = url;
    request.Destination = destination;
    request.User = work.EntryUser;
    request.Password = work.EntryPassword;
    request.LoginOrigin = work.EntryOrigin;
    request.TimeOutSeconds = settings.TimeOut;
    request.PassiveFtp = settings.PassiveFtp;
    return request;
}

std::string TDownloadRun::TimedOutText(const TSlot& slot, std::string_view message) const
{
    // The watchdog's abort reads like any other; the line says it was the time-out.
    std::string text(message);
    if (slot.Fetch->TimedOut())
        text += ": no data for " + std::to_string(settings.TimeOut) + " s";
    return text;
}

void TDownloadRun::MergePageLinks(TRun& run, TLinkList& pageLinks)
{
    MergeNewLinks(run.SeenLinks, pageLinks, FileList);
    for (const std::string& link : pageLinks.Items())
        run.SeenLinks.AppendNew(link);
}

void TDownloadRun::EndEntryIfDone(TRun& run, int entry)
{
    const TEntryWork& work = run.Work[static_cast<std::size_t>(entry)];
    if (work.PageEnded && work.FilesOpen == 0)
        runLog.EntryEnded(entry);
}

void TDownloadRun::EndRun(TRun& run)
{
    // Whatever a stopped run left unsaid goes out before its last words.
    runLog.Flush();
    SaveCookies();
    Observer.StatusText(0, stopRequested ? "Cancelled." : "All done.");
    // The last client's word ("Canceling" of a failed file) would stand beside the question below.
    Observer.StatusText(1, "");
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
    run.SeenLinks.Clear();
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
