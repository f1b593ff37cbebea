#include "auth/httpevents.h"

#include <optional>

#include "auth/replycodetext.h"
#include "links/urlresolution.h"
#include "net/nmhttp.h"
#include "net/port.h"
#include "net/unitencrypt.h"
#include "platform/bytetext.h"
#include "platform/exception.h"
#include "platform/prompt.h"

THttpEvents::THttpEvents(TNMHTTP& client) : NMHTTP1(client) {}

void THttpEvents::NMHTTP1Status(const std::string& status)
{
    if (ShowStatus)
        ShowStatus(status);
    if (LogLevel && LogLevel() == 3 && NMHTTP1.ReplyCode > 0 && WriteLog)
        WriteLog(ReplyCodeText(NMHTTP1.ReplyCode), false);
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
                ShowIndicator(3);
            platform::ShowMessage("Unknown proxy '" + preference + "'");
            if (ShowIndicator)
                ShowIndicator(0);
            return;
        }
        NMHTTP1.ProxyPort = *port;
    }
    NMHTTP1.Proxy = parts.Host + parts.Directory + parts.FileName;
}

void THttpEvents::ProbeWithProxyLogin(const std::string& url)
{
    NMHTTP1.Head(url);
    if (NMHTTP1.ReplyCode == 407)
    {
        NMHTTP1AuthenticationNeeded();
        NMHTTP1.Head(url);
    }
}

void THttpEvents::NMHTTP1AuthenticationNeeded()
{
    const bool proxyLogin = NMHTTP1.ReplyCode == 407;
    const std::string challenge =
        HeaderFieldValue(NMHTTP1.Header, proxyLogin ? "Proxy-Authenticate" : "WWW-Authenticate");
    std::string user;
    std::string password;
    const bool answered = LoginPrompt && LoginPrompt(proxyLogin, challenge, user, password);
    if (!answered)
    {
        if (proxyLogin)
            return;
        throw Exception("Login cancelled");
    }
    (proxyLogin ? ProxyAuthorization : SiteAuthorization) = "Basic " + EncodeBase64(user + ":" + password);
    ++LoginsStored;
}

void THttpEvents::NMHTTP1AboutToSend()
{
    if (!SiteAuthorization.empty())
        NMHTTP1.HeaderList.SetHeaderValue("Authorization", SiteAuthorization);
    if (!ProxyAuthorization.empty())
        NMHTTP1.HeaderList.SetHeaderValue("Proxy-authorization", ProxyAuthorization);
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
