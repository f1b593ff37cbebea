#include "robot/ftpfetch.h"

#include "links/urlresolution.h"
#include "net/nmftp.h"
#include "net/port.h"
#include "platform/bytetext.h"
#include "platform/exception.h"

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
    // A CR LF in the folder or the name would reach the server as a command of its own; such an
    // address is refused before anything is sent.
    for (const std::string* part : {&parts.Host, &parts.Directory, &parts.FileName})
        if (bytetext::HasControlByte(*part))
            throw Exception("Invalid URL");
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
