#include <gtest/gtest.h>

#include "auth/httpevents.h"
#include "net/httpparse.h"
#include "net/nmhttp.h"
#include "messageof.h"
#include "net/unitencrypt.h"
#include "peers.h"
#include "platform/exception.h"
#include "platform/prompt.h"
#include "platform/username.h"
#include "scriptedserver.h"
#include "tempdir.h"

namespace
{
using Script = ScriptedServer::Script;
constexpr auto npos = std::string::npos;

// The events of one client, with the owner's side recorded and logins answered by script.
struct Events
{
    TempDir dir;
    platform::ScriptedPrompts prompts;
    TNMHTTP client;
    THttpEvents events{client};
    TLogLevel logLevel = TLogLevel::HttpCodes;
    std::string proxyPreference;
    std::vector<std::string> log;
    std::vector<std::string> fileOnly;
    std::vector<std::string> status;
    std::vector<TIndicator> indicators;

    Events()
    {
        client.InputFileMode = true;
        client.Body = dir.Path() + "body";
        events.LogLevel = [this] { return logLevel; };
        events.WriteLog = [this](const std::string& line, bool file)
        { (file ? fileOnly : log).push_back(line); };
        events.ShowStatus = [this](const std::string& text) { status.push_back(text); };
        events.ProxyPreference = [this] { return proxyPreference; };
        events.ShowIndicator = [this](TIndicator kind) { indicators.push_back(kind); };
        client.OnStatus = [this](QObject*, const std::string& text) { events.NMHTTP1Status(text); };
        client.OnResponseHeader = [this](const THttpAnswer& answer) { events.NMHTTP1ResponseHeader(answer); };
        client.OnAuthenticationNeeded = [this](QObject*)
        { events.NMHTTP1AuthenticationNeeded(client.Answer()); };
        client.OnAboutToSend = [this](QObject*) { events.NMHTTP1AboutToSend(); };
        client.ReportLevel = 8;
    }
    void Answer(const std::string& user, const std::string& password)
    {
        prompts.LoginAnswers.push_back(platform::LoginAnswer{user, password});
    }
    void Cancel() { prompts.LoginAnswers.push_back(std::nullopt); }
    std::string Body() const { return dir.Read("body"); }
};

Script Reply(const std::string& response)
{
    return Script().ExpectHeader().Send(response).Close();
}

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
    Events e;
    auto& prompts = e.prompts;
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
    EXPECT_EQ(e.indicators, (std::vector<TIndicator>{TIndicator::Error, TIndicator::None}));
}

TEST(THttpEvents, EachAnswersCodeIsLoggedOnceAtLevelThree)
{
    Events e;
    e.logLevel = TLogLevel::Files;
    e.client.Get(Nginx("/files/small.txt"));
    EXPECT_FALSE(e.status.empty());
    EXPECT_TRUE(e.log.empty());

    // Every answer of a redirect, as it arrives; the many status reports of a request add none.
    e.logLevel = TLogLevel::HttpCodes;
    ScriptedServer server;
    server.AddScript(Reply("HTTP/1.0 302 Found\r\nLocation: /new.html\r\n\r\n"));
    server.AddScript(Reply("HTTP/1.0 404 Not Found\r\n\r\ngone"));
    e.client.Get(server.Url("/old.html"));
    EXPECT_GT(e.status.size(), 4u);
    EXPECT_EQ(e.log, (std::vector<std::string>{"302:Moved Temporarily", "404:Not Found"}));
    // What the client says afterwards (an abort between requests, the next request's steps
    // before its answer) repeats no earlier code.
    e.client.Abort();
    e.client.Get(Nginx("/files/small.txt"));
    EXPECT_EQ(e.log, (std::vector<std::string>{"302:Moved Temporarily", "404:Not Found", "200:OK"}));
}

TEST(THttpEvents, SiteLoginsAreAskedOn401AndGoOnlyToTheServerThatAsked)
{
    Events e;
    const std::string secret = Nginx("/private/secret.txt");
    const std::string user = PeerValue("nginx", "user");
    e.Cancel();
    EXPECT_EQ(MessageOf([&] { e.client.Get(secret); }), "Login cancelled");
    ASSERT_EQ(e.prompts.LoginQuestions.size(), 1u);
    const platform::LoginQuestion asked = e.prompts.LoginQuestions[0];
    EXPECT_FALSE(asked.ProxyLogin);
    EXPECT_EQ(asked.Caption, "Web site login");
    EXPECT_EQ(asked.Challenge, "Basic realm=\"Kestrow tests\"");
    EXPECT_EQ(asked.Server, "http://127.0.0.1:" + std::to_string(PeerPort("nginx")));
    EXPECT_EQ(asked.UserName, platform::LoggedOnUserName());
    EXPECT_FALSE(asked.UserName.empty());
    EXPECT_TRUE(e.events.Logins->SiteAuthorization.Empty());

    // A wrong password counts from the next request; the login asked then replaces it.
    e.Answer(user, "wrong");
    e.client.Get(secret);
    EXPECT_EQ(e.client.ReplyCode, 401) << "the refused request is not repeated by the client";
    e.Answer(user, PeerValue("nginx", "password"));
    e.client.Get(secret);
    EXPECT_EQ(e.client.ReplyCode, 401);
    e.client.Get(secret);
    EXPECT_EQ(e.client.ReplyCode, 200);
    EXPECT_EQ(e.Body(), "the secret page");
    EXPECT_EQ(e.prompts.LoginQuestions.size(), 3u);
    EXPECT_EQ(e.events.Logins->Stored, 2);

    // Another server on the same host never hears that login; its own, with an empty password,
    // goes to it alone.
    ScriptedServer other;
    other.AddScript(Reply("HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"other\"\r\n\r\n"));
    other.AddScript(Reply("HTTP/1.0 200 OK\r\n\r\nopen"));
    e.Answer("me", "");
    e.client.Get(other.Url("/x"));
    EXPECT_EQ(other.Received(0).find("Authorization"), npos) << other.Received(0);
    EXPECT_EQ(e.prompts.LoginQuestions.back().Challenge, "Basic realm=\"other\"");
    e.client.Get(other.Url("/x"));
    EXPECT_NE(other.Received(1).find("\r\nAuthorization: Basic bWU6\r\n"), npos) << other.Received(1);
    e.client.Get(secret);
    EXPECT_EQ(e.client.ReplyCode, 200);
    EXPECT_EQ(e.prompts.LoginQuestions.size(), 4u);
}

TEST(THttpEvents, ProxyLoginOn407GoesOnlyToThatProxy)
{
    Events e;
    const std::string proxyPort = std::to_string(PeerPort("tinyproxy_auth"));
    e.proxyPreference = "127.0.0.1:" + proxyPort;
    e.events.ApplyProxySetting();
    e.Cancel();
    RunToEnd(e.events.ProbeWithProxyLoginAsync(Nginx("/index.html")));
    EXPECT_EQ(e.client.ReplyCode, 407) << "a cancelled proxy login is silent";
    ASSERT_EQ(e.prompts.LoginQuestions.size(), 1u);
    EXPECT_TRUE(e.prompts.LoginQuestions[0].ProxyLogin);
    EXPECT_EQ(e.prompts.LoginQuestions[0].Caption, "Proxy server login");
    EXPECT_EQ(e.prompts.LoginQuestions[0].Server, "127.0.0.1:" + proxyPort);
    EXPECT_NE(e.prompts.LoginQuestions[0].Challenge.find("Basic"), npos);

    e.Answer(PeerValue("tinyproxy_auth", "user"), PeerValue("tinyproxy_auth", "password"));
    RunToEnd(e.events.ProbeWithProxyLoginAsync(Nginx("/index.html")));
    EXPECT_EQ(e.client.ReplyCode, 200);
    EXPECT_EQ(e.events.Logins->ProxyAuthorization.For("127.0.0.1:" + proxyPort),
              "Basic a2VzdHJvdzpwcm94eS1wYXNz");
    e.client.Get(Nginx("/files/small.txt"));
    EXPECT_EQ(e.client.ReplyCode, 200);
    EXPECT_EQ(e.Body(), "first line\r\nsecond line\r\nthird line without end");

    ScriptedServer otherProxy;
    otherProxy.AddScript(Reply("HTTP/1.0 200 OK\r\n\r\nvia the other"));
    e.proxyPreference = "127.0.0.1:" + std::to_string(otherProxy.Port());
    e.events.ApplyProxySetting();
    e.client.Get(Nginx("/index.html"));
    EXPECT_EQ(otherProxy.Received(0).find("Proxy-authorization"), npos) << otherProxy.Received(0);
}

TEST(THttpEvents, ARedirectLeadsToItsLocationElseToTheFirstLinkOfItsPageNeverToAProxy)
{
    Events e;
    e.logLevel = TLogLevel::URLs;
    // Where a redirect leads is told; following it is the transfer unit's.
    e.client.OnRedirect = [](bool& handled) { handled = true; };
    ScriptedServer server;
    const std::string other = "127.0.0.1:" + std::to_string(server.Port() + 1);
    const std::string tls = "https://127.0.0.1:" + PeerValue("nginx_tls", "port") + "/files/small.txt";
    const struct
    {
        std::string answer;
        std::string target;
    } cases[] = {
        // The first link, relative to the page's folder, whatever follows it.
        {"HTTP/1.0 302 Found\r\n\r\n<p>Moved <a href=\"new/list.html\">here</a>, <a href=/second.html>",
         server.Url("/dir/new/list.html")},
        // A link with a port names that server.
        {"HTTP/1.0 302 Found\r\n\r\n<a href=http://" + other + "/index.html>",
         "http://" + other + "/index.html"},
        // The Location wins over the page's first link; an https one keeps its port.
        {"HTTP/1.0 301 Moved\r\nLocation: " + tls + "\r\n\r\n<a href=/elsewhere.html>here</a>", tls},
        {"HTTP/1.0 301 Moved\r\nLocation: up.html\r\n\r\n", server.Url("/dir/up.html")},
        // Neither: nowhere.
        {"HTTP/1.0 302 Found\r\n\r\nno link", ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.answer);
        server.AddScript(Reply(c.answer));
        e.client.Get(server.Url("/dir/old.html"));
        EXPECT_TRUE(httpparse::IsRedirect(e.client.ReplyCode));
        EXPECT_EQ(e.events.RedirectTarget(e.client.Answer()), c.target);
        EXPECT_TRUE(e.client.Proxy.empty());
        EXPECT_EQ(e.client.ProxyPort, 0);
    }
    // nginx's own redirect pages hold no link; their Location leads.
    e.client.Get(Nginx("/moved"));
    EXPECT_EQ(e.events.RedirectTarget(e.client.Answer()), Nginx("/index.html"));
    EXPECT_TRUE(e.log.empty());
    EXPECT_TRUE(e.fileOnly.empty());
}
