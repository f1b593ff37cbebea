#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/stat.h>

#include <QDateTime>
#include <QProcess>

#include "cli/arguments.h"
#include "clirun.h"
#include "nginxsite.h"
#include "peers.h"
#include "scriptedserver.h"
#include "tempdir.h"

namespace
{
// An unattended run in a folder of its own: the log, settings and output live there.
struct UnattendedRun
{
    TempDir home;
    QProcess process;

    UnattendedRun()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("KESTROW_HOME", QString::fromStdString(home.Path()));
        environment.insert("KESTROW_SETTINGS", QString::fromStdString(home.Path() + "settings.json"));
        process.setProcessEnvironment(environment);
    }
    void SetEnvironment(const QString& name, const QString& value)
    {
        QProcessEnvironment environment = process.processEnvironment();
        environment.insert(name, value);
        process.setProcessEnvironment(environment);
    }
    void Start(const std::vector<std::string>& entries, QStringList arguments)
    {
        std::string list;
        for (const std::string& entry : entries)
            list += entry + "\r\n";
        home.Write("list.kes", list);
        process.start(QStringLiteral(KESTROW_CLI),
                      QStringList{"run", QString::fromStdString(home.Path() + "list.kes")} + arguments);
    }
    CliResult Finish()
    {
        const bool finished = WaitUntil([&] { return process.state() == QProcess::NotRunning; }, 60000);
        EXPECT_TRUE(finished) << "kestrow-cli run did not end";
        if (!finished)
            process.kill();
        return {process.exitCode(), process.readAllStandardOutput().toStdString(),
                process.readAllStandardError().toStdString()};
    }
    CliResult Complete(const std::vector<std::string>& entries, const QStringList& arguments)
    {
        Start(entries, arguments);
        return Finish();
    }
    std::string Out() const { return home.Path() + "out/"; }
};

struct Site : NginxSite
{
    explicit Site(const std::string& name) : NginxSite("cli-run", name) {}
};

std::string TestName()
{
    return CurrentTestName();
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A quarter hour soon to come, as kestrow-cli run --start-at takes it, and the clock offset that
// makes the program's clock read it less lead milliseconds. Counted from the present, so a test
// behaves alike at any time of day; a change of summer time in between moves the wall clock by
// whole hours, and a quarter hour stays one.
struct QuarterHour
{
    QString text;
    qint64 offset = 0;
};

QuarterHour NextQuarterHour(qint64 leadMilliseconds)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QTime time = now.time();
    const qint64 intoQuarter = (time.minute() % 15) * 60000LL + time.second() * 1000LL + time.msec();
    const QDateTime quarter = now.addMSecs(15 * 60000LL - intoQuarter);
    return {quarter.toString(QStringLiteral("HH:mm")), now.msecsTo(quarter) - leadMilliseconds};
}

// Whether the process has a handler of its own for the signal, so that it no longer dies of it.
bool CatchesSignal(qint64 pid, int signal)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("SigCgt:"))
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    return false;
}
} // namespace

TEST(KestrowCliRun, FetchesTheListAndLogsToStandardOutputAtEachLevel)
{
    Site site(TestName());
    site.Write("index.html", "<a href=docs/a.zip><a href=b.txt><a href=ftp://127.0.0.1:" +
                                 std::to_string(PeerPort("ftp")) + "/small.txt>");
    site.Write("docs/a.zip", "AAAA");
    site.Write("b.txt", "B");
    for (const int level : {1, 2, 3})
    {
        UnattendedRun run;
        const CliResult result = run.Complete({site.url + "index.html"},
                                              {"--out", QString::fromStdString(run.Out()), "--filter", "",
                                               "--log-level", QString::number(level), "--retries", "0"});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(run.home.Read("out/docs/a.zip"), "AAAA");
        EXPECT_EQ(run.home.Read("out/b.txt"), "B");
        EXPECT_EQ(run.home.Read("out/small.txt"), "first line\r\nsecond line\r\nthird line without end");
        EXPECT_EQ(result.out.rfind("Download started ", 0), 0u) << result.out;
        EXPECT_TRUE(Contains(result.out, "\n\nProcessing URL " + site.url + "index.html\n"));
        EXPECT_EQ(Contains(result.out, "\n" + run.Out() + "docs/a.zip\n"), level >= 2) << result.out;
        EXPECT_EQ(Contains(result.out, "\n200:OK\n"), level == 3) << result.out;
        EXPECT_TRUE(Contains(result.out, " downloaded in 3 files\n" + std::string(57, '=') + "\n"));
        // Standard output repeats the log file, line for line.
        std::string log = run.home.Read("KestrowLog.txt");
        for (std::size_t at = log.find("\r\n"); at != std::string::npos; at = log.find("\r\n", at))
            log.erase(at, 1);
        EXPECT_EQ(result.out, log);
        EXPECT_EQ(result.err, "") << "no terminal, no messages";
    }
}

TEST(KestrowCliRun, NamesThatAreNoUtf8StayBytesFromTheListToTheDisk)
{
    Site site(TestName());
    site.Write("caf\xe9.html", "<a href=\"caf\xe9 cr\xe8me.zip\">");
    site.Write("caf\xe9 cr\xe8me.zip", "CREME");
    UnattendedRun run;
    const std::string list = run.home.Path() + "n-caf\xe9.kes";
    run.home.Write("n-caf\xe9.kes", site.url + "caf\xe9.html->" + run.Out() + "caf\xe9/\r\n");
    // The list's name is given as the bytes it is, as a shell passes it on.
    run.process.start(QStringLiteral("/bin/sh"),
                      {"-c", "exec \"$0\" run \"$(printf '%s\\351.kes' \"$1\")\" --filter .zip",
                       QStringLiteral(KESTROW_CLI), QString::fromStdString(list.substr(0, list.size() - 5))});
    const CliResult result = run.Finish();
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(run.home.Read("out/caf\xe9/caf\xe9 cr\xe8me.zip"), "CREME") << result.out;
    // nginx heard the names percent-encoded, as a request line carries them.
    const std::string heard = "GET /cli-run/" + TestName() + "/caf%E9%20cr%E8me.zip HTTP/1.1\" 200";
    EXPECT_TRUE(Contains(LogHolding(PeerStateDir("nginx") + "access.log", heard), heard));
}

TEST(KestrowCliRun, AFolderListingGivesItsFilesAndNoErrors)
{
    // The listing of a folder as Apache writes it, served by nginx (which answers the sort links
    // with the same page): names with "&" and blanks, names that differ in letter case.
    Site site(TestName());
    site.Write("index.html",
               "<html><head><base href=\"" + site.url +
                   "\"></head><body><a href=\"?C=N;O=D\">Name</a><a href=\"?C=M;O=A\">Last "
                   "modified</a><a href=\"?C=S;O=A\">Size</a><a href=\"?C=D;O=A\">Description</a>"
                   "<a href=\"../\">Parent Directory</a><a href=\"a&amp;b.zip\">a&amp;b.zip</a>"
                   "<a href=\"with space.zip\">with space.zip</a><a href=\"README\">README</a>"
                   "<a href=\"readme\">readme</a></body></html>");
    site.Write("a&b.zip", "AB");
    site.Write("with space.zip", "SPACE");
    site.Write("README", "UPPER");
    site.Write("readme", "LOWER");
    UnattendedRun run;
    const CliResult result = run.Complete(
        {site.url}, {"--out", QString::fromStdString(run.Out()), "--filter", "", "--log-level", "3"});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(run.home.Read("out/a&b.zip"), "AB");
    EXPECT_EQ(run.home.Read("out/with space.zip"), "SPACE");
    EXPECT_EQ(run.home.Read("out/README"), "UPPER");
    EXPECT_EQ(run.home.Read("out/readme"), "LOWER");
    EXPECT_TRUE(Contains(result.out, " downloaded in 4 files\n")) << result.out;
    EXPECT_FALSE(Contains(result.out, "?C=")) << result.out;
}

TEST(KestrowCliRun, ErrorsGiveExitStatusOneAndTheirCountOnStandardError)
{
    UnattendedRun run;
    const CliResult result =
        run.Complete({"http://127.0.0.1:1/index.html"}, {"--out", QString::fromStdString(run.Out())});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(Contains(result.out, "Failed to download page http://127.0.0.1:1/index.html ("))
        << result.out;
    EXPECT_EQ(result.err, "1 error occured.\n") << "no window to view the log in";

    UnattendedRun quiet;
    const CliResult unlogged =
        quiet.Complete({"http://127.0.0.1:1/a.html", "http://127.0.0.1:1/b.html"},
                       {"--out", QString::fromStdString(quiet.Out()), "--log-level", "0"});
    EXPECT_EQ(unlogged.exitCode, 1);
    EXPECT_EQ(unlogged.out, "");
    EXPECT_EQ(unlogged.err, "2 errors occured and were not logged.\n");
}

TEST(KestrowCliRun, BadUsageIsRefusedBeforeAnythingIsFetched)
{
    const std::vector<QStringList> refused = {
        {"--retries", "-1"},        {"--retries", "1000"},  {"--timeout", "4"},
        {"--timeout", "ten"},       {"--log-level", "4"},   {"--start-at", "25:00"},
        {"--start-at", "10:10"},    {"--start-at", "9:30"}, {"--proxy", "host"},
        {"--proxy", "host:port"},   {"--password", "pw"},   {"--filter"},
        {"--no-such-option"},       {"extra-argument"},     {"--parallel", "0"},
        {"--parallel", "17"},       {"--parallel", "x"},    {"--parallel"},
        {"--limit-rate", "fast"},   {"--limit-rate", "-1"}, {"--limit-rate", "2kb"},
        {"--limit-rate", "1.5.5M"}, {"--limit-rate"},
    };
    ScriptedServer server;
    for (const QStringList& arguments : refused)
    {
        UnattendedRun run;
        const CliResult result = run.Complete({server.Url("/index.html")}, arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(Contains(result.err, "kestrow-cli run: ")) << result.err;
        EXPECT_EQ(result.out, "");
        if (arguments.size() == 2 && arguments[0] == "--parallel")
        {
            EXPECT_TRUE(Contains(result.err, "--parallel takes a whole number from 1 to 16, not '" +
                                                 arguments[1].toStdString() + "'"))
                << result.err;
        }
        if (arguments.size() == 2 && arguments[0] == "--limit-rate")
        {
            EXPECT_TRUE(
                Contains(result.err, "--limit-rate takes bytes per second as N, Nk or NM (such as 500k or "
                                     "1.5M; 0 for no limit), not '" +
                                         arguments[1].toStdString() + "'"))
                << result.err;
        }
    }
    EXPECT_EQ(server.ConnectionCount(), 0);

    UnattendedRun missing;
    missing.process.start(QStringLiteral(KESTROW_CLI), {"run", "/no/such/list.kes"});
    const CliResult unreadable = missing.Finish();
    EXPECT_EQ(unreadable.exitCode, 2);
    EXPECT_EQ(unreadable.err,
              "kestrow-cli run: Cannot open file \"/no/such/list.kes\". No such file or directory\n");
    // A FIFO as the list would leave a cron job waiting for ever.
    UnattendedRun fifo;
    const std::string pipe = fifo.home.Path() + "list.fifo";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    fifo.process.start(QStringLiteral(KESTROW_CLI), {"run", QString::fromStdString(pipe)});
    const CliResult waiting = fifo.Finish();
    EXPECT_EQ(waiting.exitCode, 2);
    EXPECT_EQ(waiting.err, "kestrow-cli run: " + pipe + " is not a regular file\n");

    UnattendedRun help;
    help.process.start(QStringLiteral(KESTROW_CLI), {"run", "--help"});
    const CliResult usage = help.Finish();
    EXPECT_EQ(usage.exitCode, 0);
    for (const char* option :
         {"--test", "--filter", "--ends-with", "--out", "--overwrite", "--images", "--retries", "--timeout",
          "--proxy", "--log-level", "--print", "--start-at", "--user", "--password", "--proxy-user",
          "--proxy-password", "--parallel", "crontab"})
        EXPECT_TRUE(Contains(usage.out, option)) << option;
    // Every option the usage lists is in the README's list and the help page's table too.
    const auto source = [](const std::string& name)
    {
        std::ifstream file(std::string(KESTROW_SOURCE_DIR) + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    const std::string readme = source("README.md");
    const std::string helpPage = source("Help/kesthelp.html");
    ASSERT_FALSE(readme.empty());
    ASSERT_FALSE(helpPage.empty());
    int listed = 0;
    for (std::size_t at = usage.out.find("\n  --"); at != std::string::npos;
         at = usage.out.find("\n  --", at + 1))
    {
        const std::string option = usage.out.substr(at + 3, usage.out.find_first_of(" \n", at + 3) - at - 3);
        if (option == "--help")
            continue;
        ++listed;
        EXPECT_TRUE(Contains(readme, "`" + option)) << option << " in README.md";
        EXPECT_TRUE(Contains(helpPage, "<code>" + option)) << option << " in Help/kesthelp.html";
    }
    EXPECT_GE(listed, 20);
}

TEST(KestrowCliRun, LimitRateIsBytesPerSecondOrKibibytesOrMebibytes)
{
    const std::vector<std::pair<std::string, std::int64_t>> rates = {
        {"0", 0},
        {"0.0", 0},
        {"500", 500},
        {"2k", 2048},
        {"2K", 2048},
        {"1.5M", 1572864},
        {"1.5m", 1572864},
        {".5k", 512},
        {"3.", 3},
        {"0.2", 1},
        {"100.7", 101},
        {"1048576k", 1LL << 30},
        {"1048576M", 1LL << 40},
    };
    for (const auto& [text, bytes] : rates)
        EXPECT_EQ(ByteRate("--limit-rate", text), bytes) << text;
    for (const char* text :
         {"", ".", "k", "1e3", "inf", "nan", "+5", "-5", "5 k", "5kk", "5G", "1048577M", "0x10"})
        EXPECT_THROW(ByteRate("--limit-rate", text), TUsageError) << text;
}

TEST(KestrowCliRun, ATestRunWritesNoFile)
{
    Site site(TestName());
    site.Write("index.html", "<a href=sub/a.zip>");
    site.Write("sub/a.zip", "A");
    UnattendedRun run;
    const CliResult result =
        run.Complete({site.url + "index.html"},
                     {"--test", "--out", QString::fromStdString(run.Out()), "--log-level", "2"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(Contains(result.out, "\n" + run.Out() + "sub/a.zip\n"));
    EXPECT_FALSE(run.home.Exists("out/sub"));
}

TEST(KestrowCliRun, AnInterruptStopsTheRunAndKeepsTheOldFile)
{
    ScriptedServer server;
    ScriptedServer::Script page;
    page.ExpectHeader().Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<a href=big.zip>").Close();
    server.AddScript(page);
    ScriptedServer::Script big;
    big.ExpectHeader()
        .Send("HTTP/1.0 200 OK\r\nContent-Length: 100000000\r\n\r\n" + std::string(65536, 'x'))
        .Stall();
    server.AddScript(big);

    UnattendedRun run;
    run.home.Write("out/big.zip", "OLD");
    run.Start({server.Url("/index.html")}, {"--out", QString::fromStdString(run.Out()), "--overwrite",
                                            "--log-level", "2", "--timeout", "60"});
    const auto transferring = [&]
    {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(run.Out(), error))
            if (entry.path().filename() == ".big.zip.part" && entry.file_size() > 0)
                return true;
        return false;
    };
    ASSERT_TRUE(WaitUntil(transferring, 30000));
    ::kill(static_cast<pid_t>(run.process.processId()), SIGINT);
    const CliResult result = run.Finish();
    EXPECT_EQ(result.exitCode, 130);
    EXPECT_EQ(result.err, "Stopped.\n");
    EXPECT_TRUE(Contains(result.out, run.Out() + "big.zip Stopped\n")) << result.out;
    EXPECT_EQ(run.home.Read("out/big.zip"), "OLD");
    for (const auto& entry : std::filesystem::directory_iterator(run.Out()))
        EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
    EXPECT_TRUE(Contains(result.out, " downloaded in 0 files\n")) << result.out;
}

TEST(KestrowCliRun, StartAtWaitsForItsTimeAndAnInterruptEndsTheWait)
{
    Site site(TestName());
    site.Write("index.html", "<a href=a.zip>");
    site.Write("a.zip", "A");
    const QuarterHour soon = NextQuarterHour(2000);

    UnattendedRun run;
    run.SetEnvironment("KESTROW_CLOCK_OFFSET_MS", QString::number(soon.offset));
    const CliResult waited = run.Complete(
        {site.url + "index.html"}, {"--out", QString::fromStdString(run.Out()), "--start-at", soon.text});
    EXPECT_EQ(waited.exitCode, 0) << waited.err;
    EXPECT_EQ(run.home.Read("out/a.zip"), "A");
    EXPECT_TRUE(Contains(waited.out, "Download started ")) << waited.out;

    // Ten minutes before its time the run waits; an interrupt ends it with nothing fetched.
    ScriptedServer server;
    const QuarterHour later = NextQuarterHour(600000);
    UnattendedRun stopped;
    stopped.SetEnvironment("KESTROW_CLOCK_OFFSET_MS", QString::number(later.offset));
    stopped.Start({server.Url("/index.html")},
                  {"--out", QString::fromStdString(stopped.Out()), "--start-at", later.text});
    // Once it has taken over the signal, an interrupt is the program's to handle.
    ASSERT_TRUE(WaitUntil(
        [&]
        {
            return stopped.process.state() == QProcess::Running &&
                   CatchesSignal(stopped.process.processId(), SIGTERM);
        },
        30000));
    ::kill(static_cast<pid_t>(stopped.process.processId()), SIGTERM);
    const CliResult result = stopped.Finish();
    EXPECT_EQ(result.exitCode, 130);
    EXPECT_EQ(server.ConnectionCount(), 0);
    EXPECT_FALSE(stopped.home.Exists("out"));
    EXPECT_TRUE(Contains(result.out, "0 downloaded in 0 files\n")) << result.out;
}

TEST(KestrowCliRun, LoginsAreAnsweredFromTheOptionsOrCancelledOnStandardError)
{
    NginxSite site("private", "cli-" + TestName());
    site.Write("index.html", "<a href=a.zip>");
    site.Write("a.zip", "A");
    const std::string proxy = "127.0.0.1:" + std::to_string(PeerPort("tinyproxy_auth"));
    const QStringList proxyLogin{"--proxy-user", Q(PeerValue("tinyproxy_auth", "user")), "--proxy-password",
                                 Q(PeerValue("tinyproxy_auth", "password"))};
    const QStringList siteLogin{"--user", Q(PeerValue("nginx", "user")), "--password",
                                Q(PeerValue("nginx", "password"))};
    const std::string page = site.url + "index.html";
    struct Case
    {
        QStringList logins;
        std::string failure; // empty: the run succeeds
        std::string said;
    };
    const Case cases[] = {
        {{},
         "407:Proxy Authentication Required",
         "Proxy server login for " + proxy +
             " (Basic realm=\"Tinyproxy\") cancelled: no --proxy-user given\n"},
        {proxyLogin, "Login cancelled",
         "Web site login for http://127.0.0.1:" + std::to_string(PeerPort("nginx")) +
             " (Basic realm=\"Kestrow tests\") cancelled: no --user given\n"},
        {proxyLogin + siteLogin, "", ""},
    };
    for (const Case& c : cases)
    {
        UnattendedRun run;
        const CliResult result = run.Complete(
            {page}, QStringList{"--out", Q(run.Out()), "--filter", ".zip", "--proxy", Q(proxy)} + c.logins);
        if (c.failure.empty())
        {
            EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
            EXPECT_EQ(run.home.Read("out/a.zip"), "A");
            EXPECT_EQ(result.err, "");
            continue;
        }
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(Contains(result.out, "Failed to download page " + page + " (" + c.failure + ")\n"))
            << result.out;
        EXPECT_TRUE(Contains(result.err, c.said)) << result.err;
        EXPECT_FALSE(run.home.Exists("out/a.zip"));
    }
}

TEST(KestrowCliRun, NoChecksumsLeavesAPagesChecksumListAlone)
{
    Site site(TestName());
    site.Write("index.html", "<a href=a.zip><a href=SHA256SUMS>");
    site.Write("a.zip", "NOT AS PUBLISHED");
    // The sum of "AAAA".
    site.Write("SHA256SUMS", "63c1dd951ffedf6f7fd968ad4efa39b8ed584f162f46e715114ee184f8de9201  a.zip\n");
    UnattendedRun checked;
    const CliResult failed =
        checked.Complete({site.url + "index.html"},
                         {"--out", QString::fromStdString(checked.Out()), "--retries", "0", "--pause", "0"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(Contains(failed.out, "(Checksum mismatch: expected "
                                     "63c1dd951ffedf6f7fd968ad4efa39b8ed584f162f46e715114ee184f8de9201 got "))
        << failed.out;
    EXPECT_FALSE(checked.home.Exists("out/a.zip"));

    UnattendedRun unchecked;
    const CliResult kept =
        unchecked.Complete({site.url + "index.html"}, {"--out", QString::fromStdString(unchecked.Out()),
                                                       "--retries", "0", "--pause", "0", "--no-checksums"});
    EXPECT_EQ(kept.exitCode, 0) << kept.out;
    EXPECT_FALSE(Contains(kept.out, "Checksum list")) << kept.out;
    EXPECT_FALSE(Contains(kept.out, "Checksum mismatch")) << kept.out;
    EXPECT_EQ(unchecked.home.Read("out/a.zip"), "NOT AS PUBLISHED");
}
