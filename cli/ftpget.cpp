#include "cli/ftpget.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <memory>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include "app/transferfile.h"
#include "cli/eventloop.h"
#include "links/urlresolution.h"
#include "net/nmftp.h"

namespace
{
std::string WithoutLineEnd(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

int Failed(const std::string& message)
{
    std::fprintf(stderr, "kestrow-cli get: %s\n", WithoutLineEnd(message).c_str());
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
    int port = 21;
    if (!parts.Port.empty())
    {
        const auto [end, error] =
            std::from_chars(parts.Port.data(), parts.Port.data() + parts.Port.size(), port);
        if (error != std::errc() || end != parts.Port.data() + parts.Port.size() || port < 1 || port > 65535)
            return Failed("Invalid port " + parts.Port);
    }

    const auto application = EnsureEventLoop();

    // Set up as the robot sets up its client.
    TNMFTP ftp;
    ftp.Host = parts.Host;
    ftp.Port = port;
    ftp.UserID = "anonymous";
    ftp.Password = AnonymousPassword;
    ftp.ReportLevel = 2;
    ftp.TimeOut = options.timeoutSeconds * 1000;

    // The robot's watchdog: every reply and every received chunk counts as a sign of life; when
    // there has been none for the time-out, the client is aborted, which ends whatever wait it
    // is in. Chunks only note the time, so a fast transfer pays nothing for it.
    bool stalled = false;
    QElapsedTimer sinceActivity;
    sinceActivity.start();
    QTimer watchdog;
    watchdog.setInterval(std::min(options.timeoutSeconds * 1000, 1000));
    QObject::connect(&watchdog, &QTimer::timeout,
                     [&]
                     {
                         if (sinceActivity.elapsed() < options.timeoutSeconds * 1000LL)
                             return;
                         stalled = true;
                         sinceActivity.restart();
                         ftp.Abort();
                     });
    // The server's last error reply, to explain a wait that it ended (421, 425, 426).
    std::string lastErrorReply;
    ftp.OnStatus = [&](QObject*, const std::string& status)
    {
        sinceActivity.restart();
        if (status.size() >= 4 && (status[0] == '4' || status[0] == '5') && std::isdigit(status[1] & 0xFF) &&
            std::isdigit(status[2] & 0xFF))
            lastErrorReply = WithoutLineEnd(status);
        if (options.verbose)
            std::fprintf(stderr, "%s\n", WithoutLineEnd(status).c_str());
    };
    ftp.OnPacketRecvd = [&](QObject*) { sinceActivity.restart(); };

    // The file is fetched beside its destination and takes its place only when complete, so a
    // failed transfer never costs the file that was there.
    std::string transferPath;
    watchdog.start();
    try
    {
        transferPath = CreateTransferFile(options.file);
        ftp.Connect();
        ftp.ChangeDir(parts.Directory);
        ftp.TransferType(2);
        ftp.Download(parts.FileName, transferPath);
        CommitTransferFile(transferPath, options.file);
        transferPath.clear();
    }
    catch (const Exception& error)
    {
        DiscardFile(transferPath);
        if (stalled)
            return Failed("nothing received for " + std::to_string(options.timeoutSeconds) + " seconds (" +
                          error.Message() + ")");
        if (SockReasonOf(error) == TSockReason::ConnectionFailed && ftp.LastError != 0)
            return Failed(error.Message() + " (" + ftp.ErrorText(ftp.LastError) + ")");
        if (dynamic_cast<const ESockError*>(&error) && !lastErrorReply.empty())
            return Failed(error.Message() + " (" + lastErrorReply + ")");
        return Failed(error.Message());
    }
    const std::int64_t received = ftp.ExpectedCount;
    try
    {
        ftp.Disconnect();
    }
    catch (const Exception& error)
    {
        // The file is complete; a server that fumbles its goodbye does not undo that.
        std::fprintf(stderr, "kestrow-cli get: after the transfer: %s\n",
                     WithoutLineEnd(error.Message()).c_str());
    }
    watchdog.stop();
    std::fprintf(stderr, "Received %lld Bytes\n", static_cast<long long>(received));
    return 0;
}
