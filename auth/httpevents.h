#pragma once

#include <functional>
#include <string>

#include "auth/credentials.h"
#include "platform/indicator.h"
#include "platform/loglevel.h"

class TNMHTTP;

// What the robot makes of the HTTP client's events: status texts and reply-code log lines,
// redirects followed through the redirect page, the proxy preference, and Basic logins for sites
// and proxies. Logins are asked through the prompt seam (platform/prompt.h); the credentials live
// here for the program's life, each kept for the one server or proxy it was given for.
class THttpEvents
{
  public:
    explicit THttpEvents(TNMHTTP& client);

    // Redirects followed one inside another before the handler gives up.
    static constexpr int MaxNestedRedirects = 20;

    // Supplied by the owner.
    std::function<TLogLevel()> LogLevel;
    std::function<void(const std::string& line, bool fileOnly)> WriteLog;
    std::function<void(const std::string& text)> ShowStatus;
    std::function<std::string()> ProxyPreference;
    std::function<void(TIndicator kind)> ShowIndicator;
    // A redirect is being followed to the address.
    std::function<void(const std::string& address)> Redirecting;
    // Called with true before a login question and with false once it is answered or cancelled:
    // the time the user takes is no silence of a server.
    std::function<void(bool asking)> LoginAsked;

    // Site logins by the scheme, host and port that asked; proxy logins by proxy host and port.
    TCredentials SiteAuthorization;
    TCredentials ProxyAuthorization;
    // Counts every login that stored a credential, so a caller can tell whether a request
    // led to one.
    int LoginsStored = 0;

    // The address the last redirect was followed to, and why following one failed (empty when
    // it did not). The caller clears both before a request to learn how that request ended.
    std::string RedirectedTo;
    std::string RedirectFailure;

    void NMHTTP1Status(const std::string& status);
    // An answer's header has been read: at the level of HTTP codes its code is logged, once.
    void NMHTTP1ResponseHeader();
    // Follows a redirect with a nested GET of its Location, or of the first link of the redirect
    // page when the answer names none; always takes the redirect over from the client.
    void NMHTTP1Redirect(bool& handled);
    void ApplyProxySetting();
    // HEAD of the address; on 407 asks for a proxy login and sends the HEAD again.
    void ProbeWithProxyLogin(const std::string& url);
    // A proxy login on 407, else a site login, which raises "Login cancelled" unless answered.
    void NMHTTP1AuthenticationNeeded();
    void NMHTTP1AboutToSend();

  private:
    // The proxy the client goes through, as logins are kept for it: "host:port".
    std::string ProxyPlace() const;
    // The address of the request being redirected, with scheme and host.
    std::string RedirectedAddress() const;
    void RedirectFailed(const std::string& message);

    TNMHTTP& NMHTTP1;
    int redirectDepth = 0;
    // A HEAD probe is under way: its redirect has no page to follow.
    bool probing = false;
};

// The value of a header field in a response header text: found anywhere, the colon skipped,
// trimmed, and cut at the first line end. Empty when the field is absent.
std::string HeaderFieldValue(const std::string& header, const std::string& fieldName);
