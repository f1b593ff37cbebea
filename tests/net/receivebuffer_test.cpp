#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "net/receivebuffer.h"

TEST(TReceiveBuffer, LinesFedInOddChunksComeOutWhole)
{
    std::string stream;
    std::vector<std::string> lines;
    for (int i = 0; i < 200; ++i)
    {
        lines.push_back("line " + std::to_string(i) + std::string(i % 13, 'x') + (i % 3 ? "\r\n" : "\n"));
        stream += lines.back();
    }
    TReceiveBuffer buffer(32);
    std::vector<std::string> taken;
    bool frontKept = false;
    // Chunks of one byte to several lines, so the front is dropped while whole lines still wait.
    const std::size_t chunkSizes[] = {7, 120, 1, 300, 13};
    for (std::size_t at = 0, turn = 0; at < stream.size(); at += chunkSizes[turn++ % 5])
    {
        buffer.Append(std::string_view(stream).substr(at, chunkSizes[turn % 5]));
        while (const std::size_t length = buffer.LineLength())
        {
            taken.push_back(buffer.Take(length));
            // The taken front is dropped in bulk: never more of it than the limit or the unread rest.
            const std::size_t front = buffer.Footprint() - buffer.Size();
            EXPECT_LE(front, std::max<std::size_t>(32, buffer.Size()));
            frontKept = frontKept || front > 0;
        }
    }
    EXPECT_EQ(taken, lines);
    EXPECT_TRUE(frontKept);
    EXPECT_TRUE(buffer.Empty());
    EXPECT_EQ(buffer.Footprint(), 0u);
}

TEST(TReceiveBuffer, PartialTakesAndALongLine)
{
    TReceiveBuffer buffer(16);
    buffer.Append("abc");
    EXPECT_EQ(buffer.LineLength(), 0u);
    EXPECT_EQ(buffer.Take(2), "ab");
    buffer.Append("de\r");
    EXPECT_EQ(buffer.LineLength(), 0u);
    buffer.Append("\nfg");
    EXPECT_EQ(buffer.LineLength(), 5u);
    EXPECT_EQ(buffer.Take(5), "cde\r\n");
    EXPECT_EQ(buffer.Unread(), "fg");

    // A line far longer than the compaction limit is found once its line feed comes.
    const std::string longLine = std::string(100000, 'l') + "\n";
    for (std::size_t at = 0; at < longLine.size(); at += 4096)
    {
        EXPECT_EQ(buffer.LineLength(), 0u);
        buffer.Append(std::string_view(longLine).substr(at, 4096));
    }
    EXPECT_EQ(buffer.LineLength(), longLine.size() + 2);
    EXPECT_EQ(buffer.Take(buffer.LineLength()), "fg" + longLine);
}

TEST(TReceiveBuffer, TakeAndClear)
{
    TReceiveBuffer buffer;
    EXPECT_EQ(buffer.Take(10), "");
    buffer.Append("12345");
    EXPECT_EQ(buffer.Take(0), "");
    EXPECT_EQ(buffer.Take(10), "12345");
    EXPECT_TRUE(buffer.Empty());

    buffer.Append("no line end");
    EXPECT_EQ(buffer.LineLength(), 0u);
    buffer.Clear();
    EXPECT_EQ(buffer.Size(), 0u);
    // The search starts afresh after a clear.
    buffer.Append("x\n");
    EXPECT_EQ(buffer.LineLength(), 2u);
}
