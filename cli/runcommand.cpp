#include "cli/runcommand.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include <QCoreApplication>
#include <QTime>

#include "cli/arguments.h"
#include "cli/requestoptions.h"
#include "cli/runprogress.h"
#include "cli/signalstop.h"
#include "cli/terminaltext.h"
#include "cli/tlsoptions.h"
#include "cli/usage.h"
#include "links/listfile.h"
#include "links/urlresolution.h"
#include "net/cookiejar.h"
#include "net/port.h"
#include "platform/bytetext.h"
#include "platform/exception.h"
#include "platform/prompt.h"
#include "robot/downloadrun.h"
#include "robot/savepaths.h"
#include "robot/runobserver.h"
#include "robot/runpreferences.h"
#include "settings/startup.h"
#include "settings/settings.h"
#include "settings/starttime.h"

// The settings file keeps the count in the range a run takes, with the same default.
static_assert(MaxStoredTransfers == MaxSimultaneousTransfers &&
              DefaultStoredTransfers == DefaultSimultaneousTransfers);

namespace
{
const char* const RunUsage = UsageText("run");

struct RunOptions
{
    std::string listFile;
    bool test = false;
    std::optional<std::string> filter;
    bool endsWith = false;
    std::optional<std::string> outputDir;
    bool overwrite = false;
    bool images = false;
    std::optional<int> retries;
    std::optional<int> timeOut;
    std::optional<std::string> proxy;
    std::optional<int> logLevel;
    bool print = false;
    std::optional<std::string> startAt;
    std::string user;
    std::string password;
    std::string proxyUser;
    std::string proxyPassword;
    std::vector<std::string> caFiles;
    bool insecure = false;
    std::optional<int> pause;
    bool passive = false;
    std::optional<int> parallel;
    TRequestOptions request;
    bool noChecksums = false;
};

std::string StartAt(std::string_view text)
{
    const bool shaped = text.size() == 5 && text[2] == ':';
    const int hours = shaped ? WholeNumber("--start-at", text.substr(0, 2), 0, 23) : -1;
    const int minutes = shaped ? WholeNumber("--start-at", text.substr(3), 0, 59) : -1;
    if (!shaped || minutes % 15 != 0)
        throw TUsageError{"--start-at takes a quarter hour as HH:MM (minutes 00, 15, 30 or 45), not '" +
                          std::string(text) + "'"};
    return StartTimeText(QTime(hours, minutes));
}

void CheckProxy(const std::string& proxy)
{
    const TURLParts parts = SplitURL(proxy);
    if (!proxy.empty() && (parts.Host.empty() || parts.Port.empty()))
        throw TUsageError{"--proxy takes HOST:PORT, not '" + proxy + "'"};
    if (!parts.Port.empty() && !PortFromText(parts.Port))
        throw TUsageError{"--proxy port must be a whole number from 1 to 65535, not '" + parts.Port + "'"};
}

RunOptions ParseOptions(int argc, char* argv[])
{
    RunOptions options;
    TArguments arguments(argc, argv);
    while (arguments.Next())
    {
        const std::string_view argument = arguments.Current();
        if (argument == "--test")
            options.test = true;
        else if (argument == "--filter")
            options.filter = arguments.Value();
        else if (argument == "--ends-with")
            options.endsWith = true;
        else if (argument == "--out")
            options.outputDir = arguments.Value();
        else if (argument == "--overwrite")
            options.overwrite = true;
        else if (argument == "--images")
            options.images = true;
        else if (argument == "--retries")
            options.retries = arguments.Number(0, 999);
        else if (argument == "--timeout")
            options.timeOut = arguments.Number(5, 999);
        else if (argument == "--proxy")
            CheckProxy(*(options.proxy = arguments.Value()));
        else if (argument == "--log-level")
            options.logLevel = arguments.Number(0, 3);
        else if (argument == "--print")
            options.print = true;
        else if (argument == "--start-at")
            options.startAt = StartAt(arguments.Value());
        else if (argument == "--user")
            options.user = arguments.Value();
        else if (argument == "--password")
            options.password = arguments.Value();
        else if (argument == "--proxy-user")
            options.proxyUser = arguments.Value();
        else if (argument == "--proxy-password")
            options.proxyPassword = arguments.Value();
        else if (argument == "--ca-file")
            options.caFiles.push_back(arguments.Value());
        else if (argument == "--insecure")
            options.insecure = true;
        else if (argument == "--pause")
            options.pause = arguments.Number(0, 60);
        else if (argument == "--passive")
            options.passive = true;
        else if (argument == "--no-checksums")
            options.noChecksums = true;
        else if (argument == "--parallel")
            options.parallel = arguments.Number(1, MaxSimultaneousTransfers);
        else if (options.request.Take(arguments))
        {
        }
        else if (argument.starts_with("-") || !options.listFile.empty())
            throw arguments.Unexpected();
        else
            options.listFile = argument;
    }
    if (options.listFile.empty())
        throw TUsageError{"no list file given"};
    if (options.password.size() && options.user.empty())
        throw TUsageError{"--password needs --user"};
    if (options.proxyPassword.size() && options.proxyUser.empty())
        throw TUsageError{"--proxy-password needs --proxy-user"};
    // A cookies file named here that cannot be read stops the run before it starts; the one the
    // settings name is logged by the run, as in the window.
    TCookieJar jar;
    options.request.ReadCookies(jar, 0);
    return options;
}

// The stored settings with the options of this run over them; read as the preferences dialog
// would show them.
class TCommandLinePreferences : public TRunPreferences
{
  public:
    TCommandLinePreferences(const TSettingsRecord& stored, bool containsChecked, const RunOptions& options)
        : stored(stored), containsChecked(containsChecked), options(options)
    {
    }

    std::string FilterText() const override { return options.filter.value_or(stored.Extension); }
    TFilterMode FilterMode() const override
    {
        return containsChecked && !options.endsWith ? TFilterMode::Contains : TFilterMode::EndsWith;
    }
    bool Overwrite() const override { return options.overwrite; }
    bool SaveImages() const override { return options.images; }
    bool PrintFiles() const override { return options.print; }
    int Retries() const override { return options.retries.value_or(std::clamp(stored.Retries, 0, 999)); }
    int TimeOut() const override { return options.timeOut.value_or(std::clamp(stored.TimeOut, 5, 999)); }
    TLogLevel LogLevel() const override
    {
        const int level = options.logLevel.value_or(stored.LogLevel);
        return static_cast<TLogLevel>(level >= 0 && level <= 3 ? level : -1);
    }
    TAfterDownload AfterDownload() const override { return TAfterDownload::Nothing; }
    bool StartAtChecked() const override { return options.startAt.has_value(); }
    std::string StartTime() const override { return options.startAt.value_or(std::string()); }
    std::string ProxyServer() const override
    {
        return options.proxy.value_or(std::string(bytetext::Trim(stored.ProxyServer)));
    }
    int PauseSeconds() const override
    {
        return options.pause.value_or(std::clamp(stored.PauseSeconds, 0, 60));
    }
    bool PassiveFtp() const override { return options.passive || stored.PassiveFtp != 0; }
    int SimultaneousTransfers() const override
    {
        return options.parallel.value_or(
            std::clamp(stored.SimultaneousTransfers, 1, MaxSimultaneousTransfers));
    }
    std::int64_t LimitRate() const override
    {
        return options.request.limitRate.value_or(std::int64_t{std::max(stored.LimitRateKiB, 0)} * 1024);
    }

    std::string CookiesFile() const override
    {
        return options.request.loadCookies.value_or(stored.CookiesFile);
    }
    std::string SaveCookiesFile() const override { return options.request.saveCookies; }
    std::string UserAgent() const override { return options.request.userAgent.value_or(stored.UserAgent); }
    std::vector<std::string> ExtraHeaders() const override { return options.request.headers; }
    bool CheckChecksums() const override { return !options.noChecksums && stored.CheckChecksums != 0; }

  private:
    const TSettingsRecord& stored;
    bool containsChecked;
    const RunOptions& options;
};

// Every log line goes to standard output as it is written; to a terminal with its control
// bytes escaped, elsewhere as it stands.
class TCommandLineObserver : public TRunObserver
{
  public:
    TRunProgress* Progress = nullptr;
    bool Terminal = isatty(STDOUT_FILENO) == 1;

    void LogLine(const std::string& line, bool) override
    {
        if (Progress)
            Progress->Clear();
        const std::string shown = Terminal ? TerminalSafe(line) : line;
        std::fwrite(shown.data(), 1, shown.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    // The progress line follows the run's place and the bytes of its transfer.
    void URLSelected(int index) override
    {
        if (Progress)
            Progress->URL(index);
    }
    void FileSelected(int index) override
    {
        if (Progress)
            Progress->File(index);
    }
    void FileProgress(std::int64_t received, std::int64_t expected) override
    {
        if (Progress)
        {
            if (Run)
                Progress->Several(Run->FilesEnded(), Run->InFlight());
            Progress->Bytes(received, expected);
        }
    }
    void RunStateChanged() override
    {
        if (Progress)
            Progress->Running(Run && Run->Running());
    }

    const TDownloadRun* Run = nullptr;
};

// Messages go to standard error; every question is answered No, and a login with the names the
// options give, or cancelled when they give none.
class StandardErrorPrompts : public platform::PromptHandler
{
  public:
    explicit StandardErrorPrompts(const RunOptions& options) : options(options) {}

    TRunProgress* Progress = nullptr;
    void Message(const std::string& text) override
    {
        if (Progress)
            Progress->Clear();
        std::fprintf(stderr, "%s\n", Lines(text).c_str());
    }
    bool Confirm(const std::string& text) override
    {
        if (Progress)
            Progress->Clear();
        // There is no log window to offer: what the question says about the run stands alone.
        if (const std::size_t offer = text.find(ViewLogOffer); offer != std::string::npos)
            std::fprintf(stderr, "%s\n", Lines(text.substr(0, offer)).c_str());
        else
            std::fprintf(stderr, "%s No\n", Lines(text).c_str());
        return false;
    }
    bool Login(const platform::LoginQuestion& question, platform::LoginAnswer& answer) override
    {
        const std::string& user = question.ProxyLogin ? options.proxyUser : options.user;
        if (!user.empty())
        {
            answer.UserName = user;
            answer.Password = question.ProxyLogin ? options.proxyPassword : options.password;
            return true;
        }
        if (Progress)
            Progress->Clear();
        // The server's words, with no control byte of theirs reaching the terminal.
        std::fprintf(stderr, "%s for %s (%s) cancelled: no %s given\n", question.Caption.c_str(),
                     TerminalSafe(question.Server).c_str(), TerminalSafe(question.Challenge).c_str(),
                     question.ProxyLogin ? "--proxy-user" : "--user");
        return false;
    }

  private:
    static constexpr std::string_view ViewLogOffer = "  Would you like to view the log?";
    const RunOptions& options;

    static std::string Lines(std::string text)
    {
        for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
            text.erase(at, 1);
        return text;
    }
};

} // namespace

int RunCommand(int argc, char* argv[])
{
    if (TArguments(argc, argv).WantsHelp())
    {
        std::fputs(RunUsage, stdout);
        return 0;
    }
    RunOptions options;
    // The entries go straight into the strings the URL List keeps, as bytes, so that a long list
    // is held once.
    std::vector<std::string> entries;
    try
    {
        options = ParseOptions(argc, argv);
        const std::string outputDir =
            options.outputDir ? "->" + AddBackslash(*options.outputDir) : std::string();
        ReadListLines(options.listFile,
                      [&](std::string_view line)
                      {
                          std::string& entry = entries.emplace_back(line);
                          if (!outputDir.empty() && line.find("->") == std::string_view::npos)
                              entry += outputDir;
                      });
    }
    catch (const TUsageError& error)
    {
        std::fprintf(stderr, "kestrow-cli run: %s\nRun 'kestrow-cli run --help' for the options.\n",
                     error.message.c_str());
        return 2;
    }
    catch (const Exception& error)
    {
        std::fprintf(stderr, "kestrow-cli run: %s\n", error.what());
        return 2;
    }
    int qtArgc = 1;
    char name[] = "kestrow-cli";
    char* qtArgv[] = {name, nullptr};
    QCoreApplication application(qtArgc, qtArgv);
    StandardErrorPrompts prompts(options);
    platform::SetPromptHandler(&prompts);

    TSettingsRecord settings;
    bool containsChecked = true;
    StartUp(settings, containsChecked);
    TCommandLinePreferences preferences(settings, containsChecked, options);
    TCommandLineObserver observer;
    TDownloadRun run(preferences, observer);
    try
    {
        UseTlsOptions(run.Trust(), options.caFiles, options.insecure, "run");
    }
    catch (const Exception& error)
    {
        platform::SetPromptHandler(nullptr);
        std::fprintf(stderr, "kestrow-cli run: %s\n", error.what());
        return 2;
    }
    run.URLList.SetItems(std::move(entries));
    TRunProgress progress(run.URLList, run.FileList, isatty(STDERR_FILENO) == 1);
    prompts.Progress = &progress;
    observer.Progress = &progress;
    observer.Run = &run;

    // Ctrl+C and SIGTERM stop the run like the Stop button.
    const TSignalStop interrupt([&run] { run.RequestStop(); });
    RunToEnd(run.RunAsync(options.test));
    progress.Clear();
    platform::SetPromptHandler(nullptr);
    if (interrupt.Interrupted())
    {
        std::fputs("Stopped.\n", stderr);
        return 130;
    }
    return run.ErrorCount() > 0 ? 1 : 0;
}
