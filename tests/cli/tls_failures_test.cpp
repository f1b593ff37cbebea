// What kestrow-cli get says when TLS fails for a reason of the server's, against openssl s_server,
// and requests that reach servers which answer as soon as the request line has come.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

#include "clirun.h"
#include "peers.h"
#include "scriptedserver.h"
#include "tempdir.h"

namespace
{
// openssl s_server on a free port of 127.0.0.1 with the peer's self-signed certificate,
// stopped with the object.
class OpenSslServer
{
  public:
    explicit OpenSslServer(const QStringList& options)
    {
        const QString tls = Q(PeerStateDir("nginx_tls") + "tls/");
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start("openssl", QStringList{"s_server", "-accept", "127.0.0.1:0", "-cert",
                                             tls + "untrusted.pem", "-key", tls + "untrusted.key"} +
                                     options);
        const QRegularExpression accept("ACCEPT 127\\.0\\.0\\.1:(\\d+)");
        WaitUntil(
            [&]
            {
                output += process.readAll();
                const auto found = accept.match(QString::fromUtf8(output));
                port = found.hasMatch() ? found.captured(1).toStdString() : "";
                return !port.empty() || process.state() == QProcess::NotRunning;
            },
            10000);
    }
    ~OpenSslServer()
    {
        process.kill();
        process.waitForFinished();
    }
    std::string Url() const { return "https://127.0.0.1:" + port + "/"; }
    bool Running() const { return !port.empty(); }

  private:
    QProcess process;
    QByteArray output;
    std::string port;
};

const std::string Insecure =
    "kestrow-cli get: --insecure: certificates of https servers are not checked in this run\n";
} // namespace

TEST(KestrowCliTlsFailures, WithoutCheckingTheServersOwnReasonIsGivenInAndAfterTheHandshake)
{
    TempDir dir;
    // A server that demands a client certificate: over TLS 1.2 it refuses in the handshake, over
    // TLS 1.3 with an alert after it. Its self-signed certificate is not what failed.
    OpenSslServer tls12({"-Verify", "1", "-tls1_2", "-www"});
    ASSERT_TRUE(tls12.Running());
    CliResult result = RunCli({"get", Q(tls12.Url()), Q(dir.Path() + "f"), "--insecure"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, Insecure + "kestrow-cli get: TLS handshake failed: Error during SSL handshake: "
                                     "error:0A000410:SSL routines::sslv3 alert handshake failure\n");
    EXPECT_FALSE(dir.Exists("f"));

    OpenSslServer tls13({"-Verify", "1", "-tls1_3", "-www"});
    ASSERT_TRUE(tls13.Running());
    result = RunCli({"get", Q(tls13.Url()), Q(dir.Path() + "f"), "--insecure"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, Insecure + "kestrow-cli get: 10054:Connection reset by peer "
                                     "(error:0A00045C:SSL routines::tlsv13 alert certificate required)\n");
    EXPECT_FALSE(dir.Exists("f"));

    // Checked, the certificate is the reason.
    OpenSslServer checked({"-www"});
    result = RunCli({"get", Q(checked.Url()), Q(dir.Path() + "f")});
    EXPECT_EQ(result.err,
              "kestrow-cli get: TLS handshake failed: The certificate is self-signed, and untrusted\n");
}

TEST(KestrowCliTlsFailures, AServerThatAnswersAfterTheRequestLineAndClosesGetsTheWholeRequest)
{
    // openssl's -www server reads the request line, answers and closes; so does the plain one.
    OpenSslServer tls({"-www", "-naccept", "50"});
    ASSERT_TRUE(tls.Running());
    ScriptedServer plain;
    plain.AddScript(ScriptedServer::Script()
                        .Expect("\r\n")
                        .Send("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nwhole")
                        .Close());
    TempDir dir;
    int whole = 0;
    for (int i = 0; i < 50; ++i)
    {
        const std::string file = "f" + std::to_string(i);
        CliResult result = RunCli({"get", Q(tls.Url()), Q(dir.Path() + file), "--insecure"});
        whole += result.exitCode == 0 && dir.Read(file).ends_with("</BODY></HTML>\r\n\r\n");
        result = RunCli({"get", Q(plain.Url("/x")), Q(dir.Path() + file + "p")});
        whole += result.exitCode == 0 && dir.Read(file + "p") == "whole";
    }
    EXPECT_EQ(whole, 100);
    // Each request went out whole, in one piece.
    for (int i = 0; i < plain.ConnectionCount(); ++i)
        EXPECT_TRUE(plain.Received(i).starts_with("GET /x HTTP/1.")) << plain.Received(i);
}
