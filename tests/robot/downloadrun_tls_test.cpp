// Runs over https:// pages and files of the nginx_tls peer, directly and through tinyproxy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <QTimer>

#include "net/nmhttp.h"
#include "nginxsite.h"
#include "peers.h"
#include "platform/pause.h"
#include "platform/prompt.h"
#include "robot/downloadrun.h"
#include "robot/runobserver.h"
#include "robot/runpreferences.h"
#include "robot/watchdog.h"
#include "enginetest.h"
#include "tempdir.h"

namespace
{
// The engine with the test authority trusted the way --ca-file does it; pauses take no time and
// time-outs a hundredth of theirs.
class HttpsRun : public EngineTest
{
  protected:
    HttpsRun()
        : site("robot-https", CurrentTestName(), "nginx_tls"),
          area("/robot-https/" + CurrentTestName() + "/"), port(PeerValue("nginx_tls", "port"))
    {
        preferences.Filter.clear();
        preferences.Mode = TFilterMode::Contains;
        run.Trust().AddAuthorityFile(PeerStateDir("nginx_tls") + "ca.pem");
    }
    void Go() { EngineTest::Go(false, 20000); }
    std::string Https(const std::string& portName, const std::string& path,
                      const std::string& host = "127.0.0.1")
    {
        return "https://" + host + ":" + PeerValue("nginx_tls", portName) + area + path;
    }

    NginxSite site;
    std::string area; // the site's path on the server
    std::string port;
};
} // namespace

TEST_F(HttpsRun, PagesAndFilesAreFetchedAndNamedLikeHttpOnesAndRedirectsCrossBetweenTheSchemes)
{
    site.Write("list.html", "<a href=files/a.zip><a href=HTTPS://127.0.0.1:" + port + area +
                                "c.zip><a href=/to-http" + area + "d.zip>");
    site.Write("moved.html", "<a href=e.zip>");
    for (const char* name : {"files/a.zip", "c.zip", "d.zip", "e.zip"})
        site.Write(name, std::string("content of ") + name);
    const std::string moved = "http://127.0.0.1:" + PeerValue("nginx_tls", "http_port") + "/to-https" + area;
    run.URLList.SetItems({site.url + "list.html->" + Out(), moved + "moved.html->" + Out() + "moved/"});
    Go();

    EXPECT_EQ(run.ErrorCount(), 0) << ::testing::PrintToString(observer.Lines);
    const std::string flat = "robot-https-" + CurrentTestName() + "-";
    EXPECT_TRUE(home.Exists("out/https---127.0.0.1-" + port + "-" + flat + "list.html"));
    EXPECT_EQ(home.Read("out/files/a.zip"), "content of files/a.zip");
    EXPECT_EQ(home.Read("out/HTTPS---127.0.0.1-" + port + "-" + flat + "c.zip"), "content of c.zip");
    // Over https to a redirect back to http, followed by the redirect handler.
    EXPECT_EQ(home.Read("out/to-http" + area + "d.zip"), "content of d.zip");
    // A page moved from http to https: its links are relative to where it ended.
    EXPECT_TRUE(observer.Showed(site.url + "e.zip"));
    EXPECT_EQ(home.Read("out/moved/e.zip"), "content of e.zip");
}

TEST_F(HttpsRun, ServersThatCannotBeTrustedFailTheirPageOrFileWithTheReason)
{
    site.Write("list.html", "<a href=" + Https("expired_port", "a.zip") + "><a href=b.zip>");
    site.Write("a.zip", "A");
    site.Write("b.zip", "B");
    run.URLList.SetItems({site.url + "list.html->" + Out(),
                          Https("untrusted_port", "list.html") + "->" + Out() + "u/",
                          Https("port", "list.html", "localhost") + "->" + Out() + "l/"});
    Go();

    EXPECT_EQ(run.ErrorCount(), 3);
    EXPECT_EQ(observer.LinesWith("(TLS handshake failed: The certificate has expired)"), 1);
    EXPECT_EQ(home.Read("out/b.zip"), "B");
    for (const std::string& page :
         {Https("untrusted_port", "list.html"), Https("port", "list.html", "localhost")})
        EXPECT_EQ(observer.LinesWith("Failed to download page " + page + " (TLS handshake failed: "), 1)
            << page;
    EXPECT_TRUE(std::filesystem::is_empty(Out() + "u")) << "the page is not kept";
    EXPECT_TRUE(std::filesystem::is_empty(Out() + "l"));
}

TEST_F(HttpsRun, StopAndTheWatchdogEndAStalledTlsTransfer)
{
    // The first 64 KiB of the file come at once, the rest at a byte a second.
    site.Write("list.html", "<a href=/slow/stall.bin>");
    run.URLList.SetItems({site.url + "list.html->" + Out()});
    preferences.TimeOutSeconds = 50;
    Go();
    EXPECT_TRUE(run.WatchdogFired());
    EXPECT_EQ(run.ErrorCount(), 1);
    EXPECT_FALSE(home.Exists("out/slow/stall.bin"));

    // Stop is no failure.
    preferences.TimeOutSeconds = 999;
    preferences.RetryLimit = 3;
    bool stopped = false;
    observer.OnFileProgress = [&](std::int64_t received, std::int64_t expected)
    {
        if (stopped || received == 0 || received >= expected)
            return;
        stopped = true;
        QTimer::singleShot(0, [&] { run.RequestStop(); });
    };
    Go();
    EXPECT_TRUE(stopped);
    EXPECT_EQ(observer.Status.back(), "Cancelled.");
    EXPECT_EQ(run.ErrorCount(), 0);
    EXPECT_FALSE(home.Exists("out/slow/stall.bin"));
}

TEST_F(HttpsRun, ThroughAProxyTheTunnelAsksTheProxyLoginOnce)
{
    site.Write("list.html", "<a href=a.zip>");
    site.Write("a.zip", "A");
    preferences.Proxy = "127.0.0.1:" + PeerValue("tinyproxy_auth", "port");
    prompts.LoginAnswers = {
        platform::LoginAnswer{PeerValue("tinyproxy_auth", "user"), PeerValue("tinyproxy_auth", "password")}};
    run.URLList.SetItems({site.url + "list.html->" + Out()});
    Go();

    EXPECT_EQ(run.ErrorCount(), 0) << ::testing::PrintToString(observer.Lines);
    EXPECT_EQ(home.Read("out/a.zip"), "A");
    ASSERT_EQ(prompts.LoginQuestions.size(), 1u);
    EXPECT_EQ(prompts.LoginQuestions[0].Caption, "Proxy server login");
    EXPECT_EQ(prompts.LoginQuestions[0].Server, preferences.Proxy);
}
