#include "auth/httpevents.h"

#include <optional>

#include "auth/replycodetext.h"
#include "links/linkextraction.h"
#include "links/urlresolution.h"
#include "net/httpparse.h"
#include "net/nmhttp.h"
#include "net/port.h"
#include "net/unitencrypt.h"
#include "platform/bytetext.h"
#include "platform/exception.h"
#include "platform/prompt.h"
#include "platform/username.h"

namespace
{
// Tells the owner that the user is being asked, for as long as the question is open.
class TAsking
{
  public:
    explicit TAsking(const std::function<void(bool)>& asked) : asked(asked)
    {
        if (asked)
            asked(true);
    }
    ~TAsking()
    {
        if (asked)
            asked(false);
    }
    TAsking(const TAsking&) = delete;
    TAsking& operator=(const TAsking&) = delete;

  private:
    const std::function<void(bool)>& asked;
};
} // namespace

THttpEvents::THttpEvents(TNMHTTP& client) : NMHTTP1(client) {}

void THttpEvents::NMHTTP1Status(const std::string& status)
{
    if (ShowStatus)
        ShowStatus(status);
}

void THttpEvents::NMHTTP1ResponseHeader(const THttpAnswer& answer)
{
    // Logged as the answer arrives, so that the code stands under the page or file it answers
    // and is never repeated by the status reports that follow.
    if (LogLevel && LogLevel() == TLogLevel::HttpCodes && answer.Status > 0 && WriteLog)
        WriteLog(ReplyCodeText(answer.Status), false);
}

void THttpEvents::RedirectFailed(const std::string& message)
{
    if (WriteLog)
        WriteLog("Redirect:Failed...(" + std::string(bytetext::WithoutLineEnd(message)) + ")", false);
}

std::string THttpEvents::RedirectTarget(const THttpAnswer& answer) const
{
    const std::string& from = answer.Address;
    // The Location is the server's word; the redirect page may open with anything (a stylesheet,
    // a logo's link). Its first link is the way only for a server that names no Location.
    if (!answer.Location.empty())
        return httpparse::ResolveLocation(from, answer.Location);
    TLinkList links;
    if (answer.BodyInFile)
        ExtractLinks(answer.Body, "", TFilterMode::Contains, links);
    else
        ExtractLinksFromText(answer.Body, "", TFilterMode::Contains, links);
    if (links.Empty())
        return {};
    // A link without a scheme is relative to the page that holds it, not a host name.
    return SplitURL(links[0]).Scheme.empty() ? httpparse::ResolveLocation(from, links[0])
                                             : StripCredentials(links[0]);
}

void THttpEvents::ApplyProxySetting()
{
    const std::string preference = ProxyPreference ? ProxyPreference() : std::string();
    const TURLParts parts = SplitURL(preference);
    NMHTTP1.ProxyPort = 0;
    if (!parts.Port.empty())
    {
        const std::optional<int> port = PortFromText(parts.Port);
        if (!port)
        {
            NMHTTP1.Proxy.clear();
            NMHTTP1.ProxyPort = 0;
            if (ShowIndicator)
                ShowIndicator(TIndicator::Error);
            platform::ShowMessage("Unknown proxy '" + preference + "'");
            if (ShowIndicator)
                ShowIndicator(TIndicator::None);
            return;
        }
        NMHTTP1.ProxyPort = *port;
    }
    NMHTTP1.Proxy = parts.Host + parts.Directory + parts.FileName;
}

TTask<THttpAnswer> THttpEvents::ProbeWithProxyLoginAsync(std::string url)
{
    const THttpAnswer answer = co_await NMHTTP1.HeadAsync(url);
    if (answer.Status != 407)
        co_return answer;
    NMHTTP1AuthenticationNeeded(answer);
    co_return co_await NMHTTP1.HeadAsync(url);
}

std::string THttpEvents::ProxyPlace() const
{
    return NMHTTP1.Proxy + ":" + std::to_string(NMHTTP1.ProxyPort);
}

void THttpEvents::NMHTTP1AuthenticationNeeded(const THttpAnswer& refusal)
{
    platform::LoginQuestion question;
    question.UserName = platform::LoggedOnUserName();
    question.ProxyLogin = refusal.Status == 407;
    question.Caption = question.ProxyLogin ? "Proxy server login" : "Web site login";
    question.Challenge =
        HeaderFieldValue(refusal.Header, question.ProxyLogin ? "Proxy-Authenticate" : "WWW-Authenticate");
    // The answer goes only where the question came from.
    question.Server = LoginPlace(refusal);
    platform::LoginAnswer answer;
    bool answered = false;
    {
        const TAsking asking(LoginAsked);
        // Other transfers to the place wait for the answer rather than ask again.
        const std::shared_ptr<TLogins> logins = Logins;
        logins->Asking.insert(question.Server);
        struct TClosed
        {
            TLogins& logins;
            const std::string& place;
            ~TClosed()
            {
                logins.Asking.erase(place);
                logins.Answered.Notify();
            }
        } closed{*logins, question.Server};
        answered = platform::AskLogin(question, answer);
    }
    if (!answered)
    {
        if (question.ProxyLogin)
            return;
        throw Exception("Login cancelled");
    }
    (question.ProxyLogin ? Logins->ProxyAuthorization : Logins->SiteAuthorization)
        .Store(question.Server, "Basic " + EncodeBase64(answer.UserName + ":" + answer.Password));
    ++Logins->Stored;
}

std::string THttpEvents::LoginPlace(const THttpAnswer& refusal) const
{
    return refusal.Status == 407 ? ProxyPlace() : refusal.Origin;
}

void THttpEvents::NMHTTP1AboutToSend()
{
    const std::string site = Logins->SiteAuthorization.For(NMHTTP1.Origin);
    if (!site.empty())
        NMHTTP1.HeaderList.SetHeaderValue("Authorization", site);
    if (NMHTTP1.Proxy.empty())
        return;
    const std::string proxy = Logins->ProxyAuthorization.For(ProxyPlace());
    if (!proxy.empty())
        NMHTTP1.HeaderList.SetHeaderValue("Proxy-authorization", proxy);
}

std::string HeaderFieldValue(const std::string& header, const std::string& fieldName)
{
    const std::string name = bytetext::UpperCase(bytetext::Trim(fieldName));
    const std::size_t found = bytetext::UpperCase(header).find(name);
    if (found == std::string::npos)
        return {};
    const std::size_t start = found + name.size() + 1;
    std::string value(bytetext::Trim(start < header.size() ? std::string_view(header).substr(start) : ""));
    value = value.substr(0, value.find('\n'));
    return value.substr(0, value.find('\r'));
}
