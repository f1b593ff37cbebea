// kestrow-cli get against TLS servers that end a body with or without close_notify.
#include <gtest/gtest.h>

#include <string>

#include "clirun.h"
#include "peers.h"
#include "scriptedtlsserver.h"
#include "tempdir.h"

TEST(KestrowCliHttpsEnd, GetKeepsNothingOfABodyCutOffWithoutCloseNotify)
{
    const std::string tls = PeerStateDir("nginx_tls");
    ScriptedTlsServer server(tls + "tls/server.pem", tls + "tls/server.key");
    const std::string body(50000, 'b');
    TempDir dir;
    const QStringList trust{"--ca-file", Q(tls + "ca.pem")};

    server.Answer("HTTP/1.0 200 OK\r\n\r\n" + body, ScriptedTlsServer::Ending::Cut);
    CliResult result = RunCli(QStringList{"get", Q(server.Url("/f.bin")), Q(dir.Path() + "f.bin")} + trust);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err,
              "kestrow-cli get: Transfer incomplete: the TLS connection closed without close_notify "
              "after 50000 bytes\n");
    EXPECT_FALSE(dir.Exists("f.bin"));

    server.Answer("HTTP/1.0 200 OK\r\n\r\n" + body, ScriptedTlsServer::Ending::CloseNotify);
    result = RunCli(QStringList{"get", Q(server.Url("/f.bin")), Q(dir.Path() + "f.bin")} + trust);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(dir.Read("f.bin"), body);
    EXPECT_EQ(server.Answered(), 2);
}
