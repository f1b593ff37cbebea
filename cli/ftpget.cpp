#include "cli/ftpget.h"

#include <cstdio>

#include "cli/eventloop.h"
#include "cli/signalstop.h"
#include "platform/bytetext.h"
#include "links/urlresolution.h"
#include "net/nmftp.h"
#include "robot/ftpfetch.h"
#include "robot/transferfile.h"
#include "robot/watchdog.h"

namespace
{
using bytetext::WithoutLineEnd;

int Failed(const std::string& message)
{
    std::fprintf(stderr, "kestrow-cli get: %s\n", std::string(WithoutLineEnd(message)).c_str());
    return 2;
}
} // namespace

int GetFtp(const TFtpGetOptions& options)
{
    TURLParts parts = SplitURL(options.url);
    // The robot takes a last segment without a dot for a folder; here the address names a file.
    if (parts.FileName.empty() && !parts.Directory.empty() && parts.Directory.back() != '/')
    {
        const std::size_t slash = parts.Directory.rfind('/');
        parts.FileName = parts.Directory.substr(slash + 1);
        parts.Directory.erase(slash + 1);
    }
    if (parts.Host.empty() || parts.FileName.empty())
        return Failed("'" + options.url + "' names no file on a server");

    const auto application = EnsureEventLoop();

    // Set up as the robot sets up its client.
    TNMFTP ftp;
    ftp.UserID = "anonymous";
    ftp.Password = AnonymousPassword;
    ftp.ReportLevel = 2;
    ftp.TimeOut = options.timeoutSeconds * 1000;

    // The robot's watchdog: every step done (the login, each command, the data connection) and
    // every received chunk count as a sign of life; when there has been none for the time-out,
    // the client is aborted, which ends whatever wait it is in. A reply line is none: a server
    // may send lines for ever.
    TWatchdog watchdog;
    watchdog.OnTimeOut = [&ftp] { ftp.Abort(); };
    const TSignalStop interrupt([&ftp] { ftp.Abort(); });
    // The server's last error reply, to explain a wait that it ended (421, 425, 426).
    std::string lastErrorReply;
    ftp.OnStatus = [&](QObject*, const std::string& status)
    {
        if (status.size() >= 4 && (status[0] == '4' || status[0] == '5') && bytetext::IsDigit(status[1]) &&
            bytetext::IsDigit(status[2]))
            lastErrorReply = std::string(WithoutLineEnd(status));
        if (options.verbose)
            std::fprintf(stderr, "%s\n", std::string(WithoutLineEnd(status)).c_str());
    };
    const auto signOfLife = [&watchdog] { watchdog.Restart(); };
    ftp.OnConnect = [signOfLife](QObject*) { signOfLife(); };
    ftp.OnSuccess = [signOfLife](TNMFTP::TCmdType) { signOfLife(); };
    ftp.OnTransactionStart = [signOfLife](QObject*) { signOfLife(); };
    ftp.OnPacketRecvd = [signOfLife](QObject*) { signOfLife(); };

    // The file is fetched beside its destination and takes its place only when complete, so a
    // failed transfer never costs the file that was there.
    std::string transferPath;
    watchdog.Start(options.timeoutSeconds);
    try
    {
        transferPath = CreateTransferFile(options.file);
        FetchFtpFile(ftp, parts, transferPath,
                     [](const std::string& message)
                     {
                         // The file is complete; a server that fumbles its goodbye does not undo that.
                         std::fprintf(stderr, "kestrow-cli get: after the transfer: %s\n",
                                      std::string(WithoutLineEnd(message)).c_str());
                     });
        CommitTransferFile(transferPath, options.file);
        transferPath.clear();
    }
    catch (const Exception& error)
    {
        DiscardFile(transferPath);
        if (interrupt.Interrupted())
        {
            std::fprintf(stderr, "kestrow-cli get: interrupted (%s)\n",
                         std::string(WithoutLineEnd(error.Message())).c_str());
            return 130;
        }
        if (watchdog.Fired())
            return Failed("nothing received for " + std::to_string(options.timeoutSeconds) + " seconds (" +
                          error.Message() + ")");
        if (SockReasonOf(error) == TSockReason::ConnectionFailed && ftp.LastError != 0)
            return Failed(error.Message() + " (" + ftp.ErrorText(ftp.LastError) + ")");
        if (dynamic_cast<const ESockError*>(&error) && !lastErrorReply.empty())
            return Failed(error.Message() + " (" + lastErrorReply + ")");
        return Failed(error.Message());
    }
    watchdog.Stop();
    std::fprintf(stderr, "Received %lld Bytes\n", static_cast<long long>(ftp.ExpectedCount));
    return 0;
}
