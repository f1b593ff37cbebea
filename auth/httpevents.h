#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>

#include "auth/credentials.h"
#include "net/httpanswer.h"
#include "platform/indicator.h"
#include "platform/loglevel.h"
#include "platform/signal.h"
#include "platform/task.h"

class TNMHTTP;

// The logins given for the program's life, shared by every transfer: site logins by the scheme,
// host and port that asked, proxy logins by proxy host and port.
struct TLogins
{
    TCredentials SiteAuthorization;
    TCredentials ProxyAuthorization;
    // Counts every login that stored a credential, so a caller can tell whether a request led
    // to one.
    int Stored = 0;
    // The places a login question is open for; Answered tells when one closes.
    std::set<std::string> Asking;
    platform::TSignal Answered;
};

// What the robot makes of the HTTP client's events: status texts and reply-code log lines, where
// a redirect leads (the transfer unit follows it), the proxy preference, and Basic logins for
// sites and proxies. Logins are asked through the prompt seam (platform/prompt.h); the credentials live
// here for the program's life, each kept for the one server or proxy it was given for.
class THttpEvents
{
  public:
    explicit THttpEvents(TNMHTTP& client);

    // Supplied by the owner.
    std::function<TLogLevel()> LogLevel;
    std::function<void(const std::string& line, bool fileOnly)> WriteLog;
    std::function<void(const std::string& text)> ShowStatus;
    std::function<std::string()> ProxyPreference;
    std::function<void(TIndicator kind)> ShowIndicator;
    // Called with true before a login question and with false once it is answered or cancelled:
    // the time the user takes is no silence of a server.
    std::function<void(bool asking)> LoginAsked;

    // Several clients share one store of logins, so that a login given for one transfer serves
    // the others.
    std::shared_ptr<TLogins> Logins = std::make_shared<TLogins>();

    void NMHTTP1Status(const std::string& status);
    // An answer's header has been read: at the level of HTTP codes its code is logged, once.
    void NMHTTP1ResponseHeader(const THttpAnswer& answer);
    // Where the redirect just answered leads: its Location, or the first link of the redirect
    // page when the answer names none, as an address with scheme and host; empty when neither
    // names one. A port in either is the new server's: a proxy is never taken from an answer.
    std::string RedirectTarget(const THttpAnswer& answer) const;
    // Logs that following a redirect failed, and why.
    void RedirectFailed(const std::string& message);
    void ApplyProxySetting();
    // HEAD of the address; on 407 asks for a proxy login and sends the HEAD again. The last
    // answer comes back.
    TTask<THttpAnswer> ProbeWithProxyLoginAsync(std::string url);
    // A proxy login on a 407 refusal, else a site login, which raises "Login cancelled" unless
    // answered.
    void NMHTTP1AuthenticationNeeded(const THttpAnswer& refusal);
    // The place a refusal asks a login for: the proxy's, or the site's origin.
    std::string LoginPlace(const THttpAnswer& refusal) const;
    void NMHTTP1AboutToSend();

  private:
    // The proxy the client goes through, as logins are kept for it: "host:port".
    std::string ProxyPlace() const;

    TNMHTTP& NMHTTP1;
};

// The value of a header field in a response header text: found anywhere, the colon skipped,
// trimmed, and cut at the first line end. Empty when the field is absent.
std::string HeaderFieldValue(const std::string& header, const std::string& fieldName);
