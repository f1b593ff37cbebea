#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/exception.h"
#include "settings/settingsstore.h"
#include "filesizelimit.h"
#include "messageof.h"
#include "tempdir.h"

namespace
{
const std::string Key = "SOFTWARE\\Corvane\\Kestrow\\Settings";
} // namespace

TEST(SettingsStore, ValuesComeBackWithTheirTypes)
{
    TempDir dir;
    const std::string file = dir.Path() + "sub/Kestrow.json";
    {
        TSettingsStore store(file);
        ASSERT_TRUE(store.OpenKey(Key, true));
        store.WriteString("Extension", ".zip");
        store.WriteExpandString("OutputPath", "$HOME/Files");
        store.WriteInteger("FrmPrefLoc", -262148);
        store.WriteBool("URLContainsChecked", false);
        store.WriteString("ProxyServer", "pröxy:8080");
    }
    TSettingsStore store(file);
    ASSERT_TRUE(store.OpenKey(Key, false));
    EXPECT_EQ(store.ReadString("Extension"), ".zip");
    EXPECT_EQ(store.GetDataType("Extension"), TSettingsDataType::String);
    EXPECT_EQ(store.ReadString("OutputPath"), "$HOME/Files");
    EXPECT_EQ(store.GetDataType("OutputPath"), TSettingsDataType::ExpandString);
    EXPECT_EQ(store.ReadInteger("FrmPrefLoc"), -262148);
    EXPECT_EQ(store.GetDataType("FrmPrefLoc"), TSettingsDataType::Integer);
    EXPECT_FALSE(store.ReadBool("URLContainsChecked"));
    EXPECT_EQ(store.ReadInteger("URLContainsChecked"), 0);
    EXPECT_EQ(store.ReadString("ProxyServer"), "pröxy:8080");
    // Names match whatever their letter case, as in the registry.
    EXPECT_EQ(store.ReadString("extension"), ".zip");
    store.WriteString("EXTENSION", ".rar");
    TSettingsStore again(file);
    ASSERT_TRUE(again.OpenKey(Key, false));
    EXPECT_EQ(again.ReadString("Extension"), ".rar");
}

TEST(SettingsStore, AbsentAndMistypedValuesRaiseTheStoreMessages)
{
    TempDir dir;
    const std::string file = dir.Write("Kestrow.json", R"({"SOFTWARE\\Corvane\\Kestrow\\Settings": {
        "Extension": {"type": "text", "data": ".zip"},
        "LogLevel": {"type": "text", "data": "2"},
        "TimeOut": {"type": "integer", "data": 1.5},
        "Retries": {"type": "binary", "data": "AAE="},
        "Big": {"type": "integer", "data": 4294967295},
        "Huge": {"type": "integer", "data": 4294967296},
        "Count": {"type": "integer", "data": 3}
    }})");
    TSettingsStore store(file);
    ASSERT_TRUE(store.OpenKey(Key, false));
    EXPECT_EQ(store.ReadString("StartAt"), "");
    EXPECT_EQ(MessageOf([&] { store.ReadInteger("FrmDirLoc"); }), "Failed to get data for 'FrmDirLoc'");
    EXPECT_EQ(MessageOf([&] { store.ReadInteger("LogLevel"); }), "Invalid data type for 'LogLevel'");
    EXPECT_EQ(MessageOf([&] { store.ReadInteger("TimeOut"); }), "Invalid data type for 'TimeOut'");
    EXPECT_EQ(MessageOf([&] { store.ReadInteger("Retries"); }), "Invalid data type for 'Retries'");
    EXPECT_EQ(MessageOf([&] { store.ReadString("Retries"); }), "Invalid data type for 'Retries'");
    EXPECT_EQ(MessageOf([&] { store.ReadString("Count"); }), "Invalid data type for 'Count'");
    EXPECT_EQ(MessageOf([&] { store.ReadInteger("Huge"); }), "Invalid data type for 'Huge'");
    EXPECT_EQ(store.ReadInteger("Big"), -1);
}

TEST(SettingsStore, KeyOpensOnlyWhereItExists)
{
    TempDir dir;
    TSettingsStore missing(dir.Path() + "none.json");
    EXPECT_FALSE(missing.OpenKey(Key, false));
    EXPECT_FALSE(dir.Exists("none.json"));
    EXPECT_EQ(MessageOf([&] { missing.WriteString("Extension", "x"); }),
              "Failed to set data for 'Extension'");
    EXPECT_FALSE(dir.Exists("none.json"));

    TSettingsStore otherKey(dir.Write("other.json", R"({"SOFTWARE\\Other": {}})"));
    EXPECT_FALSE(otherKey.OpenKey(Key, false));
    EXPECT_TRUE(otherKey.KeyExists("software\\other"));

    // A damaged file is neither opened nor replaced, even where creating is allowed.
    const std::string broken = "{\"SOFTWARE\\\\Corvane\\\\Kestrow\\\\Settings\": {";
    TSettingsStore damaged(dir.Write("broken.json", broken));
    EXPECT_FALSE(damaged.OpenKey(Key, true));
    EXPECT_EQ(dir.Read("broken.json"), broken);

    TSettingsStore notAKey(dir.Write("flat.json", R"({"SOFTWARE\\Corvane\\Kestrow\\Settings": 3})"));
    EXPECT_FALSE(notAKey.OpenKey(Key, true));
}

TEST(SettingsStore, FailedSaveLeavesTheOldFile)
{
    TempDir dir;
    const std::string file = dir.Path() + "Kestrow.json";
    TSettingsStore store(file);
    ASSERT_TRUE(store.OpenKey(Key, true));
    store.WriteString("Extension", ".zip");
    const std::string before = dir.Read("Kestrow.json");
    ASSERT_NE(before.find(".zip"), std::string::npos);
    {
        FileSizeLimit limit(16);
        EXPECT_EQ(MessageOf([&] { store.WriteString("OutputPath", std::string(4096, 'x')); }),
                  "Failed to set data for 'OutputPath'");
        store.BeginUpdate();
        store.WriteString("StartAt", std::string(4096, 'y'));
        store.WriteInteger("LogLevel", 3);
        EXPECT_EQ(MessageOf([&] { store.EndUpdate(); }), "Failed to set data for 'StartAt'");
    }
    EXPECT_EQ(dir.Read("Kestrow.json"), before);
    // No half-written temporary file stays behind.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++files;
    EXPECT_EQ(files, 1);
    // The store forgets what it could not save.
    EXPECT_FALSE(store.ValueExists("OutputPath"));
    EXPECT_FALSE(store.ValueExists("LogLevel"));
    store.WriteInteger("Retries", 2);
    TSettingsStore again(file);
    ASSERT_TRUE(again.OpenKey(Key, false));
    EXPECT_EQ(again.ReadString("Extension"), ".zip");
    EXPECT_EQ(again.ReadInteger("Retries"), 2);
    EXPECT_FALSE(again.ValueExists("StartAt"));
}
