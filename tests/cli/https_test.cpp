// kestrow-cli get and run with https:// addresses, against the nginx_tls peer.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include <QProcess>

#include "clirun.h"
#include "nginxsite.h"
#include "peers.h"
#include "tempdir.h"

namespace
{
QString TlsUrl(const std::string& path)
{
    return Q("https://127.0.0.1:" + PeerValue("nginx_tls", "port") + path);
}

QString TestAuthority()
{
    return Q(PeerStateDir("nginx_tls") + "ca.pem");
}

const std::string InsecureNotice = "--insecure: certificates of https servers are not checked in this run\n";

// kestrow-cli run over the entries, failures not retried, every link taken.
CliResult RunList(const TempDir& home, const std::vector<std::string>& entries, const QStringList& arguments)
{
    return RunList(home.Path(), entries, QStringList{"--filter", "", "--retries", "0"} + arguments);
}
} // namespace

TEST(KestrowCliHttps, GetTrustsTheAuthoritiesItIsGivenAndSaysWhenItChecksNothing)
{
    TempDir dir;
    CliResult result = RunCli(
        {"get", TlsUrl("/files/small.txt"), Q(dir.Path() + "small.txt"), "--ca-file", TestAuthority()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "HTTP/1.1 200 OK\nReplyCode 200\n");
    EXPECT_EQ(dir.Read("small.txt"), "first line\r\nsecond line\r\nthird line without end");

    result = RunCli({"get", TlsUrl("/files/small.txt"), Q(dir.Path() + "refused.txt")});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.err.starts_with("kestrow-cli get: TLS handshake failed: ")) << result.err;
    EXPECT_FALSE(dir.Exists("refused.txt"));

    result = RunCli({"get", TlsUrl("/files/small.txt"), Q(dir.Path() + "any.txt"), "--insecure"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "kestrow-cli get: " + InsecureNotice + "HTTP/1.1 200 OK\nReplyCode 200\n");

    const std::string notAuthority = dir.Write("x.pem", "not a certificate");
    result =
        RunCli({"get", TlsUrl("/files/small.txt"), Q(dir.Path() + "x.txt"), "--ca-file", Q(notAuthority)});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err,
              "kestrow-cli get: No certificate in certificate authority file " + notAuthority + "\n");
}

TEST(KestrowCliHttps, TheSystemsAuthoritiesComeFromSslCertFileAndSslCertDirAsWell)
{
    TempDir dir;
    const auto get = [&](const QString& variable, const std::string& value) {
        return RunCli({"get", TlsUrl("/files/small.txt"), Q(dir.Path() + "f")}, {variable + "=" + Q(value)});
    };
    CliResult result = get("SSL_CERT_FILE", TestAuthority().toStdString());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(dir.Read("f"), "first line\r\nsecond line\r\nthird line without end");
    std::filesystem::remove(dir.Path() + "f");

    // A folder of authorities by their hashes, as c_rehash makes it.
    const std::string folder = dir.Path() + "authorities/";
    std::filesystem::create_directories(folder);
    QProcess hash;
    hash.start("openssl", {"x509", "-hash", "-noout", "-in", TestAuthority()});
    ASSERT_TRUE(hash.waitForFinished());
    std::filesystem::copy_file(TestAuthority().toStdString(),
                               folder + hash.readAll().trimmed().toStdString() + ".0");
    result = get("SSL_CERT_DIR", folder);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(dir.Exists("f"));
    std::filesystem::remove(dir.Path() + "f");

    // A file named that cannot be read is a failure, not fewer authorities.
    result = get("SSL_CERT_FILE", dir.Path() + "missing.pem");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.err.starts_with("kestrow-cli get: TLS handshake failed: Cannot read the certificate "
                                       "authorities of " +
                                       dir.Path() + "missing.pem"))
        << result.err;
    EXPECT_FALSE(dir.Exists("f"));
}

TEST(KestrowCliHttps, HttpsNeedsNoTlsPluginOfQt)
{
    // A copy of the program whose qt.conf points Qt at an empty plugin folder: Qt has no TLS
    // backend, and https runs all the same, with the same checks.
    TempDir dir;
    std::filesystem::create_directories(dir.Path() + "plugins");
    const std::string program = dir.Path() + "bin/kestrow-cli";
    std::filesystem::create_directories(dir.Path() + "bin");
    std::filesystem::copy_file(KESTROW_CLI, program);
    dir.Write("bin/qt.conf", "[Paths]\nPlugins=" + dir.Path() + "plugins\n");
    const auto get = [&](const QStringList& arguments)
    {
        QProcess process;
        process.start(Q(program), QStringList{"get"} + arguments);
        EXPECT_TRUE(WaitUntil([&] { return process.state() == QProcess::NotRunning; }, 30000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        return CliResult{process.exitCode(), "", process.readAllStandardError().toStdString()};
    };
    CliResult result = get({TlsUrl("/files/small.txt"), Q(dir.Path() + "small.txt")});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "kestrow-cli get: TLS handshake failed: The issuer certificate of a locally "
                          "looked up certificate could not be found\n");
    EXPECT_FALSE(dir.Exists("small.txt"));

    result = get({TlsUrl("/files/small.txt"), Q(dir.Path() + "small.txt"), "--ca-file", TestAuthority()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(dir.Read("small.txt"), "first line\r\nsecond line\r\nthird line without end");
}

TEST(KestrowCliHttps, RunFetchesHttpsPagesWithItsAuthorityAndCountsRefusedOnesAsErrors)
{
    NginxSite site("cli-https", CurrentTestName(), "nginx_tls");
    site.Write("index.html", "<a href=docs/a.zip><a href=/cli-https/" + CurrentTestName() + "/b.zip>");
    site.Write("docs/a.zip", "AAAA");
    site.Write("b.zip", "BB");
    const std::string page = site.url + "index.html";

    TempDir trusted;
    CliResult result = RunList(trusted, {page}, {"--ca-file", TestAuthority()});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(trusted.Read("out/docs/a.zip"), "AAAA");
    EXPECT_EQ(trusted.Read("out/cli-https/" + CurrentTestName() + "/b.zip"), "BB");
    EXPECT_TRUE(trusted.Exists("out/https---127.0.0.1-" + PeerValue("nginx_tls", "port") + "-cli-https-" +
                               CurrentTestName() + "-index.html"));
    // The files come over the page's connection.
    std::string log = LogHolding(PeerStateDir("nginx_tls") + "access.log",
                                 "/cli-https/" + CurrentTestName() + "/b.zip HTTP/");
    std::set<std::string> ports;
    for (const std::string file : {"index.html", "docs/a.zip", "b.zip"})
    {
        const std::size_t line = log.find("/cli-https/" + CurrentTestName() + "/" + file + " HTTP/");
        ASSERT_NE(line, std::string::npos) << file;
        ports.insert(log.substr(log.find("port=", line), log.find('\n', line) - log.find("port=", line)));
    }
    EXPECT_EQ(ports.size(), 1u);
    // Where the server closes each connection, the page's handshake gave a session that the
    // files' connections take up, one after the other.
    NginxSite closing("close", CurrentTestName(), "nginx_tls");
    closing.Write("index.html", "<a href=a.zip><a href=b.zip>");
    closing.Write("a.zip", "A");
    closing.Write("b.zip", "B");
    TempDir resumed;
    result = RunList(resumed, {closing.url + "index.html"},
                     {"--ca-file", TestAuthority(), "--pause", "0", "--parallel", "1"});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(resumed.Read("out/a.zip") + resumed.Read("out/b.zip"), "AB");
    log =
        LogHolding(PeerStateDir("nginx_tls") + "access.log", "/close/" + CurrentTestName() + "/b.zip HTTP/");
    for (const std::string file : {"a.zip", "b.zip"})
    {
        const std::size_t line = log.find("/close/" + CurrentTestName() + "/" + file + " HTTP/");
        ASSERT_NE(line, std::string::npos) << file;
        EXPECT_EQ(log.substr(log.find("reused=", line), 8), "reused=r") << file;
    }

    TempDir refused;
    result = RunList(refused, {page}, {});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find("Failed to download page " + page + " (TLS handshake failed: "),
              std::string::npos)
        << result.out;
    EXPECT_FALSE(refused.Exists("out/docs/a.zip"));

    TempDir insecure;
    result = RunList(insecure, {page}, {"--insecure"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "kestrow-cli run: " + InsecureNotice);
    EXPECT_EQ(insecure.Read("out/docs/a.zip"), "AAAA");

    TempDir missing;
    result = RunList(missing, {page}, {"--ca-file", Q(missing.Path() + "none.pem")});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.err.starts_with("kestrow-cli run: Cannot read certificate authority file "))
        << result.err;
    EXPECT_EQ(result.out, "");
}
