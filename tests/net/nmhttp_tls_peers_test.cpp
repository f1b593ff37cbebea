// The HTTP client over TLS against the nginx_tls peer, whose certificates come from a test
// authority made when it starts, and through tinyproxy.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include <sys/stat.h>

#include <QTimer>

#include "net/nmhttp.h"
#include "net/unitencrypt.h"
#include "messageof.h"
#include "peers.h"
#include "scriptedserver.h"
#include "silentlistener.h"
#include "tempdir.h"

namespace
{
std::string Address(const std::string& scheme, const std::string& portName, const std::string& path,
                    const std::string& host = "127.0.0.1")
{
    return scheme + "://" + host + ":" + PeerValue("nginx_tls", portName) + path;
}

std::string Https(const std::string& path)
{
    return Address("https", "port", path);
}

std::string Http(const std::string& path)
{
    return Address("http", "http_port", path);
}

std::string RootFile(const std::string& relative)
{
    std::ifstream file(PeerStateDir("nginx_tls") + "root/" + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The client as the robot runs it, trusting the test authority the way --ca-file does.
struct TlsClient
{
    TempDir dir;
    TNMHTTP http;
    int packets = 0;

    explicit TlsClient(bool trustTestAuthority = true)
    {
        http.InputFileMode = true;
        http.Body = dir.Path() + "body";
        http.OnPacketRecvd = [this](QObject*) { ++packets; };
        if (trustTestAuthority)
            http.Trust.AddAuthorityFile(PeerStateDir("nginx_tls") + "ca.pem");
    }
    std::string Body() const { return dir.Read("body"); }
};

// The message of the ESockError a request ends with; empty when it ends without one.
std::string FailureOf(TNMHTTP& http, const std::string& url, TSockReason expected)
{
    try
    {
        http.Get(url);
    }
    catch (const ESockError& error)
    {
        EXPECT_EQ(error.Reason(), expected) << error.Message();
        return error.Message();
    }
    return {};
}
} // namespace

TEST(NMHTTPTls, FetchesPagesAndFilesOverTlsAndPlainAddressesWithout)
{
    TlsClient client;
    client.http.Get(Https("/index.html"));
    EXPECT_EQ(client.http.ReplyCode, 200);
    EXPECT_TRUE(client.http.Secure());
    EXPECT_TRUE(client.http.Header.starts_with("HTTP/1.1 200 OK\r\n"));
    EXPECT_EQ(client.Body(), RootFile("index.html"));

    const std::string large = RootFile("files/large.bin");
    ASSERT_EQ(large.size(), 16u * 1024 * 1024);
    client.http.Get("HTTPS://127.0.0.1:" + PeerValue("nginx_tls", "port") + "/files/large.bin");
    EXPECT_EQ(client.http.ReplyCode, 200);
    EXPECT_EQ(client.http.ExpectedCount, static_cast<std::int64_t>(large.size()));
    EXPECT_EQ(client.http.ReceivedCount, static_cast<std::int64_t>(large.size()));
    EXPECT_GT(client.packets, 100);
    EXPECT_TRUE(client.Body() == large);

    // A path alone goes to the same server the same way.
    client.http.Get("/files/small.txt");
    EXPECT_EQ(client.http.ReplyCode, 200);
    EXPECT_EQ(client.Body(), RootFile("files/small.txt"));

    // The same client speaks plain HTTP to an http:// address, and TLS again after it.
    client.http.Get(Http("/index.html"));
    EXPECT_EQ(client.http.ReplyCode, 200);
    EXPECT_FALSE(client.http.Secure());
    EXPECT_EQ(client.Body(), RootFile("index.html"));
    client.http.Get(Https("/files/small.txt"));
    EXPECT_EQ(client.http.ReplyCode, 200);
    EXPECT_EQ(client.Body(), RootFile("files/small.txt"));
}

TEST(NMHTTPTls, RefusesCertificatesItCannotTrustUnlessAskedToAcceptAny)
{
    struct Case
    {
        std::string url;
        bool trustTestAuthority;
        std::string reason;
    };
    const Case cases[] = {
        {Https("/index.html"), false,
         "The issuer certificate of a locally looked up certificate could not be found"},
        {Address("https", "port", "/index.html", "localhost"), true,
         "The host name did not match any of the valid hosts for this certificate"},
        {Address("https", "expired_port", "/index.html"), true, "The certificate has expired"},
        {Address("https", "untrusted_port", "/index.html"), true,
         "The certificate is self-signed, and untrusted"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.url);
        TlsClient client(c.trustTestAuthority);
        const std::string message = FailureOf(client.http, c.url, TSockReason::TlsHandshakeFailed);
        EXPECT_EQ(message, "TLS handshake failed: " + c.reason);
        // Nothing was asked over plain HTTP in its place: a TLS port would have answered 400.
        EXPECT_EQ(client.http.ReplyCode, 0);
        EXPECT_FALSE(client.dir.Exists("body"));

        client.http.Trust.AcceptAnyCertificate = true;
        client.http.Get(c.url);
        EXPECT_EQ(client.http.ReplyCode, 200);
        EXPECT_EQ(client.Body(), RootFile("index.html"));
    }
    // The host name went out as the server name indication.
    EXPECT_NE(RootFile("../access.log").find("\"GET /index.html HTTP/1.1\" 200 sni=localhost reused="),
              std::string::npos);

    TNMHTTP http;
    TempDir dir;
    const auto addError = [&](const std::string& file)
    {
        try
        {
            http.Trust.AddAuthorityFile(file);
        }
        catch (const Exception& error)
        {
            return error.Message();
        }
        return std::string();
    };
    EXPECT_TRUE(addError(dir.Path() + "missing.pem").starts_with("Cannot read certificate authority file "));
    const std::string fifo = dir.Path() + "ca.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(addError(fifo), "Cannot read certificate authority file " + fifo + ": not a regular file");
    EXPECT_EQ(addError(dir.Write("text.pem", "no certificate here")),
              "No certificate in certificate authority file " + dir.Path() + "text.pem");
}

TEST(NMHTTPTls, FollowsRedirectsFromHttpToHttpsAndBack)
{
    TlsClient client;
    client.http.Get(Http("/to-https/files/small.txt"));
    EXPECT_EQ(client.http.ReplyCode, 200);
    EXPECT_EQ(client.http.URL, Https("/files/small.txt"));
    EXPECT_TRUE(client.http.Secure());
    EXPECT_EQ(client.Body(), RootFile("files/small.txt"));

    client.http.Get(Https("/to-http/index.html"));
    EXPECT_EQ(client.http.ReplyCode, 200);
    EXPECT_EQ(client.http.URL, Http("/index.html"));
    EXPECT_FALSE(client.http.Secure());
    EXPECT_EQ(client.Body(), RootFile("index.html"));
}

TEST(NMHTTPTls, GoesThroughAProxyInATunnelThatCarriesOnlyTheProxysLogin)
{
    TlsClient client;
    client.http.Proxy = "127.0.0.1";
    client.http.ProxyPort = PeerPort("tinyproxy");
    client.http.Get(Https("/files/small.txt"));
    EXPECT_EQ(client.http.ReplyCode, 200);
    EXPECT_EQ(client.Body(), RootFile("files/small.txt"));
    // Inside the tunnel the request is the one a server gets directly.
    EXPECT_EQ(client.http.HeaderList[0], "GET /files/small.txt HTTP/1.1");
    EXPECT_EQ(client.http.HeaderList.IndexOfHeader("Proxy-Connection"), -1);

    // The proxy's refusal of the tunnel is the answer, as a 407 always is.
    client.http.ProxyPort = PeerPort("tinyproxy_auth");
    client.http.Get(Https("/files/small.txt"));
    EXPECT_EQ(client.http.ReplyCode, 407);
    EXPECT_NE(client.http.Header.find("Proxy-Authenticate: Basic"), std::string::npos) << client.http.Header;
    const std::string login = "Basic " + EncodeBase64(PeerValue("tinyproxy_auth", "user") + ":" +
                                                      PeerValue("tinyproxy_auth", "password"));
    client.http.OnAboutToSend = [&](QObject*)
    { client.http.HeaderList.SetHeaderValue("Proxy-authorization", login); };
    client.http.Get(Https("/files/small.txt"));
    EXPECT_EQ(client.http.ReplyCode, 200);
    EXPECT_EQ(client.Body(), RootFile("files/small.txt"));
    EXPECT_EQ(client.http.HeaderList.IndexOfHeader("Proxy-authorization"), -1)
        << "not sent through the tunnel";

    // What the proxy is sent, byte for byte; a proxy that closes the tunnel ends the handshake.
    ScriptedServer proxy;
    proxy.AddScript(ScriptedServer::Script()
                        .ExpectHeader()
                        .Send("HTTP/1.0 407 Proxy Authentication Required\r\n"
                              "Proxy-Authenticate: Basic realm=\"p\"\r\n\r\n")
                        .Close());
    proxy.AddScript(
        ScriptedServer::Script().ExpectHeader().Send("HTTP/1.0 200 Connection established\r\n\r\n").Close());
    client.http.ProxyPort = proxy.Port();
    client.http.Get("https://files.example.test:8443/a.zip");
    EXPECT_EQ(client.http.ReplyCode, 407);
    EXPECT_EQ(proxy.Received(0), "CONNECT files.example.test:8443 HTTP/1.0\r\n"
                                 "Host: files.example.test:8443\r\n"
                                 "Proxy-authorization: " +
                                     login + "\r\n\r\n");
    const std::string message =
        FailureOf(client.http, "https://files.example.test/a.zip", TSockReason::TlsHandshakeFailed);
    EXPECT_TRUE(message.starts_with("TLS handshake failed: ")) << message;
    EXPECT_TRUE(proxy.Received(1).starts_with("CONNECT files.example.test:443 HTTP/1.0\r\n"));

    // A host that would add a line of its own to the CONNECT is not sent: the address is refused
    // before anything goes out.
    EXPECT_EQ(MessageOf([&] { client.http.Get("https://h\r\nX-Injected=1/a.zip"); }), "Invalid URL");
    EXPECT_EQ(proxy.Received(2), "");
}

TEST(NMHTTPTls, AHandshakeThatNeverEndsIsCancelledOrTimedOutLikeAConnect)
{
    SilentListener silent;
    const std::string url = "https://127.0.0.1:" + std::to_string(silent.Port()) + "/a.zip";
    TlsClient client;
    client.http.TimeOut = 300;
    EXPECT_EQ(FailureOf(client.http, url, TSockReason::ConnectionTimedOut), "Connection Timed out");

    client.http.TimeOut = 0;
    QTimer::singleShot(200, [&] { client.http.Abort(); });
    EXPECT_EQ(FailureOf(client.http, url, TSockReason::ConnectionCanceled), "Connection Canceled");

    client.http.Get(Https("/files/small.txt"));
    EXPECT_EQ(client.http.ReplyCode, 200);
}
