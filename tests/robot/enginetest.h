#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QTimer>

#include "platform/pause.h"
#include "platform/prompt.h"
#include "platform/shell.h"
#include "robot/downloadrun.h"
#include "robot/runobserver.h"
#include "robot/runpreferences.h"
#include "tempdir.h"

// What the engine tests drive the run with: preferences the test sets field by field, and an
// observer that records what the run reports.
class FakePreferences : public TRunPreferences
{
  public:
    std::string Filter = ".zip";
    TFilterMode Mode = TFilterMode::EndsWith;
    bool OverwriteOn = false;
    bool ImagesOn = false;
    bool PrintOn = false;
    int RetryLimit = 0;
    // Long enough that no answer of a scripted server comes near it, at the tests' time-out scale.
    int TimeOutSeconds = 60;
    TLogLevel Level = TLogLevel::Files;
    TAfterDownload After = TAfterDownload::Nothing;
    bool StartAtOn = false;
    std::string StartAtText;
    std::string Proxy;
    // The tests' pauses take no time anyway (the pause scale is 0).
    int Pause = 1;
    bool Passive = false;
    int Simultaneous = DefaultSimultaneousTransfers;
    std::int64_t Rate = 0;
    std::string Cookies;
    std::string SaveCookies;
    std::string Agent;
    std::vector<std::string> Headers;
    bool Checksums = true;

    std::string FilterText() const override { return Filter; }
    TFilterMode FilterMode() const override { return Mode; }
    bool Overwrite() const override { return OverwriteOn; }
    bool SaveImages() const override { return ImagesOn; }
    bool PrintFiles() const override { return PrintOn; }
    int Retries() const override { return RetryLimit; }
    int TimeOut() const override { return TimeOutSeconds; }
    TLogLevel LogLevel() const override { return Level; }
    TAfterDownload AfterDownload() const override { return After; }
    bool StartAtChecked() const override { return StartAtOn; }
    std::string StartTime() const override { return StartAtText; }
    std::string ProxyServer() const override { return Proxy; }
    int PauseSeconds() const override { return Pause; }
    bool PassiveFtp() const override { return Passive; }
    int SimultaneousTransfers() const override { return Simultaneous; }
    std::int64_t LimitRate() const override { return Rate; }
    std::string CookiesFile() const override { return Cookies; }
    std::string SaveCookiesFile() const override { return SaveCookies; }
    std::string UserAgent() const override { return Agent; }
    std::vector<std::string> ExtraHeaders() const override { return Headers; }
    bool CheckChecksums() const override { return Checksums; }
};

class RecordingObserver : public TRunObserver
{
  public:
    std::vector<std::string> Lines;
    std::vector<std::string> Status;
    std::vector<TIndicator> Indicators;
    std::vector<std::string> Captions;
    std::string LastStatistics;
    int StateChanges = 0;
    int ViewLogs = 0;
    int CloseRequests = 0;

    // Hooks for tests that act in the middle of a run.
    std::function<void()> OnRunStarted;
    std::function<void(const std::string&)> OnStatus;
    std::function<void(TIndicator)> OnIndicator;
    std::function<void(const std::string&)> OnCaption;
    std::function<void(std::int64_t, std::int64_t)> OnFileProgress;

    void LogLine(const std::string& line, bool) override { Lines.push_back(line); }
    void StatusText(int panel, const std::string& text) override
    {
        if (panel != 0)
            return;
        Status.push_back(text);
        if (OnStatus)
            OnStatus(text);
    }
    void Indicator(TIndicator kind) override
    {
        Indicators.push_back(kind);
        if (OnIndicator)
            OnIndicator(kind);
    }
    void RunStateChanged() override { ++StateChanges; }
    void Caption(const std::string& text) override
    {
        Captions.push_back(text);
        if (OnCaption)
            OnCaption(text);
    }
    void FileProgress(std::int64_t received, std::int64_t expected) override
    {
        if (OnFileProgress)
            OnFileProgress(received, expected);
    }
    void Statistics(const std::string& text) override { LastStatistics = text; }
    void RunStarted() override
    {
        if (OnRunStarted)
            OnRunStarted();
    }
    void ViewLog() override { ++ViewLogs; }
    void CloseProgram() override { ++CloseRequests; }

    int LinesWith(const std::string& part) const
    {
        int count = 0;
        for (const std::string& line : Lines)
            count += line.find(part) != std::string::npos ? 1 : 0;
        return count;
    }
    bool Logged(const std::string& line) const
    {
        return std::find(Lines.begin(), Lines.end(), line) != Lines.end();
    }
    bool Showed(TIndicator kind) const
    {
        return std::find(Indicators.begin(), Indicators.end(), kind) != Indicators.end();
    }
    bool Showed(const std::string& status) const
    {
        return std::find(Status.begin(), Status.end(), status) != Status.end();
    }
    std::string LastStatus() const { return Status.empty() ? std::string() : Status.back(); }
};

// Drives the engine alone: preferences and observer are the test's, pauses take no time,
// time-outs a hundredth of theirs, the log goes to a temporary folder and questions are
// answered by script.
class EngineTest : public ::testing::Test
{
  protected:
    EngineTest() : run(preferences, observer) {}

    void SetUp() override
    {
        setenv("KESTROW_HOME", home.Path().c_str(), 1);
        platform::SetPauseScale(0, 1);
        platform::SetTimeOutScale(1, 100);
    }
    void TearDown() override
    {
        platform::SetPauseScale(1, 1);
        platform::SetTimeOutScale(1, 1);
        unsetenv("KESTROW_HOME");
    }

    // A run that has not ended after a few seconds is a failure; it is stopped so the test ends.
    void Go(bool testRun = false, int failsafeMilliseconds = 10000)
    {
        QTimer failsafe;
        failsafe.setSingleShot(true);
        QObject::connect(&failsafe, &QTimer::timeout,
                         [this]
                         {
                             ADD_FAILURE() << "the run did not end";
                             run.Abandon();
                         });
        failsafe.start(failsafeMilliseconds);
        RunToEnd(run.RunAsync(testRun));
    }

    std::string Out() const { return home.Path() + "out/"; }
    std::string LogFile() const { return home.Read("KestrowLog.txt"); }

    TempDir home;
    platform::ScriptedPrompts prompts;
    platform::ScriptedShell shell;
    FakePreferences preferences;
    RecordingObserver observer;
    TDownloadRun run;
};
