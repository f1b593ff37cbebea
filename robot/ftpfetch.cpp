#include "robot/ftpfetch.h"

#include "links/urlresolution.h"
#include "net/nmftp.h"
#include "net/port.h"

namespace
{
int FtpPort(const std::string& text)
{
    return text.empty() ? 21 : ParsePort(text);
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
        ftp.TransferType(TTransferType::Image);
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
