// Runs against servers users meet besides nginx: Apache httpd, squid, vsftpd and pyftpdlib.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <QCryptographicHash>

#include "nginxsite.h"
#include "peers.h"
#include "platform/prompt.h"
#include "robot/downloadrun.h"
#include "scriptedserver.h"
#include "enginetest.h"

namespace
{
constexpr auto npos = std::string::npos;

std::string ReadAll(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The lines of a server's log that hold part.
std::vector<std::string> LogLinesWith(const std::string& peer, const std::string& logFile,
                                      const std::string& part)
{
    std::istringstream log(ReadAll(PeerStateDir(peer) + logFile));
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);)
        if (line.find(part) != npos)
            lines.push_back(line);
    return lines;
}

std::vector<std::string> FilesIn(const std::string& directory)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory))
        if (entry.is_regular_file())
            names.push_back(std::filesystem::relative(entry.path(), directory).string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every link of a page is taken; time-outs are five seconds at the tests' scale, far beyond any
// answer of a server here, so a wait for something that never comes fails the transfer.
class PeerRun : public EngineTest
{
  protected:
    PeerRun()
    {
        preferences.Filter.clear();
        preferences.Mode = TFilterMode::Contains;
        preferences.TimeOutSeconds = 500;
    }
    void Go() { EngineTest::Go(false, 30000); }
};
} // namespace

TEST_F(PeerRun, ApacheFoldersAndRedirectsLeadToThePageAskedForAndNeverThroughAProxy)
{
    NginxSite apache("robot-apache", CurrentTestName(), "apache");
    apache.Write("index.html", "<a href=a.zip>");
    apache.Write("a.zip", "A");
    apache.Write("second.html", "<a href=b.zip>");
    apache.Write("b.zip", "B");
    apache.Write("third.html", "<a href=c.zip>");
    apache.Write("c.zip", "C");
    // Behind a login, which the entry brings along.
    NginxSite private_("private", CurrentTestName(), "apache");
    private_.Write("index.html", "<a href=e.zip>");
    private_.Write("e.zip", "E");
    NginxSite nginx("robot-apache", CurrentTestName());
    nginx.Write("list.html", "<a href=d.zip>");
    nginx.Write("d.zip", "D");
    const std::string port = PeerValue("apache", "port");
    const std::string server = "http://127.0.0.1:" + port;
    const std::string area = "/robot-apache/" + CurrentTestName();
    run.URLList.SetItems({
        // Apache builds its Location from the Host header: the folder's "/" added...
        server + area + "->" + Out() + "folder/",
        // ...a 302 whose page opens with a stylesheet and links elsewhere...
        server + "/redirect" + area + "/second.html->" + Out() + "second/",
        // ...and a 301 whose page links to the new address, port and all.
        server + "/moved" + area + "/third.html->" + Out() + "third/",
        // Another server afterwards is asked directly.
        nginx.url + "list.html->" + Out() + "nginx/",
        "http://" + PeerValue("apache", "user") + ":" + PeerValue("apache", "password") +
            "@127.0.0.1:" + port + "/private/" + CurrentTestName() + "->" + Out() + "private/",
    });
    Go();

    EXPECT_EQ(run.ErrorCount(), 0) << ::testing::PrintToString(observer.Lines);
    EXPECT_EQ(home.Read("out/folder/a.zip"), "A");
    EXPECT_EQ(home.Read("out/second/b.zip"), "B");
    EXPECT_EQ(home.Read("out/third/c.zip"), "C");
    EXPECT_EQ(home.Read("out/nginx/d.zip"), "D");
    EXPECT_EQ(home.Read("out/private/e.zip"), "E");
    EXPECT_TRUE(prompts.LoginQuestions.empty());
    const std::vector<std::string> heard = LogLinesWith("apache", "access.log", area);
    EXPECT_GE(heard.size(), 9u);
    for (const std::string& line : heard)
    {
        EXPECT_NE(line.find("host=127.0.0.1:" + port), npos) << line;
        EXPECT_EQ(line.find("\"GET http"), npos) << "no request in proxy form: " << line;
    }
    EXPECT_TRUE(LogLinesWith("apache", "access.log", "site.css").empty());
    EXPECT_TRUE(LogLinesWith("apache", "access.log", "elsewhere.html").empty());
}

TEST_F(PeerRun, APageAndItsTwentyFilesComeOverOneConnection)
{
    struct Case
    {
        std::string server;
        std::string proxy;
        // The peer whose log names the requests, and what a line of it holds of the address.
        std::string logger;
        // Transfers at once: each keeps a connection of its own.
        int simultaneous;
    };
    for (const Case& c : {Case{"nginx", "", "nginx", 1}, Case{"apache", "", "apache", 1},
                          Case{"apache", "squid", "squid", 1}, Case{"nginx", "", "nginx", 5}})
    {
        SCOPED_TRACE(c.server + " " + c.proxy + " " + std::to_string(c.simultaneous));
        const std::string name = CurrentTestName() + c.server + c.proxy + std::to_string(c.simultaneous);
        NginxSite site("robot-kept", name, c.server);
        std::string page;
        for (int i = 0; i < 20; ++i)
        {
            const std::string name = "f" + std::to_string(i) + ".zip";
            page += "<a href=" + name + ">";
            site.Write(name, std::string(1000 + i, 'k'));
        }
        site.Write("list.html", page);
        preferences.Pause = 0;
        preferences.Simultaneous = c.simultaneous;
        preferences.Proxy = c.proxy.empty() ? "" : "127.0.0.1:" + PeerValue(c.proxy, "port");
        observer = RecordingObserver();
        run.URLList.SetItems({site.url + "list.html->" + Out() + name + "/"});
        Go();

        EXPECT_EQ(run.ErrorCount(), 0) << ::testing::PrintToString(observer.Lines);
        EXPECT_EQ(run.FilesDone(), 20u);
        EXPECT_EQ(home.Read("out/" + name + "/f19.zip"), std::string(1019, 'k'));
        EXPECT_EQ(run.MostInFlight(), c.simultaneous);
        // squid writes its line once its side of the transaction has ended too.
        // The page, through a proxy its probe, the files.
        const size_t expected = c.proxy.empty() ? 21 : 22;
        std::vector<std::string> heard;
        WaitUntil(
            [&]
            {
                heard = LogLinesWith(c.logger, "access.log", "/robot-kept/" + name + "/");
                return heard.size() >= expected;
            });
        ASSERT_EQ(heard.size(), expected) << ::testing::PrintToString(heard);
        std::set<std::string> ports;
        for (const std::string& line : heard)
            ports.insert(line.substr(line.rfind("port=")));
        EXPECT_EQ(ports.size(), static_cast<std::size_t>(c.simultaneous)) << ::testing::PrintToString(heard);
    }
}

TEST_F(PeerRun, ThroughSquidPagesAndFilesComeLikeThroughAnyProxyAndItsLoginIsAskedOnce)
{
    NginxSite site("robot-squid", CurrentTestName(), "apache");
    site.Write("list.html", "<a href=a.zip><a href=sub/b.zip>");
    site.Write("a.zip", "A");
    site.Write("sub/b.zip", "B");
    for (const std::string peer : {"squid", "squid_auth"})
    {
        SCOPED_TRACE(peer);
        const bool login = peer == "squid_auth";
        preferences.Proxy = "127.0.0.1:" + PeerValue(peer, "port");
        prompts.LoginQuestions.clear();
        if (login)
            prompts.LoginAnswers = {
                platform::LoginAnswer{PeerValue(peer, "user"), PeerValue(peer, "password")}};
        observer = RecordingObserver();
        run.URLList.SetItems({site.url + "list.html->" + Out() + peer + "/"});
        Go();

        EXPECT_EQ(run.ErrorCount(), 0) << ::testing::PrintToString(observer.Lines);
        EXPECT_EQ(home.Read("out/" + peer + "/a.zip"), "A");
        EXPECT_EQ(home.Read("out/" + peer + "/sub/b.zip"), "B");
        // squid writes its line once its side of the transaction has ended too.
        std::vector<std::string> heard;
        WaitUntil(
            [&]
            {
                heard = LogLinesWith(peer, "access.log", " GET " + site.url + "sub/b.zip");
                return !heard.empty();
            });
        ASSERT_EQ(heard.size(), 1u);
        EXPECT_NE(heard[0].find(login ? " kestrow " : " - "), npos) << heard[0];
        ASSERT_EQ(prompts.LoginQuestions.size(), login ? 1u : 0u);
        if (login)
        {
            EXPECT_EQ(prompts.LoginQuestions[0].Caption, "Proxy server login");
            EXPECT_EQ(prompts.LoginQuestions[0].Server, preferences.Proxy);
        }
    }
}

TEST_F(PeerRun, FtpFoldersAreListedAndEveryFileIsFetchedByTheNameTheServerGivesIt)
{
    // vsftpd lists with NLST, pyftpdlib with MLSD, which tells folders from files.
    for (const std::string peer : {"vsftpd", "ftp"})
    {
        SCOPED_TRACE(peer);
        NginxSite folder("robot-ftp", CurrentTestName(), peer);
        folder.Write("a.zip", "A");
        folder.Write("with space.zip", "S");
        folder.Write("LICENSE", "L");
        folder.Write("100%.txt", "P");
        // A file is kept as it came, whatever its title; only a web server answers with an error
        // page in a file's place. Its images are no files of the folder.
        const std::string errorPage = "<html><head><title>Error 404</title></head><img src=pic.gif></html>";
        folder.Write("error.html", errorPage);
        if (peer == "ftp")
            folder.Write("sub/inner.zip", "I");
        const std::string server = "ftp://127.0.0.1:" + PeerValue(peer, "port");
        const std::string address = server + "/robot-ftp/" + CurrentTestName();
        // A web page's links to files of the same folder.
        NginxSite web("robot-ftp", CurrentTestName() + "-" + peer);
        web.Write("list.html",
                  "<a href=" + address + "/LICENSE><a href=\"" + address + "/with%20space.zip\">");
        run.URLList.SetItems({address + "->" + Out() + peer + "/", web.url + "list.html->" + Out() + "web/"});
        preferences.ImagesOn = true;
        Go();
        preferences.ImagesOn = false;

        EXPECT_EQ(run.ErrorCount(), 0) << ::testing::PrintToString(observer.Lines);
        const std::string page =
            "ftp---127.0.0.1-" + PeerValue(peer, "port") + "-robot-ftp-" + CurrentTestName();
        EXPECT_EQ(FilesIn(Out() + peer), (std::vector<std::string>{"100%.txt", "LICENSE", "a.zip",
                                                                   "error.html", page, "with space.zip"}));
        EXPECT_EQ(home.Read("out/" + peer + "/error.html"), errorPage);
        EXPECT_FALSE(observer.Logged("ERROR 404"));
        EXPECT_EQ(home.Read("out/" + peer + "/with space.zip"), "S");
        EXPECT_EQ(home.Read("out/" + peer + "/100%.txt"), "P");
        EXPECT_EQ(home.Read("out/web/robot-ftp/" + CurrentTestName() + "/LICENSE"), "L");
        EXPECT_EQ(home.Read("out/web/robot-ftp/" + CurrentTestName() + "/with space.zip"), "S");
        std::filesystem::remove_all(Out());

        // The preview lists the same links.
        run.PreviewEntry(address + "/->" + Out());
        std::vector<std::string> previewed = run.FileList.Items();
        std::sort(previewed.begin(), previewed.end());
        EXPECT_EQ(previewed,
                  (std::vector<std::string>{"100%.txt", "LICENSE", "a.zip", "error.html", "with space.zip"}));
    }
}

TEST_F(PeerRun, AnFtpFolderAndItsFilesComeOverOneLogin)
{
    NginxSite folder("robot-ftp", CurrentTestName(), "vsftpd");
    for (int i = 0; i < 10; ++i)
        folder.Write("f" + std::to_string(i) + ".zip", std::string(i + 1, 'f'));
    NginxSite other("robot-ftp", CurrentTestName() + "-other", "vsftpd");
    other.Write("g.zip", "G");
    const std::string server =
        "ftp://127.0.0.1:" + PeerValue("vsftpd", "port") + "/robot-ftp/" + CurrentTestName();
    const std::size_t logBefore = ReadAll(PeerStateDir("vsftpd") + "vsftpd.log").size();
    preferences.Pause = 0;
    preferences.Simultaneous = 1;
    // The folder's listing and its files, then a file of another folder of the same server.
    NginxSite web("robot-ftp", CurrentTestName() + "-web");
    web.Write("list.html", "<a href=" + server + "-other/g.zip>");
    run.URLList.SetItems({server + "->" + Out(), web.url + "list.html->" + Out() + "web/"});
    Go();

    EXPECT_EQ(run.ErrorCount(), 0) << ::testing::PrintToString(observer.Lines);
    EXPECT_EQ(home.Read("out/f9.zip"), std::string(10, 'f'));
    EXPECT_EQ(home.Read("out/web/robot-ftp/" + CurrentTestName() + "-other/g.zip"), "G");
    // vsftpd logs the commands of a logged-in session under the pid of its process: every
    // folder of this test was entered by one session, which sent everything else too.
    std::istringstream log(ReadAll(PeerStateDir("vsftpd") + "vsftpd.log").substr(logBefore));
    std::vector<std::string> lines;
    std::set<std::string> sessions;
    for (std::string line; std::getline(log, line);)
    {
        lines.push_back(line);
        if (line.find("\"CWD /robot-ftp/" + CurrentTestName()) != npos)
            sessions.insert(
                line.substr(line.find("[pid "), line.find(']', line.find("[pid ")) - line.find("[pid ")));
    }
    ASSERT_EQ(sessions.size(), 1u);
    const auto count = [&](const std::string& command)
    {
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& line)
                             {
                                 return line.find(*sessions.begin() + "]") != npos &&
                                        line.find("FTP command") != npos && line.find("\"" + command) != npos;
                             });
    };
    EXPECT_EQ(count("TYPE I"), 1);
    EXPECT_EQ(count("CWD "), 2) << "once for the folder, once for the other";
    EXPECT_EQ(count("RETR "), 11);
    EXPECT_EQ(count("QUIT"), 1);
}

TEST_F(PeerRun, PassiveFtpFromVsftpdAndAPageAndFilesOverIPv6)
{
    const bool ipv6 = PeerValue("nginx", "url6") != "none";
    const std::string name = CurrentTestName();
    NginxSite vsftpd("robot-ftp", name, "vsftpd");
    vsftpd.Write("v.zip", "V");
    NginxSite pyftpdlib("robot-ftp", name, "ftp");
    pyftpdlib.Write("p.zip", "P");
    std::string links =
        "<a href=ftp://127.0.0.1:" + PeerValue("vsftpd", "port") + "/robot-ftp/" + name + "/v.zip>";
    if (ipv6)
        links += "<a href=ftp://[::1]:" + PeerValue("ftp", "port6") + "/robot-ftp/" + name + "/p.zip>";
    NginxSite web("robot-ftp", name);
    web.Write("list.html", links);
    const std::string page =
        (ipv6 ? PeerValue("nginx", "url6") + "/robot-ftp/" + name + "/" : web.url) + "list.html";
    preferences.Passive = true;
    run.URLList.SetItems({page + "->" + Out()});
    Go();

    EXPECT_EQ(run.ErrorCount(), 0) << ::testing::PrintToString(observer.Lines);
    EXPECT_EQ(home.Read("out/robot-ftp/" + name + "/v.zip"), "V");
    EXPECT_FALSE(LogLinesWith("vsftpd", "vsftpd.log", "\"EPSV\"").empty());
    if (!ipv6)
        GTEST_SKIP() << "this machine has no IPv6 loopback (::1): only passive FTP over IPv4 was tried";
    EXPECT_EQ(home.Read("out/robot-ftp/" + name + "/p.zip"), "P");
}

TEST_F(PeerRun, AnFtpFoldersChecksumListsCheckItsFilesAsTheyComeOverTheDataConnection)
{
    const auto sum = [](const std::string& bytes, QCryptographicHash::Algorithm algorithm)
    { return QCryptographicHash::hash(QByteArray::fromStdString(bytes), algorithm).toHex().toStdString(); };
    NginxSite folder("robot-ftp", CurrentTestName(), "ftp");
    folder.Write("a.zip", "AAAA");
    folder.Write("b.zip", "NOT WHAT WAS PUBLISHED");
    folder.Write("c.zip", "CCCC");
    folder.Write("SHA256SUMS", sum("AAAA", QCryptographicHash::Sha256) + "  a.zip\n" +
                                   sum("PUBLISHED", QCryptographicHash::Sha256) + "  b.zip\n");
    folder.Write("c.zip.md5", "MD5 (c.zip) = " + sum("CCCC", QCryptographicHash::Md5) + "\n");
    const std::string address =
        "ftp://127.0.0.1:" + PeerValue("ftp", "port") + "/robot-ftp/" + CurrentTestName();
    run.URLList.SetItems({address + "->" + Out()});
    home.Write("out/b.zip", "OLDER");
    preferences.Filter = ".zip";
    preferences.Mode = TFilterMode::EndsWith;
    preferences.OverwriteOn = true;
    preferences.RetryLimit = 1;
    prompts.Answers = {false};
    Go();

    EXPECT_EQ(run.ErrorCount(), 1) << ::testing::PrintToString(observer.Lines);
    EXPECT_EQ(observer.LinesWith("(Checksum mismatch: expected " +
                                 sum("PUBLISHED", QCryptographicHash::Sha256) + " got " +
                                 sum("NOT WHAT WAS PUBLISHED", QCryptographicHash::Sha256) + ")"),
              1);
    EXPECT_EQ(observer.LinesWith("SHA256 checksum matches"), 1);
    EXPECT_EQ(observer.LinesWith("MD5 checksum matches"), 1);
    EXPECT_EQ(home.Read("out/a.zip"), "AAAA");
    EXPECT_EQ(home.Read("out/b.zip"), "OLDER");
    EXPECT_EQ(home.Read("out/c.zip"), "CCCC");
    EXPECT_FALSE(home.Exists("out/SHA256SUMS"));
    EXPECT_FALSE(home.Exists("out/c.zip.md5"));
}
