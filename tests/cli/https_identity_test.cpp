// Who an https server is: every spelling of an address is checked against the certificate's
// addresses, a name's trailing dot is no part of it, and a proxy's refusal of a tunnel is never
// taken as the server's answer.
#include <gtest/gtest.h>

#include <filesystem>

#include "clirun.h"
#include "peers.h"
#include "scriptedserver.h"
#include "scriptedtlsserver.h"
#include "tempdir.h"

namespace
{
const std::string HostRefused =
    "TLS handshake failed: The host name did not match any of the valid hosts for this certificate";
const std::string Small = "first line\r\nsecond line\r\nthird line without end";

std::string NamesPort()
{
    return PeerValue("nginx_tls", "names_port");
}

QString Authority()
{
    return Q(PeerStateDir("nginx_tls") + "ca.pem");
}

// Every file under folder, read whole, one after another.
std::string EverythingUnder(const std::string& folder)
{
    std::string all;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            all += ReadWhole(entry.path().string());
    return all;
}

// A proxy's answer to CONNECT that is no tunnel, with a body and a cookie that must go nowhere.
std::string Refusal(const std::string& status, const std::string& extra = "")
{
    return "HTTP/1.1 " + status + "\r\n" + extra +
           "Set-Cookie: proxy=PROXYCOOKIE\r\nContent-Length: 16\r\n\r\n" + "SECRET-OF-PROXY!";
}
} // namespace

TEST(KestrowCliHttpsIdentity, EverySpellingOfAnAddressIsCheckedAgainstTheCertificate)
{
    // The certificate names good.test only: no spelling of 127.0.0.1 or ::1 is that host.
    std::vector<std::string> hosts = {"127.0.0.1", "127.1", "2130706433", "0x7f.1", "017700000001"};
    if (PeerValue("nginx_tls", "url6") != "none")
        hosts.insert(hosts.end(), {"[::1]", "[::1%25lo]", "[0:0::1]"});
    TempDir dir;
    for (const std::string& host : hosts)
    {
        const std::string url = "https://" + host + ":" + NamesPort() + "/files/small.txt";
        const CliResult result = RunCli({"get", Q(url), Q(dir.Path() + "f"), "--ca-file", Authority()});
        EXPECT_EQ(result.exitCode, 2) << url;
        EXPECT_EQ(result.err, "kestrow-cli get: " + HostRefused + "\n") << url;
        EXPECT_FALSE(dir.Exists("f")) << url;
    }
}

TEST(KestrowCliHttpsIdentity, ANameWithATrailingDotIsTheNameWithoutIt)
{
    // The proxy tunnels every name to the server, so good.test needs no resolver.
    ScriptedServer proxy;
    proxy.AddScript(ScriptedServer::Script()
                        .ExpectHeader()
                        .Send("HTTP/1.1 200 Connection established\r\n\r\n")
                        .Tunnel(static_cast<quint16>(std::stoi(NamesPort()))));
    TempDir dir;
    for (const std::string host : {"good.test.", "good.test", "GOOD.test."})
    {
        const std::string url = "https://" + host + ":" + NamesPort() + "/files/small.txt?" + host;
        const CliResult result = RunCli({"get", Q(url), Q(dir.Path() + host), "--ca-file", Authority(),
                                         "--proxy", Q("127.0.0.1:" + std::to_string(proxy.Port()))});
        EXPECT_EQ(result.exitCode, 0) << host << result.err;
        EXPECT_EQ(dir.Read(host), Small) << host;
    }
    // Server name indication never carries the dot; the tunnel is asked for the name as given.
    const std::string log =
        LogHolding(PeerStateDir("nginx_tls") + "access.log", "/files/small.txt?GOOD.test. HTTP/");
    for (const std::string host : {"good.test.", "good.test", "GOOD.test."})
    {
        const std::size_t request = log.find("/files/small.txt?" + host + " HTTP/");
        ASSERT_NE(request, std::string::npos) << host << "\n" << log;
        EXPECT_EQ(log.substr(log.find('"', request), 21), "\" 200 sni=good.test r") << host;
    }
    EXPECT_TRUE(proxy.Received(0).starts_with("CONNECT good.test.:" + NamesPort() + " HTTP/1.0\r\n"));
}

TEST(KestrowCliHttpsIdentity, AProxyThatRefusesTheTunnelFailsTheTransferAndNothingOfItIsKept)
{
    struct Case
    {
        std::string answer;
        std::string statusLine;
    };
    const Case cases[] = {
        {Refusal("302 Found", "Location: http://good.test/secret.txt\r\n"), "HTTP/1.1 302 Found"},
        {Refusal("403 Forbidden"), "HTTP/1.1 403 Forbidden"},
        {Refusal("502 Bad\x01Gateway"), "HTTP/1.1 502 Bad?Gateway"},
    };
    for (const Case& refusal : cases)
    {
        ScriptedServer proxy;
        proxy.AddScript(ScriptedServer::Script().ExpectHeader().Send(refusal.answer).Close());
        TempDir dir;
        const std::string url = "https://good.test:" + NamesPort() + "/secret.txt";
        const std::string place = "127.0.0.1:" + std::to_string(proxy.Port());
        const CliResult result =
            RunCli({"get", Q(url), Q(dir.Path() + "f"), "--ca-file", Authority(), "--proxy", Q(place)});
        EXPECT_EQ(result.exitCode, 2) << refusal.statusLine;
        EXPECT_EQ(result.err,
                  "kestrow-cli get: Proxy " + place + " refused the tunnel: " + refusal.statusLine + "\n");
        EXPECT_FALSE(dir.Exists("f"));
        // The redirect is not followed: the proxy was asked once, for the tunnel.
        EXPECT_EQ(proxy.ConnectionCount(), 1);
    }

    // In a run, the proxy's refusal of one request is an error, and its cookie never reaches the
    // server through a later tunnel, nor its body any file.
    ScriptedTlsServer server(PeerStateDir("nginx_tls") + "tls/names.pem",
                             PeerStateDir("nginx_tls") + "tls/names.key");
    server.Answer("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n<a href=x>",
                  ScriptedTlsServer::Ending::CloseNotify);
    ScriptedServer proxy;
    proxy.AddScript(ScriptedServer::Script()
                        .ExpectHeader()
                        .Send(Refusal("302 Found", "Location: http://good.test/secret.txt\r\n"))
                        .Close());
    proxy.AddScript(ScriptedServer::Script()
                        .ExpectHeader()
                        .Send("HTTP/1.1 200 Connection established\r\n\r\n")
                        .Tunnel(server.serverPort()));
    TempDir home;
    const std::string page = "https://good.test:" + std::to_string(server.serverPort()) + "/";
    const CliResult result =
        RunList(home.Path(), {page + "a.html", page + "b.html"},
                {"--filter", ".none", "--retries", "0", "--pause", "0", "--ca-file", Authority(), "--proxy",
                 Q("127.0.0.1:" + std::to_string(proxy.Port()))});
    const std::string& out = result.out;
    EXPECT_NE(out.find("refused the tunnel: HTTP/1.1 302 Found"), std::string::npos) << out;
    EXPECT_EQ(result.exitCode, 1) << out;
    ASSERT_FALSE(server.Requests().empty()) << out;
    for (const std::string& request : server.Requests())
        EXPECT_EQ(request.find("PROXYCOOKIE"), std::string::npos) << request;
    EXPECT_EQ(EverythingUnder(home.Path() + "out").find("SECRET-OF-PROXY"), std::string::npos);
}
