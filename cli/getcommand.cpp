#include "cli/getcommand.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/arguments.h"
#include "cli/eventloop.h"
#include "cli/signalstop.h"
#include "cli/tlsoptions.h"
#include "cli/requestoptions.h"
#include "cli/usage.h"
#include "net/cookiefile.h"
#include "net/origin.h"
#include "net/port.h"
#include "net/ratelimit.h"
#include "platform/bytetext.h"
#include "platform/clock.h"
#include "platform/exception.h"
#include "robot/fetch.h"
#include "robot/protocol.h"

namespace
{
const char* const GetUsage = UsageText("get");

struct GetOptions
{
    std::string url;
    std::string file;
    bool head = false;
    std::string proxyHost;
    int proxyPort = 0;
    std::string user;
    std::string password;
    int timeoutSeconds = 60;
    bool verbose = false;
    std::vector<std::string> caFiles;
    bool insecure = false;
    bool passive = false;
    TRequestOptions request;
};

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "kestrow-cli get: %s\n%s", message.c_str(), GetUsage);
    return 2;
}

// What a transfer reports: with -v, every status of the clients on standard error.
class TGetReports : public TFetchObserver
{
  public:
    explicit TGetReports(bool verbose) : verbose(verbose) {}

    void HttpStatus(const std::string& text) override { Show(text); }
    void FtpStatus(const std::string& text) override { Show(text); }
    void Resumed(std::int64_t from, std::int64_t total) override
    {
        std::fprintf(stderr, "%s\n", ResumedText(from, total).c_str());
    }
    void AfterTransfer(const std::string& failure) override
    {
        // The file is complete; a server that fumbles its goodbye does not undo that.
        std::fprintf(stderr, "kestrow-cli get: after the transfer: %s\n",
                     std::string(bytetext::WithoutLineEnd(failure)).c_str());
    }

  private:
    void Show(const std::string& text) const
    {
        if (verbose)
            std::fprintf(stderr, "%s\n", text.c_str());
    }

    bool verbose;
};

int Get(const GetOptions& options, bool ftp)
{
    const auto application = EnsureEventLoop();
    TGetReports reports(options.verbose);
    TFetch fetch(reports);
    // A login comes from the options or not at all: a refusal is the answer.
    fetch.AskLogins = false;
    fetch.UseProxy(options.proxyHost, options.proxyPort);
    if (options.request.limitRate.value_or(0) > 0)
        fetch.SetRateLimit(std::make_shared<TRateLimit>(*options.request.limitRate));
    // Ctrl+C and SIGTERM end the transfer like Stop: what arrived of it is removed.
    const TSignalStop interrupt(
        [&fetch]
        {
            fetch.GiveUp();
            fetch.Abort();
        });

    TFetchRequest request;
    request.Address = options.url;
    request.Destination = options.file;
    request.Head = options.head;
    request.User = options.user;
    request.Password = options.password;
    request.LoginOrigin = OriginOf(options.url);
    request.TimeOutSeconds = options.timeoutSeconds;
    request.PassiveFtp = options.passive;
    fetch.UseIdentity(options.request.userAgent.value_or(std::string()), options.request.headers);
    const auto jar = std::make_shared<TCookieJar>();
    fetch.UseCookies(jar);
    try
    {
        for (const std::string& skipped :
             options.request.ReadCookies(*jar, platform::Now().toSecsSinceEpoch()))
            std::fprintf(stderr, "kestrow-cli get: %s\n", skipped.c_str());
    }
    catch (const TUsageError& error)
    {
        return UsageError(error.message);
    }
    // The cookies the server set are written whatever its answer was: a refusal may set them too.
    const auto saveCookies = [&]
    {
        std::string reason;
        const std::string& file = options.request.saveCookies;
        if (!file.empty() && !WriteCookieFile(file, *jar, platform::Now().toSecsSinceEpoch(), reason))
        {
            std::fprintf(stderr, "kestrow-cli get: cookies file %s not written: %s\n", file.c_str(),
                         reason.c_str());
            return false;
        }
        return true;
    };
    try
    {
        UseTlsOptions(fetch.Trust(), options.caFiles, options.insecure, "get");
        // The body goes into a file beside FILE, which it replaces only once it is complete: a
        // failed, cut or refused transfer leaves what was there.
        TFetchResult result = fetch.Fetch(request);
        fetch.CloseConnections();
        const bool cookiesSaved = saveCookies();
        if (ftp)
            std::fprintf(stderr, "Received %lld Bytes\n", static_cast<long long>(result.Bytes));
        else
            std::fprintf(stderr, "%s\nReplyCode %d\n", result.StatusLine.c_str(), result.ReplyCode);
        // An error answer, or one without a body, is no copy of the file.
        if (result.ErrorAnswer() || !cookiesSaved)
            return 1;
        result.File.Commit();
    }
    catch (const Exception& error)
    {
        if (interrupt.Interrupted())
        {
            std::fprintf(stderr, "kestrow-cli get: interrupted (%s)\n",
                         std::string(bytetext::WithoutLineEnd(error.Message())).c_str());
            return 130;
        }
        std::fprintf(stderr, "kestrow-cli get: %s\n", fetch.Explain(error, options.timeoutSeconds).c_str());
        return 2;
    }
    return 0;
}
} // namespace

int GetCommand(int argc, char* argv[])
{
    TArguments arguments(argc, argv);
    if (arguments.WantsHelp())
    {
        std::fputs(GetUsage, stdout);
        return 0;
    }
    GetOptions options;
    bool haveFile = false;
    try
    {
        while (arguments.Next())
        {
            const std::string_view argument = arguments.Current();
            if (argument == "--head")
                options.head = true;
            else if (argument == "-v" || argument == "--verbose")
                options.verbose = true;
            else if (argument == "--proxy")
            {
                const std::string text = arguments.Value();
                const std::size_t colon = text.rfind(':');
                const std::optional<int> port =
                    colon == std::string::npos ? std::nullopt : PortFromText(text.substr(colon + 1));
                if (!port || colon == 0)
                    return UsageError("--proxy needs HOST:PORT");
                options.proxyPort = *port;
                options.proxyHost = text.substr(0, colon);
            }
            else if (argument == "--user")
                options.user = arguments.Value();
            else if (argument == "--password")
                options.password = arguments.Value();
            else if (argument == "--timeout")
                options.timeoutSeconds = arguments.Number(1, 86400);
            else if (argument == "--ca-file")
                options.caFiles.push_back(arguments.Value());
            else if (argument == "--insecure")
                options.insecure = true;
            else if (argument == "--passive")
                options.passive = true;
            else if (options.request.Take(arguments))
            {
            }
            else if ((argument.starts_with("-") && argument.size() > 1) || haveFile)
                throw arguments.Unexpected();
            else if (options.url.empty())
                options.url = argument;
            else
            {
                options.file = argument;
                haveFile = true;
            }
        }
    }
    catch (const TUsageError& error)
    {
        return UsageError(error.message);
    }
    if (options.url.empty() || !haveFile || options.file.empty())
        return UsageError("a URL and a FILE are needed");

    // http, https and ftp go through the transfer unit alike; an address without a scheme is
    // taken as http. What is HTTP's alone is refused for ftp.
    const TProtocol protocol = ProtocolOf(options.url);
    if (protocol == TProtocol::Http || protocol == TProtocol::Https)
        return Get(options, false);
    if (protocol == TProtocol::Ftp)
    {
        if (options.head || !options.proxyHost.empty() || !options.user.empty())
            return UsageError("--head, --proxy and --user are for http:// addresses");
        if (options.request.ForHttpOnly())
            return UsageError(
                "--load-cookies, --save-cookies, --user-agent and --header are for http:// addresses");
        return Get(options, true);
    }
    return UsageError("no client for the scheme of '" + options.url + "'");
}
