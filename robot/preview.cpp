// The preview of a URL List entry: its page and links without a run.
#include "robot/downloadrun.h"

#include "auth/httpevents.h"
#include "auth/replycodetext.h"
#include "links/linkextraction.h"
#include "links/urlresolution.h"
#include "net/nmhttp.h"
#include "platform/bytetext.h"
#include "platform/exception.h"
#include "platform/pause.h"
#include "robot/outputnaming.h"
#include "robot/runobserver.h"
#include "robot/runpreferences.h"
#include "robot/watchdog.h"

void TDownloadRun::PreviewEntry(const std::string& entry)
{
    if (runActive || previewActive)
        return;
    previewActive = true;
    previewAborted = false;
    Observer.RunStateChanged();
    struct TPreviewEnd
    {
        TDownloadRun& robot;
        ~TPreviewEnd()
        {
            robot.TimerConnect->Stop();
            robot.previewActive = false;
            robot.Observer.RunStateChanged();
        }
    } previewEnd{*this};

    HttpEvents->ApplyProxySetting();
    const std::string typed(bytetext::BeforeArrow(entry));
    const TURLParts parts = SplitURL(typed);
    const std::string address = StripCredentials(typed);
    NMHTTP1->HeaderInfo.UserId = parts.User.empty() ? "anonymous" : parts.User;
    NMHTTP1->HeaderInfo.Password = parts.Password;
    try
    {
        TimerConnect->Start(Preferences.TimeOut());
        Observer.FileProgress(0, 0);
        const std::string bodyFile = MakeFileName(FixedHTMLBody);
        NMHTTP1->Body = bodyFile;
        FileList.Clear();
        HttpEvents->ProbeWithProxyLogin(address);
        const int loginsBefore = HttpEvents->LoginsStored;
        NMHTTP1->Get(address);
        if ((NMHTTP1->ReplyCode == 401 || NMHTTP1->ReplyCode == 407) &&
            HttpEvents->LoginsStored > loginsBefore)
            NMHTTP1->Get(address);
        // An error page has no links worth listing; saying nothing would look like an empty page.
        if (NMHTTP1->ReplyCode >= 400)
            throw Exception(ReplyCodeText(NMHTTP1->ReplyCode));
        TLinkList links;
        ExtractLinks(bodyFile, bytetext::Trim(Preferences.FilterText()), Preferences.FilterMode(), links);
        if (Preferences.SaveImages())
            ExtractImageLinks(bodyFile, links);
        FileList.SetItems(links.Items());
        platform::ProcessMessages();
    }
    catch (const std::exception& error)
    {
        if (TimerConnect->Fired())
            throw Exception("Cannot access " + address + "\r\nConnection Timed out");
        if (previewAborted)
            return;
        throw Exception("Cannot access " + address + "\r\n" + error.what());
    }
}
