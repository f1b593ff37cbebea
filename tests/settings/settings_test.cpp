#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include <sys/stat.h>

#include <QByteArray>
#include <QPoint>

#include "platform/prompt.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "tempdir.h"

namespace
{
const std::string Key = "SOFTWARE\\Corvane\\Kestrow\\Settings";

// Points the program's settings file into a temporary folder for one test.
class SettingsFile : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        saved = qgetenv("KESTROW_SETTINGS");
        hadValue = qEnvironmentVariableIsSet("KESTROW_SETTINGS");
        file = dir.Path() + "config/Kestrow.json";
        qputenv("KESTROW_SETTINGS", QByteArray::fromStdString(file));
    }
    void TearDown() override
    {
        if (hadValue)
            qputenv("KESTROW_SETTINGS", saved);
        else
            qunsetenv("KESTROW_SETTINGS");
    }
    void WriteKey(const std::string& values)
    {
        dir.Write("config/Kestrow.json",
                  "{\"SOFTWARE\\\\Corvane\\\\Kestrow\\\\Settings\": {" + values + "}}");
    }

    TempDir dir;
    std::string file;
    QByteArray saved;
    bool hadValue = false;
};

TSettingsRecord Filled()
{
    TSettingsRecord settings;
    settings.Extension = "old";
    settings.OutputPath = "/old/";
    settings.LogLevel = 9;
    settings.TimeOut = 9;
    settings.Retries = 9;
    settings.StartAt = "09:00";
    settings.ProxyServer = "old:1";
    settings.FrmKestrowLoc = 9;
    settings.FrmPrefLoc = 9;
    settings.FrmDirLoc = 9;
    return settings;
}
} // namespace

TEST_F(SettingsFile, FileNameFollowsTheEnvironment)
{
    EXPECT_EQ(SettingsFileName(), file);
    qunsetenv("KESTROW_SETTINGS");
    const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/somewhere/conf");
    EXPECT_EQ(SettingsFileName(), "/somewhere/conf/Corvane/Kestrow.json");
    qputenv("XDG_CONFIG_HOME", "relative/conf");
    EXPECT_EQ(SettingsFileName().substr(SettingsFileName().size() - 29), "/.config/Corvane/Kestrow.json");
    EXPECT_EQ(SettingsFileName().find("relative"), std::string::npos);
    qputenv("XDG_CONFIG_HOME", xdg);
}

TEST_F(SettingsFile, FirstStartInstallsTheDefaultsWithoutAMessage)
{
    platform::ScriptedPrompts prompts;
    TSettingsRecord settings;
    bool contains = false;
    ReadSettings(settings, contains);
    EXPECT_TRUE(prompts.Messages.empty());
    EXPECT_TRUE(dir.Exists("config/Kestrow.json"));
    EXPECT_TRUE(contains);
    EXPECT_EQ(settings.Extension, "");
    EXPECT_EQ(settings.OutputPath, DefaultOutputPath());
    EXPECT_EQ(settings.StartAt, "");
    EXPECT_EQ(settings.ProxyServer, "");
    EXPECT_EQ(settings.LogLevel, 2);
    EXPECT_EQ(settings.TimeOut, 5);
    EXPECT_EQ(settings.Retries, 5);
    EXPECT_EQ(settings.FrmKestrowLoc, 65535);
    EXPECT_EQ(settings.FrmPrefLoc, 65535);
    EXPECT_EQ(settings.FrmDirLoc, 65535);
    EXPECT_EQ(settings.SimultaneousTransfers, 4);

    setenv("XDG_DOWNLOAD_DIR", "/data/incoming/", 1);
    EXPECT_EQ(DefaultOutputPath(), "/data/incoming/Kestrow/");
    setenv("XDG_DOWNLOAD_DIR", "relative/is/ignored", 1);
    EXPECT_NE(DefaultOutputPath().find("/Kestrow/"), std::string::npos);
    EXPECT_EQ(DefaultOutputPath().front(), '/');
    unsetenv("XDG_DOWNLOAD_DIR");

    // An existing file is never replaced by the defaults.
    const std::string installed = dir.Read("config/Kestrow.json");
    EXPECT_FALSE(InstallDefaultSettings(file));
    WriteKey(R"("Extension": {"type": "text", "data": ".pdf"})");
    EXPECT_FALSE(InstallDefaultSettings(file));
    EXPECT_NE(dir.Read("config/Kestrow.json"), installed);
}

TEST_F(SettingsFile, WrittenSettingsAreReadBack)
{
    platform::ScriptedPrompts prompts;
    TSettingsRecord written = Filled();
    written.LogLevel = 3;
    written.TimeOut = 60;
    written.Retries = 0;
    written.StartAt = "07:15";
    written.ProxyServer = "proxy.example.com:8080";
    written.FrmPrefLoc = -262148;
    written.FrmDirLoc = 65535;
    written.PauseSeconds = 0;
    written.PassiveFtp = 1;
    written.SimultaneousTransfers = 16;
    written.LimitRateKiB = 2048;
    written.CookiesFile = "/home/me/cookies.txt";
    written.UserAgent = "Mozilla/5.0 (X11; Linux x86_64)";
    written.CheckChecksums = 0;
    WriteSettings(written, ".zip", "/home/me/Files/", QPoint(100, 50), false);
    EXPECT_TRUE(prompts.Messages.empty());
    // The main window's fields are taken at the moment of saving.
    EXPECT_EQ(written.Extension, ".zip");
    EXPECT_EQ(written.OutputPath, "/home/me/Files/");
    EXPECT_EQ(written.FrmKestrowLoc, 6553650);

    TSettingsRecord read;
    bool contains = true;
    ReadSettings(read, contains);
    EXPECT_TRUE(prompts.Messages.empty());
    EXPECT_FALSE(contains);
    EXPECT_EQ(read.Extension, ".zip");
    EXPECT_EQ(read.OutputPath, "/home/me/Files/");
    EXPECT_EQ(read.LogLevel, 3);
    EXPECT_EQ(read.TimeOut, 60);
    EXPECT_EQ(read.Retries, 0);
    EXPECT_EQ(read.StartAt, "07:15");
    EXPECT_EQ(read.ProxyServer, "proxy.example.com:8080");
    EXPECT_EQ(read.FrmKestrowLoc, 6553650);
    EXPECT_EQ(read.FrmPrefLoc, -262148);
    EXPECT_EQ(read.FrmDirLoc, 65535);
    EXPECT_EQ(read.PauseSeconds, 0);
    EXPECT_EQ(read.PassiveFtp, 1);
    EXPECT_EQ(read.SimultaneousTransfers, 16);
    EXPECT_EQ(read.LimitRateKiB, 2048);
    EXPECT_EQ(read.CookiesFile, "/home/me/cookies.txt");
    EXPECT_EQ(read.UserAgent, "Mozilla/5.0 (X11; Linux x86_64)");
    EXPECT_EQ(read.CheckChecksums, 0);
    EXPECT_FALSE(read.SettingsLoaded);

    // The boolean is stored as the integer 0 or 1.
    TSettingsStore store(file);
    ASSERT_TRUE(store.OpenKey(Key, false));
    EXPECT_EQ(store.GetDataType("URLContainsChecked"), TSettingsDataType::Integer);
    EXPECT_EQ(store.ReadInteger("URLContainsChecked"), 0);
    WriteSettings(written, ".zip", "/", QPoint(0, 0), true);
    ASSERT_TRUE(store.OpenKey(Key, false));
    EXPECT_EQ(store.ReadInteger("URLContainsChecked"), 1);

    // A file of an older version, without the values added since, reads as their defaults and
    // says nothing; a transfer count edited out of range is brought into 1 to 16, also silently.
    const std::string older = R"("Extension": {"type": "text", "data": ".zip"},
                "OutputPath": {"type": "expandable", "data": "/out/"},
                "StartAt": {"type": "text", "data": ""},
                "ProxyServer": {"type": "text", "data": ""},
                "LogLevel": {"type": "integer", "data": 2},
                "URLContainsChecked": {"type": "integer", "data": 1},
                "TimeOut": {"type": "integer", "data": 5},
                "Retries": {"type": "integer", "data": 5},
                "FrmKestrowLoc": {"type": "integer", "data": 65535},
                "FrmPrefLoc": {"type": "integer", "data": 65535},
                "FrmDirLoc": {"type": "integer", "data": 65535})";
    WriteKey(older);
    TSettingsRecord old;
    ReadSettings(old, contains);
    EXPECT_TRUE(prompts.Messages.empty());
    EXPECT_EQ(old.PauseSeconds, 1);
    EXPECT_EQ(old.PassiveFtp, 0);
    EXPECT_EQ(old.SimultaneousTransfers, 4);
    EXPECT_EQ(old.LimitRateKiB, 0);
    EXPECT_EQ(old.CookiesFile, "");
    EXPECT_EQ(old.UserAgent, "");
    EXPECT_EQ(old.CheckChecksums, 1);
    EXPECT_EQ(old.FrmDirLoc, 65535);
    const std::pair<int, int> clamped[] = {{0, 1}, {-3, 1}, {17, 16}, {100000, 16}, {1, 1}, {7, 7}};
    for (const auto& [stored, taken] : clamped)
    {
        WriteKey(older + R"(, "SimultaneousTransfers": {"type": "integer", "data": )" +
                 std::to_string(stored) + "}");
        TSettingsRecord edited;
        ReadSettings(edited, contains);
        EXPECT_EQ(edited.SimultaneousTransfers, taken) << stored;
    }
    WriteKey(older + R"(, "LimitRate": {"type": "integer", "data": -5})");
    ReadSettings(old, contains);
    EXPECT_EQ(old.LimitRateKiB, 0);
    EXPECT_TRUE(prompts.Messages.empty());
}

TEST_F(SettingsFile, KeyWithOnlyTheTextsStopsAtLogLevel)
{
    WriteKey(R"("Extension": {"type": "text", "data": ".zip"},
                "OutputPath": {"type": "expandable", "data": "/out/"},
                "StartAt": {"type": "text", "data": "20:00"},
                "ProxyServer": {"type": "text", "data": "p:1"})");
    platform::ScriptedPrompts prompts;
    TSettingsRecord settings = Filled();
    bool contains = false;
    ReadSettings(settings, contains);
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_EQ(prompts.Messages[0],
              "Unable to read registry.\rPlease re-install\rFailed to get data for 'LogLevel'");
    EXPECT_EQ(settings.Extension, ".zip");
    EXPECT_EQ(settings.OutputPath, "/out/");
    EXPECT_EQ(settings.StartAt, "20:00");
    EXPECT_EQ(settings.ProxyServer, "p:1");
    EXPECT_EQ(settings.LogLevel, 9);
    EXPECT_EQ(settings.TimeOut, 9);
    EXPECT_EQ(settings.FrmDirLoc, 9);
    EXPECT_FALSE(contains);
}

TEST_F(SettingsFile, MistypedValueStopsReadingThere)
{
    WriteKey(R"("LogLevel": {"type": "integer", "data": 7},
                "URLContainsChecked": {"type": "integer", "data": 0},
                "TimeOut": {"type": "text", "data": "30"},
                "Retries": {"type": "integer", "data": 2})");
    platform::ScriptedPrompts prompts;
    TSettingsRecord settings = Filled();
    bool contains = true;
    ReadSettings(settings, contains);
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_EQ(prompts.Messages[0],
              "Unable to read registry.\rPlease re-install\rInvalid data type for 'TimeOut'");
    // Absent texts read as empty; LogLevel 7 is read without complaint.
    EXPECT_EQ(settings.Extension, "");
    EXPECT_EQ(settings.LogLevel, 7);
    EXPECT_FALSE(contains);
    EXPECT_EQ(settings.TimeOut, 9);
    EXPECT_EQ(settings.Retries, 9);
}

TEST_F(SettingsFile, MissingKeyIsReportedAndNothingChanges)
{
    dir.Write("config/Kestrow.json", R"({"SOFTWARE\\Corvane\\Other": {}})");
    platform::ScriptedPrompts prompts;
    TSettingsRecord settings = Filled();
    bool contains = false;
    ReadSettings(settings, contains);
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_EQ(prompts.Messages[0],
              "Cannot open key SOFTWARE\\Corvane\\Kestrow\\Settings\r\n" + file + ": the key is missing");
    EXPECT_EQ(settings.Extension, "old");
    EXPECT_EQ(settings.LogLevel, 9);
    EXPECT_FALSE(contains);

    // Saving then fails at the first value and leaves the file alone.
    const std::string before = dir.Read("config/Kestrow.json");
    WriteSettings(settings, ".zip", "/", QPoint(1, 2), true);
    ASSERT_EQ(prompts.Messages.size(), 2u);
    EXPECT_EQ(prompts.Messages[1], "Unable to write to registry.\rFailed to set data for 'Extension'");
    EXPECT_EQ(dir.Read("config/Kestrow.json"), before);
}

TEST_F(SettingsFile, AFileThatCannotBeReadSaysWhyAndIsNeverOverwritten)
{
    platform::ScriptedPrompts prompts;
    dir.Write("config/Kestrow.json", R"({"SOFTWARE\\Corvane\\Kestrow\\Settings": {"Extension": )");
    TSettingsRecord settings = Filled();
    bool contains = false;
    ReadSettings(settings, contains);
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_EQ(prompts.Messages[0].rfind(
                  "Cannot open key SOFTWARE\\Corvane\\Kestrow\\Settings\r\n" + file + ": ", 0),
              0u)
        << prompts.Messages[0];
    EXPECT_NE(prompts.Messages[0].find(": unterminated object at offset 55"), std::string::npos)
        << prompts.Messages[0];
    const std::string before = dir.Read("config/Kestrow.json");
    WriteSettings(settings, ".zip", "/", QPoint(1, 2), true);
    EXPECT_EQ(dir.Read("config/Kestrow.json"), before);

    // A device that never ends, or a FIFO that would block the open for ever, is no settings file
    // either: refused at once, and left as it is.
    const std::string fifo = dir.Path() + "settings.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& special : {std::string("/dev/zero"), fifo})
    {
        setenv("KESTROW_SETTINGS", special.c_str(), 1);
        platform::ScriptedPrompts refused;
        ReadSettings(settings, contains, special);
        ASSERT_EQ(refused.Messages.size(), 1u);
        EXPECT_NE(refused.Messages[0].find("\r\n" + special + " is not a regular file"), std::string::npos)
            << refused.Messages[0];
    }
    WriteSettings(settings, ".zip", "/", QPoint(1, 2), true);
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    unsetenv("KESTROW_SETTINGS");
}

TEST_F(SettingsFile, SettingsFileRemovedWhileRunningIsWrittenAfresh)
{
    platform::ScriptedPrompts prompts;
    TSettingsRecord settings;
    bool contains = true;
    ReadSettings(settings, contains);
    std::remove(file.c_str());
    settings.Retries = 7;
    WriteSettings(settings, ".mp3", "/music/", QPoint(10, 20), false);
    EXPECT_TRUE(prompts.Messages.empty());
    TSettingsRecord read;
    ReadSettings(read, contains);
    EXPECT_EQ(read.Retries, 7);
    EXPECT_EQ(read.Extension, ".mp3");
    EXPECT_EQ(read.FrmKestrowLoc, 10 * 65536 + 20);
    EXPECT_FALSE(contains);
}
