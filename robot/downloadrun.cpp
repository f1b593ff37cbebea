// The walk of the run: start, the scheduled wait, set-up, the URL List, and the end.
#include "robot/downloadrun.h"

#include <algorithm>
#include <cstdio>

#include <QLocale>

#include "auth/httpevents.h"
#include "auth/replycodetext.h"
#include "links/linkextraction.h"
#include "links/patent.h"
#include "links/urlresolution.h"
#include "net/nmftp.h"
#include "net/nmhttp.h"
#include "net/origin.h"
#include "platform/bytetext.h"
#include "platform/clock.h"
#include "platform/eventguard.h"
#include "platform/exception.h"
#include "platform/pause.h"
#include "platform/prompt.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "robot/activitylog.h"
#include "robot/outputnaming.h"
#include "robot/outputpath.h"
#include "robot/pagelinks.h"
#include "robot/runobserver.h"
#include "robot/runpreferences.h"
#include "robot/sizetext.h"
#include "robot/transferfile.h"
#include "robot/watchdog.h"
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

TDownloadRun::TDownloadRun(TRunPreferences& preferences, TRunObserver& observer, QObject* owner)
    : QObject(owner), Preferences(preferences), Observer(observer)
{
    CreateClients();
}

TDownloadRun::~TDownloadRun()
{
    // The clients say goodbye to their servers as they go; nobody must hear it.
    for (TPowersock* client : {static_cast<TPowersock*>(NMFTP1), static_cast<TPowersock*>(NMHTTP1)})
    {
        client->OnStatus = nullptr;
        client->OnPacketRecvd = nullptr;
    }
    delete NMFTP1;
    delete NMHTTP1;
}

void TDownloadRun::CreateClients()
{
    TimerConnect = new TWatchdog(this);
    TimerConnect->OnTimeOut = [this] { WatchdogTimedOut(); };
    TimerConnect->OnError = [this](const std::string& message) { ReportCaught(message); };

    NMHTTP1 = new TNMHTTP(this);
    NMHTTP1->Body = "Default.htm";
    NMHTTP1->Header = "Head.txt";
    NMHTTP1->InputFileMode = true;
    NMHTTP1->OutputFileMode = false;
    NMHTTP1->Port = 0;
    NMHTTP1->ProxyPort = 0;
    NMHTTP1->ReportLevel = 8;
    HttpEvents = std::make_unique<THttpEvents>(*NMHTTP1);
    HttpEvents->LogLevel = [this] { return LogLevel(); };
    HttpEvents->WriteLog = [this](const std::string& line, bool fileOnly) { WriteLog(line, fileOnly); };
    HttpEvents->ShowStatus = [this](const std::string& text)
    { Observer.StatusText(1, std::string(bytetext::WithoutLineEnd(text))); };
    HttpEvents->ProxyPreference = [this] { return Preferences.ProxyServer(); };
    HttpEvents->ShowIndicator = [this](int kind) { Observer.Indicator(static_cast<TIndicator>(kind)); };
    HttpEvents->ResetFileProgress = [this] { Observer.FileProgress(0, 0); };
    HttpEvents->LoginAsked = [this](bool asking) { asking ? TimerConnect->Pause() : TimerConnect->Resume(); };
    NMHTTP1->OnStatus = [this](QObject*, const std::string& status) { HttpEvents->NMHTTP1Status(status); };
    NMHTTP1->OnRedirect = [this](bool& handled) { HttpEvents->NMHTTP1Redirect(handled); };
    NMHTTP1->OnAuthenticationNeeded = [this](QObject*) { HttpEvents->NMHTTP1AuthenticationNeeded(); };
    NMHTTP1->OnAboutToSend = [this](QObject*) { HttpEvents->NMHTTP1AboutToSend(); };
    NMHTTP1->OnPacketRecvd = [this](QObject*) { HttpPacketRecvd(); };

    NMFTP1 = new TNMFTP(this);
    NMFTP1->Port = 21;
    NMFTP1->ReportLevel = 2;
    NMFTP1->UserID = "anonymous";
    NMFTP1->Password = AnonymousPassword;
    NMFTP1->ProxyPort = 0;
    NMFTP1->OnStatus = [this](QObject*, const std::string& status) { FtpStatus(status); };
    NMFTP1->OnPacketRecvd = [this](QObject*) { FtpPacketRecvd(); };
}

int TDownloadRun::LogLevel() const
{
    return Preferences.LogLevel();
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
    if (LogLevel() < LogHttpCodes)
        return;
    WriteLog("(" + std::string(bytetext::WithoutLineEnd(message)) + ")");
}

void TDownloadRun::SetRunning(bool running)
{
    Running = running;
    Observer.RunStateChanged();
}

void TDownloadRun::Stop()
{
    StopRequested = true;
    Observer.StatusText(0, "Finishing Current file...");
    platform::ProcessMessages();
    NMHTTP1->Abort();
    // The goodbye to an FTP server may fail in any way; Stop goes on regardless.
    platform::Guarded([this] { NMFTP1->Disconnect(); },
                      [this](const std::string& message) { ReportCaught(message); });
    NMFTP1->Abort();
    SetRunning(false);
}

void TDownloadRun::SkipFile()
{
    SkipFileRequested = true;
    AbortClients();
}

void TDownloadRun::SkipURL()
{
    SkipURLRequested = true;
    NMHTTP1->Abort();
}

void TDownloadRun::WatchdogTimedOut()
{
    if (Running || previewActive)
        AbortClients();
}

void TDownloadRun::AbortClients()
{
    previewAborted = previewActive;
    NMHTTP1->Abort();
    NMFTP1->Abort();
}

void TDownloadRun::FtpStatus(const std::string& status)
{
    // A server's reply keeps its line end; a status is one line.
    Observer.StatusText(0, std::string(bytetext::WithoutLineEnd(status)));
    platform::ProcessMessages();
}

void TDownloadRun::Go(bool testRun)
{
    // A stopped run may still be leaving its transfer; Go waits for it to return.
    if (runActive || previewActive)
        return;
    runActive = true;
    TRun run;
    run.TestRun = testRun;
    try
    {
        StartRun(run);
        ScheduledWait();
        SetUpRun(run);
        for (int j = 0; j < URLList.Count() && !StopRequested; ++j)
            ProcessURL(run, j);
    }
    catch (const std::exception& error)
    {
        // Pages and files catch their own failures; anything else ends the run with a word.
        ++ErrorCount;
        platform::ShowMessage("TFormKestrow.SpeedButtonGoClick:" +
                              std::string(bytetext::WithoutLineEnd(error.what())));
    }
    EndRun(run);
}

void TDownloadRun::StartRun(TRun& run)
{
    // Only a Stop left from an earlier run is forgotten; one that comes during the pause below
    // (an interrupt, the window closing) ends this run.
    StopRequested = false;
    Observer.RunStarted();
    FileList.Clear();
    run.PageLinks.Clear();
    run.SeenLinks.Clear();
    Observer.Indicator(IndicatorOK);
    platform::ProcessMessages();
    platform::Pause(500);
    ErrorCount = 0;
    printFailureShown = false;
    logFailureShown = false;
    Observer.StatusText(0, "");
    Observer.StatusText(1, "");
    Observer.ListProgress(0, 1, "");
    Observer.FileProgress(0, 0);
    Observer.Statistics("");
    platform::ProcessMessages();
    HttpEvents->ApplyProxySetting();
}

void TDownloadRun::ScheduledWait()
{
    while (Preferences.StartAtChecked())
    {
        const std::string startTime = Preferences.StartTime();
        if (StartTimeText(platform::Now().time()) == startTime || StopRequested)
            break;
        SetRunning(true);
        Observer.Indicator(IndicatorTimer);
        platform::Pause(500);
        Observer.Caption("Kestrow ZZzz..");
        Observer.StatusText(0, StartTimeText(platform::Now().time()) + " Waiting until " + startTime);
        Observer.StatusText(1, "");
        platform::ProcessMessages();
    }
}

void TDownloadRun::SetUpRun(TRun& run)
{
    Observer.Indicator(IndicatorOK);
    run.RetryCount = 0;
    TimerConnect->Start(Preferences.TimeOut());
    URLIndex = 0;
    FileIndex = 0;
    Observer.URLSelected(0);
    Observer.FileSelected(0);
    FilesDone = 0;
    BytesDone = 0;
    Observer.Statistics("");
    RunStart = platform::Now();
    if (LogLevel() >= LogURLs)
        WriteLog("Download started " + DateTimeText(platform::Now()));
    SetRunning(true);
}

void TDownloadRun::ProcessURL(TRun& run, int j)
{
    NMHTTP1->Abort();
    // The abort's "Canceling" belongs to the entry before.
    Observer.StatusText(1, "");
    SkipURLRequested = false;
    run.RetryCount = 0;
    URLIndex = j;
    Observer.URLSelected(j);
    const std::string entry = URLList.Item(j);
    const std::size_t arrow = entry.find("->");
    CurrentURL = entry.substr(0, arrow);
    run.OutputDir = arrow == std::string::npos ? std::string() : entry.substr(arrow + 2);
    const TURLParts parts = SplitURL(CurrentURL);
    CurrentURL = StripCredentials(CurrentURL);
    run.EntryUser = parts.User;
    run.EntryPassword = parts.Password;
    run.EntryOrigin = OriginOf(CurrentURL);
    const std::string shownURL = ShownAddress(CurrentURL, parts);
    if (LogLevel() >= LogURLs)
    {
        WriteLog("");
        WriteLog("Processing URL " + shownURL);
    }
    Observer.StatusText(0, "Downloading " + shownURL);
    platform::ProcessMessages();

    const int timeOutsBefore = TimerConnect->TimeOuts();
    try
    {
        FetchPage(run, parts);
    }
    catch (const std::exception& error)
    {
        Observer.Indicator(IndicatorError);
        ++ErrorCount;
        FileList.Clear();
        if (LogLevel() >= LogURLs)
            WriteLog("Failed to download page " + shownURL + " (" +
                     TimedOutText(bytetext::WithoutLineEnd(error.what()), timeOutsBefore) + ")");
    }

    FileIndex = 0;
    Observer.FileSelected(0);
    Observer.ListProgress(0, std::max(FileList.Count() - 1, 0), "");
    SkipFileRequested = false;
    run.LastFileStart.start();
    int i = 0;
    while (FileList.Count() > 0 && i < FileList.Count() && !StopRequested && !SkipURLRequested)
    {
        switch (ProcessFile(run, i))
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

void TDownloadRun::FetchPage(TRun& run, const TURLParts& parts)
{
    const std::string bodyFile = PageFileName(run.OutputDir, CurrentURL);
    if (!MakePath(run.OutputDir))
        throw Exception("Cannot create path " + run.OutputDir);
    PatentPage = IsPatentScheme(parts.Scheme);
    run.PatentNumber = parts.Host;
    // The page arrives beside its name and takes it in one step, so a link planted under that
    // name leads nowhere, and a failed fetch leaves the page of an earlier run.
    const std::string transferPath = CreateTransferFile(bodyFile);
    NMHTTP1->Body = transferPath;
    run.PageAddress = CurrentURL;
    try
    {
        if (!PatentPage)
        {
            Observer.FileProgress(0, 0);
            UseEntryLogin(run, CurrentURL);
            HttpEvents->ProbeWithProxyLogin(CurrentURL);
            GetPage(run);
        }
        Observer.StatusText(0, "Downloading " + NMHTTP1->Host);
        FileList.Clear();
        if (PatentPage)
        {
            // The maker's home page is probed for proxy credentials before patent queries go out.
            UseEntryLogin(run, CorvaneHomePage);
            HttpEvents->ProbeWithProxyLogin(CorvaneHomePage);
        }
        CommitTransferFile(transferPath, bodyFile);
    }
    catch (...)
    {
        DiscardFile(transferPath);
        throw;
    }
    if (PatentPage)
    {
        run.PageLinks.Clear();
        PatentPageLinks(parts.Scheme, parts.Host, run.PageLinks, platform::ShowMessage);
    }
    else
        ExtractLinks(bodyFile, bytetext::Trim(Preferences.FilterText()), Preferences.FilterMode(),
                     run.PageLinks);
    MergePageLinks(run);
    // A page whose links were all taken before would otherwise list nothing without a word.
    const std::size_t taken = run.PageLinks.Count() - static_cast<std::size_t>(FileList.Count());
    if (taken > 0 && LogLevel() >= LogFiles)
        WriteLog(std::to_string(taken) + (taken == 1 ? " link was" : " links were") +
                 " taken from an earlier page");
    if (Preferences.SaveImages() && !PatentPage)
    {
        ExtractImageLinks(bodyFile, run.PageLinks);
        MergePageLinks(run);
    }
    platform::ProcessMessages();
}

void TDownloadRun::GetPage(TRun& run)
{
    const int loginsBefore = HttpEvents->LoginsStored;
    FollowedGet(CurrentURL);
    // A login counts from the request after the one that asked for it.
    const int code = NMHTTP1->ReplyCode;
    if ((code == 401 || code == 407) && HttpEvents->LoginsStored > loginsBefore)
        FollowedGet(CurrentURL);
    if (!HttpEvents->RedirectedTo.empty())
        run.PageAddress = HttpEvents->RedirectedTo;
    // The server's error page is no list of files, and does not take the page's place.
    if (NMHTTP1->ReplyCode >= 400)
        throw Exception(ReplyCodeText(NMHTTP1->ReplyCode));
    // A page cut short would list only some of its files, as if that were all of them.
    KeepAnnouncedLength(NMHTTP1->Body, NMHTTP1->ExpectedCount);
}

void TDownloadRun::FollowedGet(const std::string& url)
{
    HttpEvents->RedirectedTo.clear();
    HttpEvents->RedirectFailure.clear();
    NMHTTP1->Get(url);
    if (!HttpEvents->RedirectFailure.empty())
        throw Exception(HttpEvents->RedirectFailure);
}

void TDownloadRun::UseEntryLogin(const TRun& run, const std::string& url)
{
    const bool own = !run.EntryOrigin.empty() && OriginOf(url) == run.EntryOrigin;
    NMHTTP1->HeaderInfo.UserId = own ? run.EntryUser : std::string();
    NMHTTP1->HeaderInfo.Password = own ? run.EntryPassword : std::string();
}

std::string TDownloadRun::TimedOutText(std::string_view message, int timeOutsBefore) const
{
    // The watchdog's abort reads like any other; the line says it was the time-out.
    std::string text(message);
    if (TimerConnect->TimeOuts() != timeOutsBefore)
        text += ": no data for " + std::to_string(Preferences.TimeOut()) + " s";
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
    Observer.StatusText(0, StopRequested ? "Cancelled." : "All done.");
    Observer.OutputPath("");
    if (LogLevel() >= LogURLs)
    {
        WriteLog("Download completed " + DateTimeText(platform::Now()) + ".  " + SizeText(BytesDone) +
                 " downloaded in " + std::to_string(FilesDone) + " files");
        WriteLog(std::string(57, '='));
    }
    const TAfterDownload after = Preferences.AfterDownload();
    if (ErrorCount > 0 && after == TAfterDownload::Nothing)
    {
        const char* noun = ErrorCount > 1 ? "errors" : "error";
        const char* verb = ErrorCount > 1 ? "were" : "was";
        char text[256];
        if (LogLevel() >= LogURLs)
        {
            std::snprintf(text, sizeof text, "%d %s occured.  Would you like to view the log?.", ErrorCount,
                          noun);
            if (platform::Confirm(text))
                Observer.ViewLog();
        }
        else
        {
            std::snprintf(text, sizeof text, "%d %s occured and %s not logged.", ErrorCount, noun, verb);
            platform::ShowMessage(text);
        }
    }
    Running = false;
    runActive = false;
    Observer.RunStateChanged();
    AbortClients();
    Observer.StatusText(1, "");
    run.PageLinks.Clear();
    run.SeenLinks.Clear();
    CurrentOutputPath.clear();
    Observer.OutputPath("");
    Observer.Indicator(IndicatorNone);
    TimerConnect->Stop();
    Observer.Caption("");
    Observer.RunEnded();
    if (!StopRequested)
    {
        if (after == TAfterDownload::Close)
            Observer.CloseProgram();
        else if (after == TAfterDownload::ShutDown)
            platform::ShutDown();
    }
}
