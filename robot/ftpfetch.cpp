#include "robot/ftpfetch.h"

#include <charconv>

#include "links/urlresolution.h"
#include "net/nmftp.h"

namespace
{
int FtpPort(const std::string& text)
{
    if (text.empty())
        return 21;
    int port = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (error != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535)
        throw Exception("Invalid port " + text);
    return port;
}
} // namespace

void FetchFtpFile(TNMFTP& ftp, const TURLParts& parts, const std::string& localFile,
                  const std::function<void(const std::string& message)>& onQuitFailure)
{
    ftp.Host = parts.Host;
    ftp.Port = FtpPort(parts.Port);
    try
    {
        ftp.Connect();
        ftp.ChangeDir(parts.Directory);
        ftp.TransferType(2);
        ftp.Download(parts.FileName, localFile);
    }
    catch (...)
    {
        ftp.RequestCloseSocket();
        throw;
    }
    try
    {
        ftp.Disconnect();
    }
    catch (const std::exception& error)
    {
        ftp.RequestCloseSocket();
        if (onQuitFailure)
            onQuitFailure(error.what());
    }
}
