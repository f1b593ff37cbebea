// The FTP side of the transfer unit: a file by its address, with REST when an earlier attempt's
// bytes are of the same version.
#include "robot/fetch.h"

#include "net/nmftp.h"
#include "net/port.h"
#include "platform/bytetext.h"
#include "platform/exception.h"
#include "robot/ftpaddress.h"

void TFetch::FetchFtp(const TFetchRequest& request, TFetchResult& result)
{
    // A control byte in the folder or the name is refused before anything is sent.
    TFtpAddress parts = SplitFtpAddress(request.Address);
    if (request.ListFolder)
    {
        parts.Folder += parts.File;
        parts.File.clear();
    }
    if (parts.Host.empty() || (parts.File.empty() && !request.ListFolder))
        throw Exception("'" + request.Address + "' names no file on a server");
    NMFTP1->Host = parts.Host;
    NMFTP1->Port = parts.Port.empty() ? 21 : ParsePort(parts.Port);
    NMFTP1->Passive = request.PassiveFtp;
    TPartialInfo kept;
    const std::int64_t keptBytes = result.File.KeptBytes(request.Address, kept);
    describing = &result.File;
    struct TDescribed
    {
        TTransferFile*& describing;
        ~TDescribed() { describing = nullptr; }
    } described{describing};
    // A failure closes the session, so the next file logs in afresh, perhaps on another server.
    try
    {
        NMFTP1->Connect();
        if (!parts.Folder.empty())
            NMFTP1->ChangeDir(parts.Folder);
        NMFTP1->TransferType(TTransferType::Image);
        // A folder's listing is fetched whole every time.
        if (request.ListFolder)
            result.MachineListing = NMFTP1->ListFolder(result.File.Path());
        else
        {
            // The file's time of change tells its version: bytes of another version are never
            // continued. A server that cannot tell leaves nothing to go on from.
            TPartialInfo info{request.Address, ModificationTime(parts.File), -1};
            const bool goOn = keptBytes > 0 && !info.Validator.empty() && info.Validator == kept.Validator;
            const auto describe = [&]
            {
                if (NMFTP1->ContinuedFrom > 0)
                {
                    ftpWholeSize = kept.Total;
                    Observer.Resumed(NMFTP1->ContinuedFrom, kept.Total);
                }
                info.Total = NMFTP1->ContinuedFrom > 0   ? kept.Total
                             : NMFTP1->ExpectedCount > 0 ? NMFTP1->ExpectedCount
                                                         : -1;
                result.File.Describe(info);
            };
            NMFTP1->OnTransactionStart = [this, describe](QObject*)
            {
                SignOfLife();
                describe();
            };
            NMFTP1->Download(parts.File, result.File.Path(), goOn ? keptBytes : 0);
            NMFTP1->OnTransactionStart = [this](QObject*) { SignOfLife(); };
        }
    }
    catch (...)
    {
        NMFTP1->OnTransactionStart = [this](QObject*) { SignOfLife(); };
        NMFTP1->RequestCloseSocket();
        throw;
    }
    if (NMFTP1->ContinuedFrom > 0)
    {
        // The whole file, as large as it was when the first part came.
        KeepAnnouncedLength(result.File.Path(), kept.Total);
    }
    // Only what came in this transfer counts.
    result.Bytes = NMFTP1->ExpectedCount;
    result.Host = parts.Host;
    // Once the whole file is in, a goodbye that the server fumbles does not undo it.
    try
    {
        NMFTP1->Disconnect();
    }
    catch (const std::exception& error)
    {
        NMFTP1->RequestCloseSocket();
        Observer.AfterTransfer(error.what());
    }
}

std::string TFetch::ModificationTime(const std::string& fileName)
{
    std::string time;
    try
    {
        NMFTP1->DoCommand("MDTM " + fileName);
        if (NMFTP1->ReplyCode == 213)
            time =
                "MDTM " + std::string(bytetext::Trim(bytetext::WithoutLineEnd(NMFTP1->LastReply.substr(3))));
    }
    catch (const FTPException&)
    {
        // No time of change from this server; its refusal explains nothing that fails later.
        lastFtpErrorReply.clear();
    }
    return time;
}
