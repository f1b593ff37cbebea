#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <QTimer>

#include "net/nmftp.h"
#include "peers.h"
#include "tempdir.h"

// Against the anonymous FTP server that tests/peers starts on 127.0.0.1.
namespace
{
std::string FileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class FtpPeer : public ::testing::Test
{
  protected:
    FtpPeer()
    {
        // Set up as the robot sets up its client.
        ftp.Host = "127.0.0.1";
        ftp.Port = PeerPort("ftp");
        ftp.UserID = "anonymous";
        ftp.Password = AnonymousPassword;
        ftp.ReportLevel = 2;
        ftp.OnStatus = [this](QObject*, const std::string& text) { status.push_back(text); };
        watchdog.setInterval(60000);
        QObject::connect(&watchdog, &QTimer::timeout,
                         [this]
                         {
                             ADD_FAILURE() << "the watchdog had to abort the client after "
                                           << (status.empty() ? std::string("nothing") : status.back());
                             ftp.Abort();
                         });
        watchdog.start();
    }

    // The robot's sequence for one ftp:// file.
    void Fetch(const std::string& directory, const std::string& name, const std::string& local)
    {
        ftp.Connect();
        ftp.ChangeDir(directory);
        ftp.TransferType(2);
        ftp.Download(name, local);
        ftp.Disconnect();
    }

    std::string root = PeerStateDir("ftp") + "root/";
    // Declared before the client, whose destruction may still report.
    std::vector<std::string> status;
    TNMFTP ftp;
    QTimer watchdog;
    TempDir dir;
};
} // namespace

TEST_F(FtpPeer, RobotSequenceFetchesSmallEmptyAndLargeFiles)
{
    Fetch("/", "small.txt", dir.Path() + "small.txt");
    EXPECT_EQ(dir.Read("small.txt"), FileBytes(root + "small.txt"));
    EXPECT_EQ(ftp.ExpectedCount, 47);
    EXPECT_FALSE(ftp.IsConnected());

    Fetch("/", "empty.bin", dir.Path() + "empty.bin");
    EXPECT_TRUE(dir.Exists("empty.bin"));
    EXPECT_EQ(dir.Read("empty.bin"), "");
    EXPECT_EQ(ftp.ExpectedCount, 0);

    std::int64_t progress = 0;
    ftp.OnPacketRecvd = [&](QObject*) { progress = ftp.DataReceivedCount(); };
    Fetch("/pub/", "large.bin", dir.Path() + "large.bin");
    const std::string large = FileBytes(root + "pub/large.bin");
    ASSERT_EQ(large.size(), 24u * 1024 * 1024);
    EXPECT_TRUE(FileBytes(dir.Path() + "large.bin") == large);
    EXPECT_EQ(ftp.ExpectedCount, static_cast<std::int64_t>(large.size()));
    EXPECT_GT(progress, 0);

    // The server's own lines come through in the status, the password never does.
    ASSERT_FALSE(status.empty());
    EXPECT_EQ(status.front().substr(0, 4), "220 ");
    EXPECT_NE(std::find(status.begin(), status.end(), "Received 25165824 Bytes"), status.end());
    for (const std::string& line : status)
        EXPECT_EQ(line.find(AnonymousPassword), std::string::npos) << line;
}

TEST_F(FtpPeer, ServerErrorsLeaveTheSessionUsable)
{
    ftp.Connect();
    ftp.TransferType(2);
    try
    {
        ftp.ChangeDir("/nowhere/");
        FAIL() << "ChangeDir succeeded";
    }
    catch (const FTPException& error)
    {
        EXPECT_EQ(error.Message().substr(0, 4), "550 ");
    }
    try
    {
        ftp.Download("missing.zip", dir.Path() + "missing.zip");
        FAIL() << "Download succeeded";
    }
    catch (const FTPException& error)
    {
        EXPECT_EQ(error.Message().substr(0, 4), "550 ");
    }
    EXPECT_FALSE(dir.Exists("missing.zip"));

    ftp.Download("small.txt", dir.Path() + "small.txt");
    ftp.ChangeDir("/pub/");
    ftp.Download("large.bin", dir.Path() + "large.bin");
    ftp.Disconnect();
    EXPECT_EQ(dir.Read("small.txt"), FileBytes(root + "small.txt"));
    EXPECT_TRUE(FileBytes(dir.Path() + "large.bin") == FileBytes(root + "pub/large.bin"));
}

TEST_F(FtpPeer, PassiveModeAndIPv6SessionsFetchTheWholeFile)
{
    const std::string large = FileBytes(root + "pub/large.bin");
    const std::string port6 = PeerValue("ftp", "port6");
    struct Way
    {
        std::string host;
        int port;
        bool passive;
        std::string dataCommand;
    };
    std::vector<Way> ways = {{"127.0.0.1", ftp.Port, true, "EPSV"}};
    if (port6 != "none")
    {
        ways.push_back({"[::1]", std::stoi(port6), false, "EPRT |2|::1|"});
        ways.push_back({"[::1]", std::stoi(port6), true, "EPSV"});
    }
    for (const Way& way : ways)
    {
        SCOPED_TRACE(way.host + (way.passive ? " passive" : " active"));
        status.clear();
        ftp.Host = way.host;
        ftp.Port = way.port;
        ftp.Passive = way.passive;
        Fetch("/pub/", "large.bin", dir.Path() + "large.bin");
        EXPECT_TRUE(FileBytes(dir.Path() + "large.bin") == large);
        EXPECT_NE(std::find_if(status.begin(), status.end(),
                               [&](const std::string& line) { return line.starts_with(way.dataCommand); }),
                  status.end());
        EXPECT_EQ(std::find_if(status.begin(), status.end(),
                               [](const std::string& line) { return line.starts_with("PORT"); }),
                  status.end());
    }
    if (port6 == "none")
        GTEST_SKIP() << "this machine has no IPv6 loopback (::1): only passive mode over IPv4 was tried";
}
