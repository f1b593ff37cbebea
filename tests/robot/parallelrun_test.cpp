// Runs with several transfers at once: the limits, politeness per server, retries, Stop and Skip
// File, a login question that holds its server, one output file named twice, and a log that
// reads as a run of one file at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "enginetest.h"
#include "platform/pause.h"
#include "platform/prompt.h"

namespace
{
constexpr auto npos = std::string::npos;

// An HTTP/1.1 server that keeps its connections and answers each request after a delay, counting
// how many requests are open at once, in all and per target.
class PacedSite
{
  public:
    explicit PacedSite(int delayMilliseconds) : delay(delayMilliseconds)
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this] { Accept(); });
        clock.start();
    }

    void Page(const std::string& target, const std::string& html) { bodies[target] = html; }
    void File(const std::string& target, const std::string& bytes) { bodies[target] = bytes; }
    // The first times requests of target get a tenth of the body and the connection ends.
    void CutShort(const std::string& target, int times) { cuts[target] = times; }
    // Requests of target without this Authorization are refused with 401.
    void Protect(const std::string& target, const std::string& authorization)
    {
        protectedBy[target] = authorization;
    }
    // Bodies of targets starting so are sent in part, and the rest never comes.
    void Stall(const std::string& prefix) { stalling = prefix; }
    std::string Url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(server.serverPort()) + path;
    }

    std::vector<std::string> Requests;
    // When each request came, in milliseconds since the site started.
    std::vector<qint64> Times;
    int MostOpen = 0;
    std::map<std::string, int> MostOpenOf;
    std::set<quint16> ClientPorts;
    // When each connection came, and when each target was last answered.
    std::vector<qint64> Accepted;
    std::map<std::string, qint64> AnsweredAt;

  private:
    void Accept()
    {
        while (QTcpSocket* socket = server.nextPendingConnection())
        {
            ClientPorts.insert(socket->peerPort());
            Accepted.push_back(clock.elapsed());
            auto received = std::make_shared<std::string>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket,
                             [this, socket, received]
                             {
                                 *received += socket->readAll().toStdString();
                                 for (std::size_t end; (end = received->find("\r\n\r\n")) != npos;)
                                 {
                                     Take(socket, received->substr(0, end));
                                     received->erase(0, end + 4);
                                 }
                             });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void Take(QTcpSocket* socket, const std::string& header)
    {
        const std::size_t space = header.find(' ');
        const std::string target = header.substr(space + 1, header.find(' ', space + 1) - space - 1);
        Requests.push_back(target);
        Times.push_back(clock.elapsed());
        MostOpen = std::max(MostOpen, ++open);
        MostOpenOf[target] = std::max(MostOpenOf[target], ++openOf[target]);
        QTimer::singleShot(delay, socket,
                           [this, socket, target, header]
                           {
                               --open;
                               --openOf[target];
                               Answer(socket, target, header);
                           });
    }

    void Answer(QTcpSocket* socket, const std::string& target, const std::string& header)
    {
        AnsweredAt[target] = clock.elapsed();
        const auto found = bodies.find(target);
        const auto guard = protectedBy.find(target);
        std::string answer;
        bool close = false;
        if (guard != protectedBy.end() && header.find("Authorization: " + guard->second) == npos)
            answer = "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"files\"\r\n"
                     "Content-Length: 0\r\n\r\n";
        else if (found == bodies.end())
            answer = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
        else
        {
            const std::string& body = found->second;
            answer = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
            if (cuts[target] > 0 || (!stalling.empty() && target.starts_with(stalling)))
            {
                close = cuts[target]-- > 0;
                answer += body.substr(0, body.size() / 10);
            }
            else
                answer += body;
        }
        socket->write(answer.data(), static_cast<qint64>(answer.size()));
        if (close)
            socket->disconnectFromHost();
    }

    QTcpServer server;
    QElapsedTimer clock;
    int delay;
    int open = 0;
    std::map<std::string, int> openOf;
    std::map<std::string, std::string> bodies;
    std::map<std::string, int> cuts;
    std::map<std::string, std::string> protectedBy;
    std::string stalling;
};

// Files f0.zip... on site, of size + i bytes of the i-th letter, linked from page: by their name
// when the page is on the same site, else by their whole address.
void FilesOn(PacedSite& site, int count, std::size_t size, std::string& page, bool sameSite = true)
{
    for (int i = 0; i < count; ++i)
    {
        const std::string name = "f" + std::to_string(i) + ".zip";
        site.File("/" + name,
                  std::string(size + static_cast<std::size_t>(i), static_cast<char>('a' + i % 26)));
        page += "<a href=" + (sameSite ? name : site.Url("/" + name)) + ">";
    }
}

// The name a link by its whole address is saved under.
std::string SavedAs(std::string address)
{
    std::replace_if(
        address.begin(), address.end(), [](char c) { return c == '/' || c == ':'; }, '-');
    return address;
}

std::vector<std::string> FilesInTree(const std::string& directory)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory, error))
        if (entry.is_regular_file())
            names.push_back(entry.path().string());
    return names;
}

// The lines of a log as blocks: each file's path line with the lines after it, up to the next
// path line or the end of the entry.
std::map<std::string, std::vector<std::string>> FileBlocks(const std::vector<std::string>& lines,
                                                           const std::string& out)
{
    std::map<std::string, std::vector<std::string>> blocks;
    std::string current;
    for (const std::string& line : lines)
    {
        if (line.starts_with(out))
            current = line;
        else if (line.starts_with("Download completed") || line.starts_with("Processing URL"))
            current.clear();
        if (!current.empty())
            blocks[current].push_back(line);
    }
    return blocks;
}

class ParallelRun : public EngineTest
{
};
} // namespace

TEST_F(ParallelRun, TransfersGoOnAtOnceWithinTheLimitAndOnePerServerWithAPause)
{
    // Without a pause: up to the limit at once, to one server, over as many kept connections;
    // the next entry's page comes while the last files of the one before do.
    {
        PacedSite site(20);
        PacedSite next(20);
        std::string page;
        // Eight rounds of five, and three for the last, beside which the next page comes.
        FilesOn(site, 38, 3000, page);
        site.Page("/index.html", page);
        next.Page("/index.html", "<a href=n.zip>");
        next.File("/n.zip", "N");
        preferences.Pause = 0;
        preferences.Simultaneous = 5;
        run.URLList.SetItems(
            {site.Url("/index.html") + "->" + Out(), next.Url("/index.html") + "->" + Out()});
        Go();
        EXPECT_EQ(home.Read("out/n.zip"), "N");
        EXPECT_LT(next.Times.front() + 5, site.AnsweredAt["/f37.zip"]);
        EXPECT_EQ(run.ErrorCount(), 0);
        EXPECT_EQ(run.FilesDone(), 39u);
        EXPECT_EQ(home.Read("out/f37.zip"), std::string(3037, 'a' + 37 % 26));
        EXPECT_EQ(site.MostOpen, 5);
        EXPECT_EQ(run.MostInFlight(), 5);
        EXPECT_EQ(site.ClientPorts.size(), 5u) << "each transfer keeps its connection";
        EXPECT_LE(site.Accepted.back(), site.AnsweredAt["/index.html"]) << "all opened while the page came";
        EXPECT_EQ(run.FileList.State(0), "done");
    }
    // With a pause: one transfer at a time per server, the pause between its files, and two
    // servers at once.
    platform::SetPauseScale(1, 20);
    PacedSite first(10);
    PacedSite second(10);
    std::string page;
    FilesOn(first, 4, 100, page);
    FilesOn(second, 4, 100, page, false);
    first.Page("/index.html", page);
    preferences.Pause = 1;
    preferences.Simultaneous = 5;
    run.URLList.SetItems({first.Url("/index.html") + "->" + Out() + "paused/"});
    Go();
    EXPECT_EQ(run.ErrorCount(), 0);
    EXPECT_EQ(run.FilesDone(), 8u);
    for (const PacedSite* site : {&first, &second})
    {
        EXPECT_EQ(site->MostOpen, 1);
        // A second of pause is 50 ms at this scale; the files of one server start at least that
        // far apart.
        for (std::size_t i = 1; i < site->Times.size(); ++i)
            EXPECT_GE(site->Times[i] - site->Times[i - 1], 45) << site->Requests[i];
    }
    EXPECT_EQ(run.MostInFlight(), 2) << "the two servers overlap";
}

TEST_F(ParallelRun, TheLogOfARunAtOnceHoldsEachFilesLinesTogetherAndTheSameCountsAsOneAtATime)
{
    // A file cut short twice is tried again while the others finish.
    preferences.Level = TLogLevel::HttpCodes;
    preferences.RetryLimit = 2;
    preferences.Pause = 0;
    std::map<int, std::vector<std::string>> lines;
    std::map<int, std::string> statistics;
    for (const int simultaneous : {1, 5})
    {
        SCOPED_TRACE(simultaneous);
        PacedSite site(5);
        std::string page;
        FilesOn(site, 12, 2000, page);
        site.Page("/index.html", page + "<a href=missing.zip>");
        site.CutShort("/f3.zip", 2);
        preferences.Simultaneous = simultaneous;
        observer = RecordingObserver();
        run.URLList.SetItems({site.Url("/index.html") + "->" + Out() + std::to_string(simultaneous) + "/"});
        Go();
        EXPECT_EQ(home.Read("out/" + std::to_string(simultaneous) + "/f3.zip"), std::string(2003, 'd'));
        EXPECT_EQ(run.FilesDone(), 12u);
        EXPECT_EQ(run.ErrorCount(), 1) << "the missing file";
        EXPECT_EQ(std::count(site.Requests.begin(), site.Requests.end(), "/f3.zip"), 3);
        if (simultaneous > 1)
        {
            // The others went on while the cut file came again.
            const auto f3 = std::find(site.Requests.begin(), site.Requests.end(), "/f3.zip");
            const auto last = std::find(site.Requests.rbegin(), site.Requests.rend(), "/f3.zip").base();
            EXPECT_GT(std::count_if(f3, last, [](const std::string& r) { return r != "/f3.zip"; }), 0);
        }
        lines[simultaneous] = observer.Lines;
        statistics[simultaneous] = observer.LastStatistics;
        EXPECT_EQ(observer.LinesWith("Transfer incomplete"), 0) << "a retried file that came is no error";
    }
    // The same blocks, each whole in one place, and the same totals.
    const auto sequential = FileBlocks(lines[1], Out() + "1/");
    auto parallel = FileBlocks(lines[5], Out() + "5/");
    ASSERT_EQ(sequential.size(), 13u);
    ASSERT_EQ(parallel.size(), 13u);
    for (const auto& [path, block] : sequential)
    {
        std::vector<std::string> expected = block;
        expected[0] = Out() + "5/" + path.substr((Out() + "1/").size());
        EXPECT_EQ(parallel[expected[0]], expected) << path;
    }
    const auto counts = [](const std::string& text) { return text.substr(0, text.find(" @ ")); };
    EXPECT_EQ(counts(statistics[5]), counts(statistics[1]));
    EXPECT_NE(statistics[1].find("in 12 files"), npos) << statistics[1];
    const auto completed = [](const std::vector<std::string>& log)
    {
        const auto line = std::find_if(
            log.begin(), log.end(), [](const std::string& l) { return l.starts_with("Download completed"); });
        return line == log.end() ? std::string() : line->substr(line->find(".  "));
    };
    EXPECT_EQ(completed(lines[5]), completed(lines[1]));
}

TEST_F(ParallelRun, StopEndsEveryTransferAndSkipFileEndsTheChosenOneEvenBeforeItStarts)
{
    preferences.Pause = 0;
    preferences.Simultaneous = 5;
    preferences.Level = TLogLevel::URLs;
    // Stop with five under way: nothing of them is kept, and nothing is asked for afterwards.
    {
        PacedSite site(0);
        std::string page;
        FilesOn(site, 20, 100000, page);
        site.Page("/index.html", page);
        site.Stall("/f");
        std::size_t requestsAtStop = 0;
        observer.OnFileProgress = [&](std::int64_t received, std::int64_t)
        {
            if (requestsAtStop == 0 && run.InFlight() == 5 && received >= 5 * 10000)
            {
                requestsAtStop = site.Requests.size();
                run.RequestStop();
            }
        };
        run.URLList.SetItems({site.Url("/index.html") + "->" + Out() + "stop/"});
        Go();
        ASSERT_EQ(requestsAtStop, 6u) << "the page and five files";
        platform::Pause(100);
        EXPECT_EQ(site.Requests.size(), requestsAtStop);
        EXPECT_EQ(FilesInTree(Out() + "stop/").size(), 1u) << "only the page";
        EXPECT_EQ(observer.LinesWith(" Stopped"), 5);
        EXPECT_EQ(run.FilesDone(), 0u);
        EXPECT_EQ(observer.LastStatus(), "Cancelled.");
    }
    // Skip File on a waiting file: it never starts; the others come.
    PacedSite site(30);
    std::string page;
    FilesOn(site, 8, 100, page);
    site.Page("/index.html", page);
    preferences.Simultaneous = 2;
    observer = RecordingObserver();
    bool skipped = false;
    observer.OnFileProgress = [&](std::int64_t, std::int64_t)
    {
        if (!skipped && run.InFlight() == 2)
        {
            skipped = true;
            run.RequestSkipFile(6);
        }
    };
    run.URLList.SetItems({site.Url("/index.html") + "->" + Out() + "skip/"});
    Go();
    ASSERT_TRUE(skipped);
    EXPECT_EQ(std::count(site.Requests.begin(), site.Requests.end(), "/f6.zip"), 0);
    EXPECT_FALSE(home.Exists("out/skip/f6.zip"));
    EXPECT_EQ(home.Read("out/skip/f7.zip"), std::string(107, 'h'));
    EXPECT_EQ(run.FilesDone(), 7u);
    EXPECT_EQ(run.ErrorCount(), 0);
    EXPECT_EQ(observer.LinesWith(Out() + "skip/f6.zip Skipped"), 1);
    EXPECT_EQ(run.FileList.State(6), "skipped");
}

TEST_F(ParallelRun, ALoginQuestionHoldsItsServerWhileAnotherServerGoesOn)
{
    // The question takes a while, as a person would; meanwhile the other server's files come,
    // and the protected server's other transfers wait for the answer rather than ask again.
    class SlowPrompts : public platform::ScriptedPrompts
    {
      public:
        std::function<void()> During;
        bool Login(const platform::LoginQuestion& question, platform::LoginAnswer& answer) override
        {
            // A dialog's own loop, for as long as a person takes.
            QEventLoop dialog;
            QTimer::singleShot(300, &dialog, &QEventLoop::quit);
            dialog.exec();
            if (During)
                During();
            return ScriptedPrompts::Login(question, answer);
        }
    } slowPrompts;
    PacedSite locked(5);
    PacedSite open(20);
    std::string page;
    FilesOn(locked, 3, 100, page, false);
    FilesOn(open, 6, 100, page);
    const std::string authorization = "Basic dXNlcjpwYXNz";
    for (int i = 0; i < 3; ++i)
        locked.Protect("/f" + std::to_string(i) + ".zip", authorization);
    open.Page("/index.html", page);
    std::size_t openDuringQuestion = 0;
    slowPrompts.During = [&] { openDuringQuestion = open.Requests.size(); };
    slowPrompts.LoginAnswers = {platform::LoginAnswer{"user", "pass"}};
    preferences.Pause = 0;
    preferences.Simultaneous = 6;
    run.URLList.SetItems({open.Url("/index.html") + "->" + Out()});
    Go();
    EXPECT_EQ(run.ErrorCount(), 0) << ::testing::PrintToString(observer.Lines);
    EXPECT_EQ(slowPrompts.LoginQuestions.size(), 1u);
    EXPECT_EQ(home.Read("out/" + SavedAs(locked.Url("/f2.zip"))), std::string(102, 'c'));
    EXPECT_EQ(run.FilesDone(), 9u);
    EXPECT_EQ(openDuringQuestion, 7u) << "the other server's files came during the question";
    EXPECT_EQ(locked.Requests.size(), 6u) << "each protected file asked once without and once with the login";
}

TEST_F(ParallelRun, TwoLinksToOneFileNeverWriteItAtOnce)
{
    PacedSite site(50);
    site.File("/a.zip", std::string(5000, 'a'));
    site.Page("/index.html", "<a href=a.zip><a href=/a.zip><a href=b.zip>");
    site.File("/b.zip", "B");
    preferences.Pause = 0;
    preferences.Simultaneous = 5;
    preferences.OverwriteOn = true;
    run.URLList.SetItems({site.Url("/index.html") + "->" + Out()});
    Go();
    EXPECT_EQ(run.ErrorCount(), 0);
    EXPECT_EQ(std::count(site.Requests.begin(), site.Requests.end(), "/a.zip"), 2);
    EXPECT_EQ(site.MostOpenOf["/a.zip"], 1) << "the second waited for the first";
    EXPECT_EQ(site.MostOpen, 2) << "b.zip did not wait";
    EXPECT_EQ(home.Read("out/a.zip"), std::string(5000, 'a'));
}
