// How an https body ends, against scripted TLS servers with the nginx_tls peer's certificate,
// and a large body from the peer itself.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "net/nmhttp.h"
#include "messageof.h"
#include "peers.h"
#include "scriptedtlsserver.h"
#include "tempdir.h"

namespace
{
std::string PeerFile(const std::string& name)
{
    return PeerStateDir("nginx_tls") + name;
}

std::string Https(const std::string& path)
{
    return "https://127.0.0.1:" + PeerValue("nginx_tls", "port") + path;
}

struct TlsClient
{
    TempDir dir;
    TNMHTTP http;

    TlsClient()
    {
        http.InputFileMode = true;
        http.Body = dir.Path() + "body";
        http.Trust.AddAuthorityFile(PeerFile("ca.pem"));
    }
    std::string Body() const { return dir.Read("body"); }
};

// Bytes that differ along the way, so that a lost or repeated record shows.
std::string Payload(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    return bytes;
}
} // namespace

TEST(NMHTTPTlsEnd, ABodyThatEndsWithTheConnectionIsWholeOnlyAfterCloseNotify)
{
    using Ending = ScriptedTlsServer::Ending;
    const std::string body = Payload(300 * 1024);
    const std::string unframed = "HTTP/1.0 200 OK\r\n\r\n" + body;
    const std::string cut =
        "Transfer incomplete: the TLS connection closed without close_notify after 307200 bytes";
    ScriptedTlsServer server(PeerFile("tls/server.pem"), PeerFile("tls/server.key"));
    {
        TlsClient client;
        server.Answer(unframed, Ending::CloseNotify);
        client.http.Get(server.Url("/a.bin"));
        EXPECT_EQ(client.http.ReplyCode, 200);
        EXPECT_TRUE(client.Body() == body);

        server.Answer(unframed, Ending::Cut);
        EXPECT_EQ(MessageOf([&] { client.http.Get(server.Url("/a.bin")); }), cut);
        // A page read into memory is failed alike.
        client.http.InputFileMode = false;
        EXPECT_EQ(MessageOf([&] { client.http.Get(server.Url("/a.bin")); }), cut);
        client.http.InputFileMode = true;
        client.http.Body = client.dir.Path() + "body";

        // A body whose length was announced ends there, however the connection closes.
        server.Answer("HTTP/1.0 200 OK\r\nContent-Length: 307200\r\n\r\n" + body, Ending::Cut);
        client.http.Get(server.Url("/a.bin"));
        EXPECT_EQ(client.http.ExpectedCount, 307200);
        EXPECT_TRUE(client.Body() == body);

        server.Answer(unframed, Ending::Reset);
        try
        {
            client.http.Get(server.Url("/a.bin"));
            ADD_FAILURE() << "a reset ended the body without an error";
        }
        catch (const ESockError& error)
        {
            EXPECT_EQ(error.WinsockError(), TWinsockError::ConnectionReset) << error.Message();
        }

        // The session is sound for the next request.
        server.Answer(unframed, Ending::CloseNotify);
        client.http.Get(server.Url("/a.bin"));
        EXPECT_TRUE(client.Body() == body);
    }
    EXPECT_EQ(server.Answered(), 6);
}

TEST(NMHTTPTlsEnd, ALargeBodyComesWholeThroughManyFullReads)
{
    std::ifstream file(PeerFile("root/files/large.bin"), std::ios::binary);
    const std::string large((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(large.size(), 16u * 1024 * 1024);
    TlsClient client;
    client.http.Get(Https("/files/large.bin"));
    EXPECT_EQ(client.http.ReceivedCount, static_cast<std::int64_t>(large.size()));
    EXPECT_TRUE(client.Body() == large);
}
