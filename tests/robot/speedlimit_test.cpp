// A run under a speed limit: the rate a server sees across every transfer of the run, each
// transfer's share of it, and the watchdog's patience with transfers that wait their turn.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "enginetest.h"

namespace
{
// An HTTP/1.1 server of a page and its files that sends each body only as fast as the client takes
// it, and notes when every byte went into the system, per connection. Its own send buffer is kept
// small, so what it notes is what the client reads, give or take the buffers on the way.
class MeteredSite
{
  public:
    struct Sent
    {
        std::string target;
        qint64 at;
        qint64 bytes;
    };

    MeteredSite()
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this] { Accept(); });
        clock.start();
    }

    void Add(const std::string& target, std::string body) { bodies[target] = std::move(body); }
    std::string Url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(server.serverPort()) + path;
    }
    qint64 Now() const { return clock.elapsed(); }

    // Bytes of files (not the page) that went out from to until milliseconds, in all and per
    // file.
    qint64 FileBytes(qint64 from, qint64 until, std::map<std::string, qint64>* perFile = nullptr) const
    {
        qint64 total = 0;
        for (const Sent& sent : log)
            if (sent.at >= from && sent.at < until && sent.target != "/index.html")
            {
                total += sent.bytes;
                if (perFile)
                    (*perFile)[sent.target] += sent.bytes;
            }
        return total;
    }

  private:
    struct Outgoing
    {
        std::string target;
        std::string request;
        std::string body;
        std::size_t next = 0;
    };

    void Accept()
    {
        while (QTcpSocket* socket = server.nextPendingConnection())
        {
            socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 16 * 1024);
            auto outgoing = std::make_shared<Outgoing>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket,
                             [this, socket, outgoing]
                             {
                                 outgoing->request += socket->readAll().toStdString();
                                 const std::size_t end = outgoing->request.find("\r\n\r\n");
                                 if (end == std::string::npos)
                                     return;
                                 const std::size_t space = outgoing->request.find(' ');
                                 outgoing->target = outgoing->request.substr(
                                     space + 1, outgoing->request.find(' ', space + 1) - space - 1);
                                 outgoing->request.erase(0, end + 4);
                                 const std::string& body = bodies[outgoing->target];
                                 outgoing->body =
                                     "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                                     "\r\n\r\n" + body;
                                 outgoing->next = 0;
                                 Feed(socket, *outgoing);
                             });
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket,
                             [this, socket, outgoing](qint64 bytes)
                             {
                                 log.push_back({outgoing->target, clock.elapsed(), bytes});
                                 Feed(socket, *outgoing);
                             });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    // Tops Qt's queue up to a little, so the body goes at the pace the system takes it.
    static void Feed(QTcpSocket* socket, Outgoing& outgoing)
    {
        constexpr std::size_t Piece = 8 * 1024;
        while (socket->bytesToWrite() < static_cast<qint64>(Piece) && outgoing.next < outgoing.body.size())
        {
            const std::size_t length = std::min(Piece, outgoing.body.size() - outgoing.next);
            socket->write(outgoing.body.data() + outgoing.next, static_cast<qint64>(length));
            outgoing.next += length;
        }
    }

    QTcpServer server;
    QElapsedTimer clock;
    std::map<std::string, std::string> bodies;
    std::vector<Sent> log;
};

class SpeedLimit : public EngineTest
{
  protected:
    // A page linking count files of size bytes each.
    void FilesOn(MeteredSite& site, int count, std::size_t size)
    {
        std::string page;
        for (int i = 0; i < count; ++i)
        {
            const std::string name = "f" + std::to_string(i) + ".zip";
            site.Add("/" + name, std::string(size, static_cast<char>('a' + i)));
            page += "<a href=" + name + ">";
        }
        site.Add("/index.html", page);
        run.URLList.SetItems({site.Url("/index.html") + "->" + Out()});
        preferences.Pause = 0;
        preferences.Simultaneous = count;
    }
};
} // namespace

TEST_F(SpeedLimit, TheWholeRunKeepsToTheLimitInEveryWindowWithEachTransferItsShare)
{
    // Four transfers at once under 1 MiB/s, stopped after a few seconds. Once the buffers on the
    // way have filled, every window sees the limit across all connections, and no connection is
    // starved for the others.
    constexpr qint64 Rate = 1024 * 1024;
    constexpr int Transfers = 4;
    MeteredSite site;
    FilesOn(site, Transfers, 2 * 1024 * 1024);
    preferences.Rate = Rate;
    QTimer::singleShot(3700, [this] { run.RequestStop(); });
    Go();
    ASSERT_GE(site.Now(), 3500);

    constexpr qint64 Window = 1500;
    for (const qint64 from : {qint64{500}, 500 + Window})
    {
        std::map<std::string, qint64> perFile;
        const qint64 bytes = site.FileBytes(from, from + Window, &perFile);
        const double rate = static_cast<double>(bytes) * 1000 / Window;
        EXPECT_LE(rate, Rate * 1.05) << "window from " << from << " ms";
        // Never faster; slower only by what a busy machine's late timers cost.
        EXPECT_GE(rate, Rate * 0.85) << "window from " << from << " ms";
        ASSERT_EQ(perFile.size(), static_cast<std::size_t>(Transfers));
        for (const auto& [file, sent] : perFile)
        {
            EXPECT_GE(sent, bytes / Transfers * 7 / 10) << file;
            EXPECT_LE(sent, bytes / Transfers * 13 / 10) << file;
        }
    }
}

TEST_F(SpeedLimit, ATransferWaitingItsTurnIsNotGivenUp)
{
    // At 16 KiB/s shared by four, each transfer reads a share every few rounds of the limit, far
    // longer apart than the time-out (5 s is 50 ms at the tests' scale); only a silent server
    // times out.
    MeteredSite site;
    FilesOn(site, 4, 6 * 1024);
    preferences.Rate = 16 * 1024;
    preferences.TimeOutSeconds = 5;
    QElapsedTimer took;
    took.start();
    Go();
    EXPECT_EQ(run.ErrorCount(), 0);
    EXPECT_EQ(run.FilesDone(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(home.Read("out/f" + std::to_string(i) + ".zip"),
                  std::string(6 * 1024, static_cast<char>('a' + i)));
    EXPECT_EQ(observer.LinesWith("no data"), 0);
    // The limit was in force: 24 KiB of files at 16 KiB/s, less what the first round may take.
    EXPECT_GE(took.elapsed(), 1200);
}
