#include <gtest/gtest.h>

#include "links/urlsequence.h"

using Entries = std::vector<std::string>;

namespace
{
TURLSequence Sequence(std::int64_t from, std::int64_t to, std::int64_t add, int digits)
{
    TURLSequence sequence;
    sequence.Start = "  http://server/img ";
    sequence.End = " .jpg";
    sequence.From = from;
    sequence.To = to;
    sequence.Add = add;
    sequence.Digits = digits;
    sequence.OutputDir = "/out/";
    return sequence;
}

Entries All(const TURLSequence& sequence)
{
    return SequenceEntries(sequence, 0, SequenceCount(sequence));
}
} // namespace

TEST(URLSequence, NumbersArePaddedButNeverCut)
{
    EXPECT_EQ(SequenceNumber(7, 0), "7");
    EXPECT_EQ(SequenceNumber(0, 0), "0");
    EXPECT_EQ(SequenceNumber(7, 3), "007");
    EXPECT_EQ(SequenceNumber(123, 2), "123");
    EXPECT_EQ(SequenceNumber(1000000, 15), "000000001000000");
    EXPECT_EQ(SequenceNumber(-5, 3), "-005");
}

TEST(URLSequence, EntriesCarryTrimmedStartUntrimmedEndAndTheOutputDirectory)
{
    EXPECT_EQ(All(Sequence(1, 3, 1, 3)),
              (Entries{"http://server/img001 .jpg->/out/", "http://server/img002 .jpg->/out/",
                       "http://server/img003 .jpg->/out/"}));
    EXPECT_EQ(All(Sequence(0, 12, 5, 0)),
              (Entries{"http://server/img0 .jpg->/out/", "http://server/img5 .jpg->/out/",
                       "http://server/img10 .jpg->/out/"}));
    EXPECT_EQ(SequenceCount(Sequence(5, 4, 1, 3)), 0);
    EXPECT_TRUE(All(Sequence(5, 4, 1, 3)).empty());
    // A step of nothing would never reach the end: one entry.
    EXPECT_EQ(All(Sequence(4, 9, 0, 1)), Entries{"http://server/img4 .jpg->/out/"});
    EXPECT_EQ(All(Sequence(9, 9, 0, 1)), Entries{"http://server/img9 .jpg->/out/"});
    EXPECT_EQ(SequenceCount(Sequence(10, 9, 0, 1)), 0);
}

TEST(URLSequence, PartsJoinToTheWholeAtTheLimits)
{
    const TURLSequence sequence = Sequence(0, 1000000, 1, 3);
    ASSERT_EQ(SequenceCount(sequence), 1000001);
    const Entries head = SequenceEntries(sequence, 0, 2);
    EXPECT_EQ(head, (Entries{"http://server/img000 .jpg->/out/", "http://server/img001 .jpg->/out/"}));
    const Entries tail = SequenceEntries(sequence, 999999, 50);
    EXPECT_EQ(tail, (Entries{"http://server/img999999 .jpg->/out/", "http://server/img1000000 .jpg->/out/"}));
    EXPECT_TRUE(SequenceEntries(sequence, 1000001, 5).empty());
    EXPECT_EQ(SequenceCount(Sequence(0, 1000000, 1000, 3)), 1001);
    EXPECT_EQ(SequenceEntries(Sequence(0, 1000000, 1000, 3), 1000, 1).front(),
              "http://server/img1000000 .jpg->/out/");
}
