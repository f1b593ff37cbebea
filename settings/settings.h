#pragma once

#include <cstdint>
#include <string>

#include <QPoint>

// What SimultaneousTransfers holds where the file has none, and the most it may say (a larger
// stored value reads as this).
inline constexpr int32_t DefaultStoredTransfers = 4;
inline constexpr int32_t MaxStoredTransfers = 16;

// The stored settings as the main window keeps them in memory. Everything starts empty or
// zero; ReadSettings fills it when the program starts, the preferences dialog and the
// directory chooser take their values from it and give them back when hidden, and
// WriteSettings saves it when the main window closes.
struct TSettingsRecord
{
    std::string Extension;
    std::string OutputPath;
    int32_t LogLevel = 0;
    int32_t TimeOut = 0;
    int32_t Retries = 0;
    std::string StartAt;
    std::string ProxyServer;
    int32_t FrmKestrowLoc = 0;
    int32_t FrmPrefLoc = 0;
    int32_t FrmDirLoc = 0;
    // The main window's size as Width * 65536 + Height; 0 for the size it opens at. Files of
    // older versions have none.
    int32_t FrmKestrowSize = 0;
    // Seconds between the starts of two files, 0 to 60; and whether FTP data connections are
    // made by the client (passive) rather than the server. Files of older versions have
    // neither: they read as 1 second and active.
    int32_t PauseSeconds = 1;
    int32_t PassiveFtp = 0;
    // How many files a run fetches at once, 1 to MaxStoredTransfers; files of older versions
    // have none.
    int32_t SimultaneousTransfers = DefaultStoredTransfers;
    int32_t CheckChecksums = 1;
    // Set by the main window once ReadSettings has returned; the preferences dialog takes
    // no values from the record before that.
    bool SettingsLoaded = false;
};

// The key that holds the settings, and the text of the messages that name it.
extern const char* const SettingsKey;

// The settings file: $KESTROW_SETTINGS when set, else Corvane/Kestrow.json under
// $XDG_CONFIG_HOME (by default ~/.config).
std::string SettingsFileName();

// Where downloads go on a first start: the user's download folder ($XDG_DOWNLOAD_DIR, the
// desktop's setting, else ~/Downloads) + "/Kestrow/".
std::string DefaultOutputPath();

// What an installation puts into the store: the default output path, other texts empty,
// "Contains" mode, log level 2, time-out 5 s, 5 retries and every window centred.
TSettingsRecord DefaultSettings();

// Creates the file with the settings key and DefaultSettings when the file does not exist,
// so that a first start finds its key. An existing file is never touched. Returns whether
// the file was created.
bool InstallDefaultSettings(const std::string& fileName = SettingsFileName());

// Fills the record from the store, in the stored order. urlContainsChecked receives the
// filter mode ("Contains" when true) when it was read and keeps its value otherwise.
// Failures are reported in a message box: a missing key leaves the record as it was; a
// missing or mistyped integer stops reading there, keeping what was already read.
void ReadSettings(TSettingsRecord& settings, bool& urlContainsChecked,
                  const std::string& fileName = SettingsFileName());

// Takes the main window's filter text, output path and position into the record, then
// saves the whole record and the filter mode. A failed write stops there and is reported
// in a message box; the file keeps every value not yet written.
void WriteSettings(TSettingsRecord& settings, const std::string& editExtension,
                   const std::string& editOutputPath, const QPoint& mainWindowPosition,
                   bool urlContainsChecked, const std::string& fileName = SettingsFileName());
