#include "cli/getcommand.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/arguments.h"
#include "cli/eventloop.h"
#include "cli/ftpget.h"
#include "cli/tlsoptions.h"
#include "cli/usage.h"
#include "net/nmhttp.h"
#include "net/port.h"
#include "platform/bytetext.h"
#include "cli/signalstop.h"
#include "robot/transferfile.h"
#include "robot/watchdog.h"

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
};

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "kestrow-cli get: %s\n%s", message.c_str(), GetUsage);
    return 2;
}

int GetHttp(const GetOptions& options)
{
    const auto application = EnsureEventLoop();

    TNMHTTP http;
    http.InputFileMode = true;
    http.Proxy = options.proxyHost;
    http.ProxyPort = options.proxyPort;
    http.HeaderInfo.UserId = options.user;
    http.HeaderInfo.Password = options.password;
    http.TimeOut = options.timeoutSeconds * 1000;
    http.ReportLevel = 8;

    // The robot's watchdog: a connection made and every chunk of the body restart it, and when
    // it fires the client is aborted, which ends whatever wait the request is in. A status report
    // is no progress: a server that sends header lines for ever reports one per line. Ctrl+C and
    // SIGTERM abort the client as well.
    TWatchdog watchdog;
    watchdog.OnTimeOut = [&http] { http.Abort(); };
    const TSignalStop interrupt([&http] { http.Abort(); });
    http.OnStatus = [&](QObject*, const std::string& status)
    {
        if (options.verbose)
            std::fprintf(stderr, "%s\n", std::string(bytetext::WithoutLineEnd(status)).c_str());
    };
    http.OnConnect = [&](QObject*) { watchdog.Restart(); };
    // The robot ends a transfer once the announced length is in, even if the server keeps
    // the connection open.
    http.OnPacketRecvd = [&](QObject*)
    {
        watchdog.Restart();
        if (http.ExpectedCount > 0 && http.ReceivedCount >= http.ExpectedCount)
            http.Disconnect();
    };

    // The body goes into a file beside FILE, which it replaces only once it is complete: a
    // failed, cut or refused transfer leaves what was there.
    std::string transferPath;
    watchdog.Start(options.timeoutSeconds);
    try
    {
        UseTlsOptions(http.Trust, options.caFiles, options.insecure, "get");
        transferPath = CreateTransferFile(options.file);
        http.Body = transferPath;
        if (options.head)
            http.Head(options.url);
        else
        {
            http.Get(options.url);
            KeepAnnouncedLength(transferPath, http.ExpectedCount);
        }
    }
    catch (const Exception& error)
    {
        DiscardFile(transferPath);
        std::string message = error.Message();
        if (interrupt.Interrupted())
        {
            std::fprintf(stderr, "kestrow-cli get: interrupted (%s)\n", message.c_str());
            return 130;
        }
        if (watchdog.Fired())
            message = "nothing received for " + std::to_string(options.timeoutSeconds) + " seconds (" +
                      message + ")";
        else if (SockReasonOf(error) == TSockReason::ConnectionFailed && http.LastError != 0)
            message += " (" + http.ErrorText(http.LastError) + ")";
        std::fprintf(stderr, "kestrow-cli get: %s\n", message.c_str());
        return 2;
    }
    watchdog.Stop();

    const std::string statusLine(bytetext::WithoutLineEnd(http.Header.substr(0, http.Header.find('\n'))));
    std::fprintf(stderr, "%s\nReplyCode %d\n", statusLine.c_str(), static_cast<int>(http.ReplyCode));
    if (http.ReplyCode >= 400)
    {
        // An error answer is no copy of the file.
        DiscardFile(transferPath);
        return 1;
    }
    try
    {
        CommitTransferFile(transferPath, options.file);
    }
    catch (const Exception& error)
    {
        std::fprintf(stderr, "kestrow-cli get: %s\n", error.what());
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

    // Each scheme has its own client; an address without one is taken as http.
    const std::size_t schemeEnd = options.url.find("://");
    const std::string scheme =
        schemeEnd == std::string::npos ? "HTTP" : bytetext::UpperCase(options.url.substr(0, schemeEnd));
    if (scheme == "HTTP" || scheme == "HTTPS")
        return GetHttp(options);
    if (scheme == "FTP")
    {
        if (options.head || !options.proxyHost.empty() || !options.user.empty())
            return UsageError("--head, --proxy and --user are for http:// addresses");
        return GetFtp({options.url, options.file, options.timeoutSeconds, options.verbose});
    }
    return UsageError("no client for the scheme of '" + options.url + "'");
}
