#include <gtest/gtest.h>

#include "auth/httpevents.h"
#include "net/nmhttp.h"
#include "peers.h"
#include "platform/exception.h"
#include "platform/prompt.h"
#include "tempdir.h"

namespace
{
struct Login
{
    bool proxy = false;
    std::string challenge;
};

// The events of one client, with the owner's side recorded.
struct Events
{
    TempDir dir;
    TNMHTTP client;
    THttpEvents events{client};
    int logLevel = 3;
    std::string proxyPreference;
    std::vector<std::string> log;
    std::vector<std::string> status;
    std::vector<int> indicators;
    std::vector<Login> logins;
    std::string user;
    std::string password;
    bool answer = true;

    Events()
    {
        client.InputFileMode = true;
        client.Body = dir.Path() + "body";
        events.LogLevel = [this] { return logLevel; };
        events.WriteLog = [this](const std::string& line, bool) { log.push_back(line); };
        events.ShowStatus = [this](const std::string& text) { status.push_back(text); };
        events.ProxyPreference = [this] { return proxyPreference; };
        events.ShowIndicator = [this](int kind) { indicators.push_back(kind); };
        events.LoginPrompt = [this](bool proxy, const std::string& challenge, std::string& u, std::string& p)
        {
            logins.push_back({proxy, challenge});
            u = user;
            p = password;
            return answer;
        };
        client.OnStatus = [this](QObject*, const std::string& text) { events.NMHTTP1Status(text); };
        client.OnAuthenticationNeeded = [this](QObject*) { events.NMHTTP1AuthenticationNeeded(); };
        client.OnAboutToSend = [this](QObject*) { events.NMHTTP1AboutToSend(); };
        client.ReportLevel = 8;
    }
};

std::string Nginx(const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(PeerPort("nginx")) + path;
}
} // namespace

TEST(HeaderFieldValue, FoundAnywhereTrimmedAndCutAtTheLineEnd)
{
    const std::string header =
        "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"files\"\r\nX: y\r\n";
    EXPECT_EQ(HeaderFieldValue(header, "WWW-Authenticate"), "Basic realm=\"files\"");
    EXPECT_EQ(HeaderFieldValue(header, " www-authenticate "), "Basic realm=\"files\"");
    EXPECT_EQ(HeaderFieldValue(header, "Proxy-Authenticate"), "");
    EXPECT_EQ(HeaderFieldValue("X:", "X"), "");
}

TEST(THttpEvents, ProxyPreferenceBecomesTheClientsProxy)
{
    platform::ScriptedPrompts prompts;
    Events e;
    e.proxyPreference = "proxy-host:8080";
    e.events.ApplyProxySetting();
    EXPECT_EQ(e.client.Proxy, "proxy-host");
    EXPECT_EQ(e.client.ProxyPort, 8080);
    e.proxyPreference = "proxy-host";
    e.events.ApplyProxySetting();
    EXPECT_EQ(e.client.Proxy, "proxy-host");
    EXPECT_EQ(e.client.ProxyPort, 0);
    e.proxyPreference = "";
    e.events.ApplyProxySetting();
    EXPECT_EQ(e.client.Proxy, "");
    EXPECT_TRUE(prompts.Messages.empty());

    e.proxyPreference = "proxy:abc";
    e.events.ApplyProxySetting();
    EXPECT_EQ(e.client.Proxy, "");
    EXPECT_EQ(e.client.ProxyPort, 0);
    EXPECT_EQ(prompts.Messages, std::vector<std::string>{"Unknown proxy 'proxy:abc'"});
    EXPECT_EQ(e.indicators, (std::vector<int>{3, 0}));
}

TEST(THttpEvents, ReplyCodesAreLoggedOnlyAtLevelThree)
{
    Events e;
    e.logLevel = 2;
    e.client.Get(Nginx("/files/small.txt"));
    EXPECT_FALSE(e.status.empty());
    EXPECT_TRUE(e.log.empty());
    e.logLevel = 3;
    e.client.Get(Nginx("/files/small.txt"));
    ASSERT_FALSE(e.log.empty());
    for (const std::string& line : e.log)
        EXPECT_EQ(line, "200:OK");
}

TEST(THttpEvents, SiteLoginOn401StoresACredentialThatLaterRequestsCarry)
{
    Events e;
    e.answer = false;
    try
    {
        e.client.Get(Nginx("/private/secret.txt"));
        FAIL() << "an unanswered site login must raise";
    }
    catch (const Exception& error)
    {
        EXPECT_STREQ(error.what(), "Login cancelled");
    }
    ASSERT_EQ(e.logins.size(), 1u);
    EXPECT_FALSE(e.logins[0].proxy);
    EXPECT_EQ(e.logins[0].challenge, "Basic realm=\"Kestrow tests\"");
    EXPECT_TRUE(e.events.SiteAuthorization.empty());

    e.answer = true;
    e.user = PeerValue("nginx", "user");
    e.password = PeerValue("nginx", "password");
    e.client.Get(Nginx("/private/secret.txt"));
    EXPECT_EQ(e.client.ReplyCode, 401) << "the refused request is not repeated by the client";
    EXPECT_EQ(e.events.LoginsStored, 1);
    e.client.Get(Nginx("/private/secret.txt"));
    EXPECT_EQ(e.client.ReplyCode, 200);
    EXPECT_EQ(e.dir.Read("body"), "the secret page");
}

TEST(THttpEvents, ProxyLoginOn407AndTheProbeIsSentAgain)
{
    Events e;
    e.proxyPreference = "127.0.0.1:" + std::to_string(PeerPort("tinyproxy_auth"));
    e.events.ApplyProxySetting();
    e.answer = false;
    e.events.ProbeWithProxyLogin(Nginx("/index.html"));
    EXPECT_EQ(e.client.ReplyCode, 407) << "a cancelled proxy login is silent";
    ASSERT_EQ(e.logins.size(), 1u);
    EXPECT_TRUE(e.logins[0].proxy);
    EXPECT_NE(e.logins[0].challenge.find("Basic"), std::string::npos);

    e.answer = true;
    e.user = PeerValue("tinyproxy_auth", "user");
    e.password = PeerValue("tinyproxy_auth", "password");
    e.events.ProbeWithProxyLogin(Nginx("/index.html"));
    EXPECT_EQ(e.client.ReplyCode, 200);
    EXPECT_EQ(e.events.ProxyAuthorization, "Basic " + std::string("a2VzdHJvdzpwcm94eS1wYXNz"));
    e.client.Get(Nginx("/files/small.txt"));
    EXPECT_EQ(e.client.ReplyCode, 200);
    EXPECT_EQ(e.dir.Read("body"), "first line\r\nsecond line\r\nthird line without end");
}
