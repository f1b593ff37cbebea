// The HTTP client against real servers started by the harness: nginx and tinyproxy.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "net/nmhttp.h"
#include "net/unitencrypt.h"
#include "peers.h"
#include "tempdir.h"

namespace
{
std::string NginxUrl(const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(PeerPort("nginx")) + path;
}

std::string NginxFile(const std::string& relative)
{
    std::ifstream file(PeerStateDir("nginx") + "root/" + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The client as the robot runs it: body into a file, header kept as text.
struct RobotClient
{
    TempDir dir;
    TNMHTTP http;
    int packets = 0;
    int failures = 0;
    int authentications = 0;

    RobotClient()
    {
        http.InputFileMode = true;
        http.Body = dir.Path() + "body";
        http.OnPacketRecvd = [this](QObject*) { ++packets; };
        http.OnFailure = [this](CmdType) { ++failures; };
        http.OnAuthenticationNeeded = [this](QObject*) { ++authentications; };
    }
    std::string Body() const { return dir.Read("body"); }
};
} // namespace

TEST(NMHTTPPeers, FetchesAPageAndALargeFileFromNginx)
{
    RobotClient client;
    client.http.Get(NginxUrl("/index.html"));
    EXPECT_EQ(client.http.ReplyCode, 200);
    EXPECT_EQ(client.Body(), NginxFile("index.html"));
    EXPECT_EQ(client.http.ExpectedCount, static_cast<std::int64_t>(NginxFile("index.html").size()));
    EXPECT_TRUE(client.http.Header.starts_with("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(client.http.Header.ends_with("\r\n\r\n"));

    const std::string large = NginxFile("files/large.bin");
    ASSERT_EQ(large.size(), 24u * 1024 * 1024);
    client.http.Get(NginxUrl("/files/large.bin"));
    EXPECT_EQ(client.http.ReplyCode, 200);
    EXPECT_EQ(client.http.ExpectedCount, static_cast<std::int64_t>(large.size()));
    EXPECT_EQ(client.http.ReceivedCount, static_cast<std::int64_t>(large.size()));
    EXPECT_GT(client.packets, 100);
    EXPECT_TRUE(client.Body() == large);
}

TEST(NMHTTPPeers, FollowsRedirectsOfNginx)
{
    RobotClient client;
    // 301 with an absolute Location naming host and port.
    client.http.Get(NginxUrl("/moved"));
    EXPECT_EQ(client.http.ReplyCode, 200);
    EXPECT_EQ(client.http.URL, NginxUrl("/index.html"));
    EXPECT_EQ(client.Body(), NginxFile("index.html"));

    // 302 with a relative Location.
    client.http.Get(NginxUrl("/found"));
    EXPECT_EQ(client.http.ReplyCode, 200);
    EXPECT_EQ(client.Body(), NginxFile("files/small.txt"));

    try
    {
        client.http.Get(NginxUrl("/loop"));
        ADD_FAILURE() << "an endless redirect must end";
    }
    catch (const ESockError& error)
    {
        EXPECT_EQ(error.Message(), "Too many redirects");
    }
}

TEST(NMHTTPPeers, ErrorRepliesReturnNormally)
{
    RobotClient client;
    client.http.Get(NginxUrl("/files/missing.zip"));
    EXPECT_EQ(client.http.ReplyCode, 404);
    EXPECT_EQ(client.failures, 1);
    EXPECT_NE(client.Body().find("404"), std::string::npos);
}

TEST(NMHTTPPeers, BasicAuthOfNginx)
{
    RobotClient client;
    client.http.Get(NginxUrl("/private/secret.txt"));
    EXPECT_EQ(client.http.ReplyCode, 401);
    EXPECT_EQ(client.authentications, 1);

    client.http.HeaderInfo.UserId = PeerValue("nginx", "user");
    client.http.HeaderInfo.Password = "wrong";
    client.http.Get(NginxUrl("/private/secret.txt"));
    EXPECT_EQ(client.http.ReplyCode, 401);

    client.http.HeaderInfo.Password = PeerValue("nginx", "password");
    client.http.Get(NginxUrl("/private/secret.txt"));
    EXPECT_EQ(client.http.ReplyCode, 200);
    EXPECT_EQ(client.Body(), "the secret page");
    EXPECT_EQ(client.authentications, 2);
}

TEST(NMHTTPPeers, PathLongerThan256CharactersReachesItsFile)
{
    const std::string path =
        "files/" + std::string(100, 'd') + "/" + std::string(100, 'e') + "/" + std::string(100, 'f') + ".txt";
    RobotClient client;
    client.http.Get(NginxUrl("/" + path));
    EXPECT_EQ(client.http.ReplyCode, 200);
    EXPECT_EQ(client.Body(), "found by its whole path");
}

TEST(NMHTTPPeers, GoesThroughTinyproxy)
{
    RobotClient client;
    client.http.Proxy = "127.0.0.1";
    client.http.ProxyPort = PeerPort("tinyproxy");
    client.http.Get(NginxUrl("/files/small.txt"));
    EXPECT_EQ(client.http.ReplyCode, 200);
    EXPECT_EQ(client.Body(), NginxFile("files/small.txt"));
    EXPECT_NE(client.http.Header.find("tinyproxy"), std::string::npos) << client.http.Header;

    // The proxy relays redirects as well.
    client.http.Get(NginxUrl("/found"));
    EXPECT_EQ(client.http.ReplyCode, 200);
    EXPECT_EQ(client.Body(), NginxFile("files/small.txt"));
}

TEST(NMHTTPPeers, ProxyLoginAnswers407UntilGiven)
{
    RobotClient client;
    client.http.Proxy = "127.0.0.1";
    client.http.ProxyPort = PeerPort("tinyproxy_auth");
    client.http.Get(NginxUrl("/files/small.txt"));
    EXPECT_EQ(client.http.ReplyCode, 407);
    EXPECT_EQ(client.authentications, 0);

    // The robot adds the proxy login before each request, as here.
    const std::string login =
        PeerValue("tinyproxy_auth", "user") + ":" + PeerValue("tinyproxy_auth", "password");
    client.http.OnAboutToSend = [&](QObject*)
    { client.http.HeaderList.SetHeaderValue("Proxy-Authorization", "Basic " + EncodeBase64(login)); };
    client.http.Get(NginxUrl("/files/small.txt"));
    EXPECT_EQ(client.http.ReplyCode, 200);
    EXPECT_EQ(client.Body(), NginxFile("files/small.txt"));
}
