// The preview of a URL List entry: its page and links without a run.
#include "robot/downloadrun.h"

#include <QMetaObject>

#include "auth/replycodetext.h"
#include "links/linkextraction.h"
#include "links/urlresolution.h"
#include "net/origin.h"
#include "platform/bytetext.h"
#include "platform/exception.h"
#include "robot/ftpaddress.h"
#include "robot/programfiles.h"
#include "robot/runobserver.h"
#include "robot/runpreferences.h"
#include "robot/protocol.h"

void TDownloadRun::PreviewEntry(const std::string& entry)
{
    if (runActive || previewActive)
        return;
    RunToEnd(PreviewEntryAsync(entry));
}

void TDownloadRun::StartPreview(const std::string& entry,
                                std::function<void(const std::string& failure)> ended)
{
    if (runActive || previewActive)
        return;
    previewTask.emplace(PreviewEntryAsync(entry));
    // Told from the event loop once the preview has ended, never from inside it: the handler may
    // show a message, and the user may start the next preview meanwhile.
    previewTask->Start(
        [this, ended = std::move(ended)]
        {
            std::string failure;
            try
            {
                previewTask->Result();
            }
            catch (const std::exception& error)
            {
                failure = error.what();
            }
            QMetaObject::invokeMethod(
                this, [ended, failure] { ended(failure); }, Qt::QueuedConnection);
        });
}

TTask<void> TDownloadRun::PreviewEntryAsync(std::string entry)
{
    settings = TRunSettings::Of(Preferences);
    previewActive = true;
    previewAborted = false;
    Observer.RunStateChanged();
    struct TPreviewEnd
    {
        TDownloadRun& robot;
        ~TPreviewEnd()
        {
            robot.previewActive = false;
            robot.Observer.RunStateChanged();
        }
    } previewEnd{*this};

    Fetch->ApplyProxySetting();
    // The page comes as the run would fetch it: with the same identity and cookies.
    UseIdentityAndNewJar();
    ReadCookies(false);
    const std::string typed(bytetext::BeforeArrow(entry));
    const TURLParts parts = SplitURL(typed);
    const std::string address = StripCredentials(typed);
    try
    {
        Observer.FileProgress(0, 0);
        FileList.Clear();
        TFetchRequest request;
        request.Address = address;
        request.Destination = MakeFileName(TFixedFile::HTMLBody);
        request.ProbeFirst = true;
        const bool ftpFolder = ProtocolOf(address) == TProtocol::Ftp;
        request.ListFolder = ftpFolder;
        // A password without a user name goes as the anonymous user's.
        request.User = parts.User.empty() ? "anonymous" : parts.User;
        request.Password = parts.Password;
        request.LoginOrigin = OriginOf(address);
        request.TimeOutSeconds = settings.TimeOut;
        request.PassiveFtp = settings.PassiveFtp;
        TFetchResult page = co_await Fetch->FetchAsync(request);
        // An error page has no links worth listing; saying nothing would look like an empty page.
        if (page.ErrorAnswer())
            throw Exception(ReplyCodeText(page.ReplyCode));
        page.File.Commit();
        const TScanning scanning(Observer);
        TLinkList links;
        if (ftpFolder)
            FolderLinks(request.Destination, page.MachineListing, settings.FilterText, settings.FilterMode,
                        links);
        else
            ExtractLinks(request.Destination, settings.FilterText, settings.FilterMode, links,
                         page.RedirectedTo.empty() ? address : page.RedirectedTo);
        if (settings.SaveImages && !ftpFolder)
            ExtractImageLinks(request.Destination, links);
        FileList.SetItems(links.Items());
    }
    catch (const std::exception& error)
    {
        if (Fetch->TimedOut())
            throw Exception("Cannot access " + address + "\r\nConnection Timed out");
        if (previewAborted)
            co_return;
        throw Exception("Cannot access " + address + "\r\n" + error.what());
    }
}
