// The FTP side of the transfer unit: a file by its address, with REST when an earlier attempt's
// bytes are of the same version, over the control connection kept from the file before.
#include "robot/fetch.h"

#include "net/nmftp.h"
#include "net/port.h"
#include "platform/bytetext.h"
#include "platform/exception.h"
#include "robot/ftpaddress.h"
#include "robot/resumerules.h"

TTask<void> TFetch::FetchFtpAsync(const TFetchRequest& request, TFetchResult& result)
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
    NMFTP1->Passive = request.PassiveFtp;
    TPartialInfo kept;
    const std::int64_t keptBytes = result.File.KeptBytes(request.Address, kept);
    describing = &result.File;
    listing = request.ListFolder;
    listingTooLong = false;
    struct TDescribed
    {
        TTransferFile*& describing;
        bool& listing;
        ~TDescribed()
        {
            describing = nullptr;
            listing = false;
        }
    } described{describing, listing};
    // The whole size a resumed file is held to, and the size the reply to RETR announced.
    std::int64_t whole = -1;
    std::int64_t announced = -1;
    // Where the transfer went on in the file (-1 afresh), and the bytes that came.
    std::int64_t goneOnFrom = -1;
    std::int64_t bytes = 0;
    const int port = parts.Port.empty() ? 21 : ParsePort(parts.Port);
    const std::string server = parts.Host + ":" + std::to_string(port) + " as " + NMFTP1->UserID;
    // "/pub/x" and "/pub/x/" are one folder.
    std::string folder = parts.Folder;
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    // The control connection of the last file serves the next one on the same server: logged in
    // and in binary type already, it changes folder only when the folder changes. One that died
    // meanwhile is opened again once.
    for (bool reopened = false;; reopened = true)
    {
        const bool reused = !reopened && keptFtpServer == server && NMFTP1->IsConnected() &&
                            (!ftpFolderSet || !parts.Folder.empty() || ftpFolder.empty());
        if (!reused)
            co_await CloseKeptFtpAsync();
        keptFtpServer.clear();
        if (reopened)
            lastFtpErrorReply.clear();
        NMFTP1->Host = parts.Host;
        NMFTP1->Port = port;
        bool transferStarted = false;
        std::exception_ptr failure;
        bool lost = false;
        // A failure closes the session, so the next file logs in afresh, perhaps on another server.
        try
        {
            if (!reused)
            {
                co_await NMFTP1->ConnectAsync();
                ftpFolderSet = false;
            }
            if (!ftpFolderSet || ftpFolder != folder)
            {
                if (!parts.Folder.empty())
                    co_await NMFTP1->ChangeDirAsync(parts.Folder);
                ftpFolder = folder;
                ftpFolderSet = true;
            }
            if (!reused)
                co_await NMFTP1->TransferTypeAsync(static_cast<int>(TTransferType::Image));
            // A folder's listing is fetched whole every time.
            if (request.ListFolder)
            {
                transferStarted = true;
                result.MachineListing = co_await NMFTP1->ListFolderAsync(result.File.Path());
                bytes = FileSize(result.File.Path());
            }
            else
            {
                // The file's time of change tells its version: bytes of another version are never
                // continued. A server that cannot tell leaves nothing to go on from, nor does a
                // file whose whole size is unknown: only the size finds out a server that answers
                // REST and then sends the file from its start.
                const std::string mdtm = co_await FtpAnswerAsync("MDTM " + parts.File);
                const std::string changed = ftpreply::ModificationTime(mdtm);
                TPartialInfo info{request.Address, changed.empty() ? std::string() : "MDTM " + changed, -1};
                if (keptBytes > 0 && !info.Validator.empty() && info.Validator == kept.Validator)
                {
                    const std::string size = co_await FtpAnswerAsync("SIZE " + parts.File);
                    whole = resumerules::FtpWholeSize(kept.Total, ftpreply::SizeOfFile(size));
                }
                const bool goOn = whole > keptBytes;
                // Told as the transfer starts: whether the server goes on from the kept bytes, and
                // the size its reply announces.
                const auto describe = [&]
                {
                    goneOnFrom = NMFTP1->ContinuedFrom;
                    if (goneOnFrom > 0)
                    {
                        ftpWholeSize = whole;
                        Observer.Resumed(goneOnFrom, whole);
                    }
                    announced = ftpreply::AnnouncedSize(NMFTP1->LastReply);
                    info.Total = goneOnFrom > 0 ? whole : announced;
                    result.File.Describe(info);
                };
                NMFTP1->OnTransactionStart = [this, describe, &transferStarted](QObject*)
                {
                    transferStarted = true;
                    SignOfLife();
                    describe();
                };
                const std::int64_t restartAt = goOn ? keptBytes : 0;
                const TFtpReceived received =
                    co_await NMFTP1->DownloadAsync(parts.File, result.File.Path(), restartAt);
                goneOnFrom = received.ContinuedFrom;
                bytes = received.Bytes;
                NMFTP1->OnTransactionStart = [this](QObject*) { SignOfLife(); };
            }
        }
        catch (const std::exception& error)
        {
            failure = std::current_exception();
            lost = reused && !transferStarted && LostConnection(error);
        }
        if (failure)
        {
            NMFTP1->OnTransactionStart = [this](QObject*) { SignOfLife(); };
            if (std::exchange(goodbyeAfterAbort, false))
                co_await SayFtpGoodbyeAsync();
            else
                NMFTP1->RequestCloseSocket();
            if (lost)
                continue;
            // Whether the server went on from where it was asked to is known only once the file
            // is whole: what came after the kept bytes is not kept.
            if (goneOnFrom > 0)
            {
                try
                {
                    result.File.CutBack(keptBytes);
                }
                catch (const Exception&)
                {
                    result.File.Discard();
                }
            }
            if (listingTooLong)
                throw Exception("Folder listing too long: more than " + std::to_string(MaxListingBytes) +
                                " bytes");
            std::rethrow_exception(failure);
        }
        break;
    }
    // A resumed file is whole only at the size it was resumed against; bytes that make it any
    // other size are of unknown places (a server that ignored REST sent the file from its
    // start), so none of them is kept. A file from its start is short of a size its server
    // announced, as an HTTP body is.
    if (goneOnFrom > 0)
    {
        try
        {
            HoldWholeLength(result.File.Path(), whole);
        }
        catch (const Exception&)
        {
            result.File.Discard();
            throw;
        }
    }
    else if (announced > 0 && FileSize(result.File.Path()) < announced)
        HoldWholeLength(result.File.Path(), announced);
    // Only what came in this transfer counts.
    result.Bytes = bytes;
    result.Host = parts.Host;
    keptFtpServer = server;
}

TTask<void> TFetch::CloseKeptFtpAsync()
{
    if (keptFtpServer.empty() || !NMFTP1->IsConnected())
        co_return;
    keptFtpServer.clear();
    // A goodbye that the server fumbles does not undo the files that came before it.
    try
    {
        co_await NMFTP1->DisconnectAsync();
    }
    catch (const std::exception& error)
    {
        NMFTP1->RequestCloseSocket();
        Observer.AfterTransfer(error.what());
    }
}

bool TFetch::LostConnection(const std::exception& error) const
{
    // The connection is gone (reset, closed, or the server's 421 before it closes, which ends
    // the wait for the reply), as a kept one may be after a while; a refusal of the command, or
    // the user's own stop, is no such thing.
    if (givenUp)
        return false;
    if (const auto* ftpError = dynamic_cast<const FTPException*>(&error))
        return ftpError->Message().starts_with("421");
    const auto* sockError = dynamic_cast<const ESockError*>(&error);
    // The client finds its connection closed before it sends the next command.
    if (!sockError)
        return std::string_view(error.what()) == "Not Connected";
    if (sockError->Reason() == TSockReason::Aborted)
        return lastFtpErrorReply.starts_with("421");
    return sockError->Reason() == TSockReason::Winsock &&
           (sockError->WinsockError() == TWinsockError::ConnectionReset ||
            sockError->WinsockError() == TWinsockError::NotConnected ||
            sockError->WinsockError() == TWinsockError::ConnectionAborted);
}

TTask<std::string> TFetch::FtpAnswerAsync(std::string command)
{
    try
    {
        co_return co_await NMFTP1->DoCommandAsync(command);
    }
    catch (const FTPException& error)
    {
        // A server that is closing the connection (421) refuses everything from now on.
        if (error.Message().starts_with("421"))
            throw;
        // The server cannot tell; its refusal explains nothing that fails later.
        lastFtpErrorReply.clear();
    }
    co_return std::string();
}
