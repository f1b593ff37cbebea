#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "net/ftpreply.h"

using namespace ftpreply;

namespace
{
// How many of the lines are read as one reply that begins with the first of them.
int LinesOfReply(std::initializer_list<const char*> lines)
{
    auto line = lines.begin();
    TReplyLines reply(*line);
    int count = 1;
    while (reply.GoesOn() && ++line != lines.end())
    {
        reply.Next(*line);
        ++count;
    }
    return reply.GoesOn() ? -1 : count;
}
} // namespace

TEST(FtpReply, CommandKindFollowsTheFirstWord)
{
    EXPECT_EQ(CommandKind("CWD /pub/"), TCmdType::cmdChangeDir);
    EXPECT_EQ(CommandKind("cwd pub"), TCmdType::cmdChangeDir);
    EXPECT_EQ(CommandKind("MKD new"), TCmdType::cmdMakeDir);
    EXPECT_EQ(CommandKind("DELE a.zip"), TCmdType::cmdDelete);
    EXPECT_EQ(CommandKind("RMD old"), TCmdType::cmdRemoveDir);
    EXPECT_EQ(CommandKind("PWD"), TCmdType::cmdCurrentDir);
    // PWD counts only as the whole command; a word that merely starts like CWD is another command.
    EXPECT_EQ(CommandKind("PWD x"), TCmdType::cmdOther);
    EXPECT_EQ(CommandKind("CWDX a"), TCmdType::cmdOther);
    EXPECT_EQ(CommandKind("TYPE I"), TCmdType::cmdOther);
    EXPECT_EQ(CommandKind(""), TCmdType::cmdOther);
}

TEST(FtpReply, ShortRuleForContinuationLines)
{
    EXPECT_TRUE(IsContinuation("220-Welcome\r\n"));
    EXPECT_TRUE(IsContinuation(" indented text\r\n"));
    EXPECT_TRUE(IsContinuation(" "));
    EXPECT_FALSE(IsContinuation("220 ready\r\n"));
    EXPECT_FALSE(IsContinuation("22\n"));
    EXPECT_FALSE(IsContinuation(""));
}

TEST(FtpReply, ReplyLinesEndAtTheClosingLine)
{
    EXPECT_EQ(LinesOfReply({"220 ready\r\n"}), 1);
    // A greeting read from a blank start takes every line up to the first final one.
    EXPECT_EQ(LinesOfReply({" ", "220-Welcome\r\n", "220-to the archive\r\n", "220 ready\r\n", "331 x\r\n"}),
              4);
    EXPECT_EQ(LinesOfReply({" ", "220 ready\r\n", "331 x\r\n"}), 2);
    // Free text between the opening and the closing line belongs to the reply.
    EXPECT_EQ(LinesOfReply({"230-Welcome\r\n", "Please read the rules\r\n", "230 Logged in\r\n", "x"}), 3);
    // Another code with a blank is still text inside a reply opened by "230-".
    EXPECT_EQ(LinesOfReply({"230-Notes\r\n", "200 lines of text\r\n", "230 done\n"}), 3);
    EXPECT_EQ(LinesOfReply({"226-Transfer done\r\n", "226\r\n"}), 2);
    // Without a "ddd-" opening the short rule decides.
    EXPECT_EQ(LinesOfReply({" note\r\n", "more\r\n", "226 ok\r\n"}), 2);
    EXPECT_EQ(LinesOfReply({"150-Opening\r\n", " (1234 bytes)\r\n"}), -1);
}

TEST(FtpReply, SizeFromReplyTakesTheDigitsBeforeBytes)
{
    EXPECT_EQ(SizeFromReply("150 Opening data connection for a.zip (12345 bytes).\r\n"), 12345);
    EXPECT_EQ(SizeFromReply("150 Opening BINARY mode data connection for a.zip (0 BYTES)\r\n"), 0);
    EXPECT_EQ(SizeFromReply("150 a.zip is 77Byte"), 77);
    // Separators end the run of digits.
    EXPECT_EQ(SizeFromReply("150 Opening (1,234 bytes)"), 234);
    // A size above 2 GiB is kept whole.
    EXPECT_EQ(SizeFromReply("150 big.iso (5368709120 bytes)"), 5368709120LL);
    EXPECT_EQ(SizeFromReply("150 File status okay. About to open data connection.\r\n"), 0);
    EXPECT_EQ(SizeFromReply("bytes 150"), 0);
    EXPECT_EQ(SizeFromReply(""), 0);
    EXPECT_EQ(SizeFromReply("150 (99999999999999999999999 bytes)"), 0);
}

TEST(FtpReply, SizesAndTimesThatTellAFileAreTakenOnlyInTheirOwnForm)
{
    // Only "(N bytes)" announces a size: no number of a file name is taken for it.
    EXPECT_EQ(AnnouncedSize("150 Opening BINARY mode data connection for 2bytes.zip (307200 bytes).\r\n"),
              307200);
    EXPECT_EQ(AnnouncedSize("150 Opening data connection for 2bytes.zip (1 BYTES)"), 1);
    for (const char* line : {"150 Opening data connection for 2bytes.zip.\r\n", "150 3.9 kbytes to download",
                             "150 (1,234 bytes)", "150 (99999999999999999999 bytes)", "150 () bytes)"})
        EXPECT_EQ(AnnouncedSize(line), -1) << line;
    EXPECT_EQ(SizeOfFile("213 5368709120\r\n"), 5368709120LL);
    for (const char* reply : {"213 \r\n", "213 12x\r\n", "550 No such file\r\n", "2130 12\r\n"})
        EXPECT_EQ(SizeOfFile(reply), -1) << reply;
    EXPECT_EQ(ModificationTime("213 20261201120000\r\n"), "20261201120000");
    EXPECT_EQ(ModificationTime("213 20261201120000.123\r\n"), "20261201120000.123");
    for (const char* reply :
         {"213 garbage\r\n", "213\r\n", "213    \r\n", "213 2026120112000\r\n", "213 20261301120000\r\n",
          "213 20261201120000.\r\n", "213 20261201120000 x\r\n", "550 20261201120000\r\n"})
        EXPECT_EQ(ModificationTime(reply), "") << reply;
}

TEST(FtpReply, ServerNoticesThatEndAWait)
{
    EXPECT_TRUE(IsServerNotice("421 Service closing\r\n", false));
    EXPECT_TRUE(IsServerNotice("426 ", false));
    EXPECT_FALSE(IsServerNotice("421", false)); // fewer than four bytes so far
    EXPECT_FALSE(IsServerNotice("226 Transfer complete\r\n", true));
    // 425 answers PORT too, as an ordinary error reply; only while a transfer is awaited does
    // it mean the data connection will never come.
    EXPECT_FALSE(IsServerNotice("425 Can't open data connection\r\n", false));
    EXPECT_TRUE(IsServerNotice("425 Can't open data connection\r\n", true));
    EXPECT_FALSE(IsServerNotice("200 421 ok\r\n", true));
}

TEST(FtpReply, PassiveRepliesNameOnlyAPort)
{
    EXPECT_EQ(PassivePort("227 Entering Passive Mode (10,1,2,3,19,137).\r\n"), 19 * 256 + 137);
    EXPECT_EQ(PassivePort("227 Entering Passive Mode 127,0,0,1,200,10\r\n"), 200 * 256 + 10);
    EXPECT_EQ(PassivePort("227 =127,0,0,1,0,21"), 21);
    for (const char* none : {"227 Entering Passive Mode (1,2,3,4,5)\r\n", "227 (1,2,3,4,256,1)",
                             "227 (1,2,3,4,5,6789)", "227 (1,2,3,4,0,0)", "227", ""})
        EXPECT_EQ(PassivePort(none), 0) << none;

    EXPECT_EQ(ExtendedPassivePort("229 Entering Extended Passive Mode (|||6446|)\r\n"), 6446);
    EXPECT_EQ(ExtendedPassivePort("229 ok (!!!65535!)"), 65535);
    for (const char* none : {"229 (|||65536|)", "229 (|||6446)", "229 (||6446|)", "229 (|||x|)", "229 (|||",
                             "229 Entering Extended Passive Mode"})
        EXPECT_EQ(ExtendedPassivePort(none), 0) << none;
}
