#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include <sys/stat.h>

#include <QElapsedTimer>
#include <QTimer>

#include "messageof.h"
#include "platform/task.h"
#include "platform/filebytes.h"
#include "platform/pause.h"
#include "platform/programdirectory.h"
#include "platform/prompt.h"
#include "platform/widgettext.h"
#include "tempdir.h"

TEST(ScriptedPrompts, RecordsAndAnswersThenRestoresThePreviousHandler)
{
    platform::ScriptedPrompts outer;
    {
        platform::ScriptedPrompts inner;
        inner.Answers = {true};
        platform::ShowMessage("Saved to x");
        EXPECT_TRUE(platform::Confirm("Stop downloads?"));
        EXPECT_FALSE(platform::Confirm("Skip this file?"));
        EXPECT_EQ(inner.Messages, std::vector<std::string>{"Saved to x"});
        EXPECT_EQ(inner.Questions, (std::vector<std::string>{"Stop downloads?", "Skip this file?"}));

        // Logins are answered in turn; an empty answer, and one that is missing, cancel.
        inner.LoginAnswers = {platform::LoginAnswer{"bob", "pw"}, std::nullopt};
        platform::LoginQuestion question;
        question.Server = "http://host:80";
        platform::LoginAnswer answer;
        EXPECT_TRUE(platform::AskLogin(question, answer));
        EXPECT_EQ(answer.Password, "pw");
        EXPECT_FALSE(platform::AskLogin(question, answer));
        EXPECT_FALSE(platform::AskLogin(question, answer));
        ASSERT_EQ(inner.LoginQuestions.size(), 3u);
        EXPECT_EQ(inner.LoginQuestions[2].Server, "http://host:80");
    }
    platform::ShowMessage("after");
    EXPECT_EQ(outer.Messages, std::vector<std::string>{"after"});
}

TEST(ProgramDirectory, EndsWithASeparatorAndHonoursTheOverride)
{
    setenv("KESTROW_HOME", "/opt/kestrow", 1);
    EXPECT_EQ(platform::ProgramDirectory(), "/opt/kestrow/");
    unsetenv("KESTROW_HOME");
    const std::string own = platform::ProgramDirectory();
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(own.back(), '/');
    EXPECT_NE(own, "/opt/kestrow/");
}

TEST(DataDirectory, BesideTheProgramUnlessInASystemFolder)
{
    TempDir home, data;
    setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
    setenv("KESTROW_HOME", home.Path().c_str(), 1);
    EXPECT_EQ(platform::DataDirectory(), home.Path());
    // A packaged copy under /usr keeps its files in the data directory even for root, who could
    // write there.
    setenv("KESTROW_HOME", "/usr/share", 1);
    EXPECT_EQ(platform::DataDirectory(), data.Path() + "Kestrow/");
    EXPECT_TRUE(data.Exists("Kestrow"));
    unsetenv("KESTROW_HOME");
    unsetenv("XDG_DATA_HOME");
}

TEST(Pause, KeepsEventsRunningAndCanBeShortened)
{
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);
    platform::Pause(60);
    EXPECT_GT(ticks, 0);

    platform::SetPauseScale(0, 1);
    QElapsedTimer elapsed;
    elapsed.start();
    platform::Pause(10000);
    platform::SetPauseScale(1, 1);
    EXPECT_LT(elapsed.elapsed(), 5000);
}

TEST(WaitForEvents, ReturnsWhenAnEventArrivesOrTheTimeIsUp)
{
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    platform::WaitForEvents(1000);
    EXPECT_TRUE(fired);
    // With nothing to do the wait still comes back: it must never block for good.
    platform::WaitForEvents(2);
}

TEST(ReadFileBytes, RefusesWhatIsNoRegularFileAtOnceAndStopsAtItsBound)
{
    TempDir dir;
    // A FIFO without a writer would block the open for ever, a device never end.
    const std::string fifo = dir.Path() + "settings.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(MessageOf([&] { ReadFileBytes(fifo); }), fifo + " is not a regular file");
    EXPECT_EQ(MessageOf([] { ReadFileBytes("/dev/zero"); }), "/dev/zero is not a regular file");
    EXPECT_EQ(MessageOf([&] { ReadFileBytes(dir.Path()); }), dir.Path() + " is not a regular file");
    const std::string file = dir.Write("list.kes", std::string(4096, 'x'));
    EXPECT_EQ(MessageOf([&] { ReadFileBytes(file, 4095); }),
              "The file " + file + " is larger than 4095 bytes");
    EXPECT_EQ(ReadFileBytes(file, 4096).size(), 4096u);
}

TEST(WidgetText, ShowsUtf8AsItsCharactersAndGivesEveryOtherByteBack)
{
    EXPECT_EQ(platform::ToQString("caf\xc3\xa9 \xf0\x9f\x90\xa6"),
              QString::fromUtf8("caf\xc3\xa9 \xf0\x9f\x90\xa6"));
    const QString shown = platform::ToQString("caf\xe9.kes");
    EXPECT_EQ(shown.size(), 8);
    EXPECT_EQ(shown[3].unicode(), 0xDCE9) << "a stand-in a widget shows as a replacement character";
    // Bytes of other code pages, stray continuation bytes, cut and overlong sequences, encoded
    // surrogates and codes beyond Unicode all come back as they were, and so does what a user
    // types around them.
    for (const std::string& bytes :
         {std::string("caf\xe9"), std::string("\x80\xbf\xff\xfe"), std::string("\xc3"),
          std::string("a\xe2\x82"), std::string("\xc0\xaf\xe0\x80\xaf"),
          std::string("\xed\xa0\x80\xed\xbf\xbf"), std::string("\xf4\x90\x80\x80\xf5"),
          std::string("\xf0\x90\x82\x80\xe9"), std::string("\0z", 2)})
    {
        EXPECT_EQ(platform::ToStdString(platform::ToQString(bytes)), bytes)
            << ::testing::PrintToString(bytes);
        EXPECT_EQ(platform::ToStdString(QStringLiteral("/home/") + platform::ToQString(bytes) + QChar(0xe9)),
                  "/home/" + bytes + "\xc3\xa9");
    }
}

TEST(Task, StepsThatEndAtOnceNeverDeepenTheStackAndWhatTheyRaiseReachesTheirCaller)
{
    // A header of many lines already received is read line by line without waiting: a million
    // such steps in a loop must run in constant stack, whatever the optimiser does.
    const auto one = []() -> TTask<int> { co_return 1; };
    const auto many = [&one]() -> TTask<long>
    {
        long sum = 0;
        for (int i = 0; i < 1000000; ++i)
            sum += co_await one();
        co_return sum;
    };
    EXPECT_EQ(RunToEnd(many()), 1000000);

    const auto failing = []() -> TTask<int>
    {
        throw std::runtime_error("refused");
        co_return 0;
    };
    const auto caller = [&failing]() -> TTask<std::string>
    {
        try
        {
            co_await failing();
        }
        catch (const std::runtime_error& error)
        {
            co_return std::string(error.what());
        }
        co_return std::string("nothing raised");
    };
    EXPECT_EQ(RunToEnd(caller()), "refused");
}
