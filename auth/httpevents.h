#pragma once

#include <functional>
#include <string>

class TNMHTTP;

// What a login asks of the user: a proxy or a site login with the server's challenge text.
// The answer fills user and password and returns true for OK; false means cancelled.
using TLoginPrompt = std::function<bool(bool proxyLogin, const std::string& challenge, std::string& user,
                                        std::string& password)>;

// The main window's side of the HTTP client: status texts and reply-code log lines, the proxy
// preference, and Basic logins for sites and proxies. The window hands in what it owns
// through the callbacks; the credentials live here for the program's life.
class THttpEvents
{
  public:
    explicit THttpEvents(TNMHTTP& client);

    // Supplied by the owner.
    std::function<int()> LogLevel;
    std::function<void(const std::string& line, bool fileOnly)> WriteLog;
    std::function<void(const std::string& text)> ShowStatus;
    std::function<std::string()> ProxyPreference;
    std::function<void(int kind)> ShowIndicator;
    TLoginPrompt LoginPrompt;

    // Basic credentials sent with every later request; empty until a login succeeds.
    std::string SiteAuthorization;
    std::string ProxyAuthorization;
    // Counts every login that stored a credential, so a caller can tell whether a request
    // led to one.
    int LoginsStored = 0;

    void NMHTTP1Status(const std::string& status);
    void ApplyProxySetting();
    // HEAD of the address; on 407 asks for a proxy login and sends the HEAD again.
    void ProbeWithProxyLogin(const std::string& url);
    // A proxy login on 407, else a site login, which raises "Login cancelled" unless answered.
    void NMHTTP1AuthenticationNeeded();
    void NMHTTP1AboutToSend();

  private:
    TNMHTTP& NMHTTP1;
};

// The value of a header field in a response header text: found anywhere, the colon skipped,
// trimmed, and cut at the first line end. Empty when the field is absent.
std::string HeaderFieldValue(const std::string& header, const std::string& fieldName);
