#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "links/patent.h"

namespace
{
struct Expansion
{
    TLinkList list;
    std::vector<std::string> messages;
};

Expansion Expand(const std::string& number, const std::string& scheme = "patent://")
{
    Expansion result;
    PatentPageLinks(scheme, number, result.list,
                    [&](const std::string& message) { result.messages.push_back(message); });
    return result;
}

bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}
} // namespace

TEST(PatentPageLinks, OneQueryPerPageUpToFiveHundred)
{
    const Expansion gb = Expand("gb2123456a");
    ASSERT_EQ(gb.list.Count(), 500u);
    EXPECT_TRUE(gb.messages.empty());
    EXPECT_EQ(gb.list[0], "http://" + std::string(PatentServer) +
                              "/dips/bns.pdf?CY=ep&LG=en&DB=epd&PN=GB2123456&ID=GB+++2123456A++I+&PG=1");
    EXPECT_TRUE(EndsWith(gb.list[499], "&PG=500"));
}

TEST(PatentPageLinks, CountryNumberAndKind)
{
    EXPECT_TRUE(EndsWith(Expand("GB2123456").list[0], "PN=GB2123456&ID=GB+++2123456A++I+&PG=1"));
    EXPECT_TRUE(EndsWith(Expand("EP123456B1").list[0], "PN=EP0123456&ID=EP+++0123456B1+I+&PG=1"));
    EXPECT_TRUE(EndsWith(Expand("US5123456").list[0], "PN=US5123456&ID=US+++5123456+I+&PG=1"));
    EXPECT_TRUE(EndsWith(Expand("2123456A").list[0], "PN=2123456&ID=+++2123456A+I+&PG=1"));
    EXPECT_TRUE(EndsWith(Expand("EP12345678").list[0], "PN=EP12345678&ID=EP+++12345678+I+&PG=1"));
}

TEST(PatentPageLinks, AMissingOrOversizedNumberIsReportedAndListsNothing)
{
    const Expansion none = Expand("GB");
    EXPECT_EQ(none.list.Count(), 0u);
    EXPECT_EQ(none.messages, std::vector<std::string>{"Patent numeric parse error: "});
    const Expansion big = Expand("EP99999999999");
    EXPECT_EQ(big.list.Count(), 0u);
    EXPECT_EQ(big.messages, std::vector<std::string>{"Patent numeric parse error: 99999999999"});
}

TEST(PatentPageLinks, SchemeInAnyLetterCaseOtherSchemesNot)
{
    EXPECT_EQ(Expand("EP1B1", "PATENT://").list.Count(), 500u);
    EXPECT_EQ(Expand("EP1B1", "http://").list.Count(), 0u);
    EXPECT_TRUE(IsPatentScheme("Patent://"));
    EXPECT_FALSE(IsPatentScheme("patent:"));
    EXPECT_FALSE(IsPatentScheme(""));
}

TEST(PatentPageLinks, AppendsToWhatTheListHolds)
{
    Expansion result;
    result.list.Append("earlier");
    PatentPageLinks("patent://", "EP1", result.list, {});
    EXPECT_EQ(result.list.Count(), 501u);
    EXPECT_EQ(result.list[0], "earlier");
}

TEST(PatentPageFileName, AtLeastThreeDigits)
{
    EXPECT_EQ(PatentPageFileName("EP0123456", 3), "EP0123456_P003.pdf");
    EXPECT_EQ(PatentPageFileName("EP0123456", 10), "EP0123456_P010.pdf");
    EXPECT_EQ(PatentPageFileName("EP0123456", 500), "EP0123456_P500.pdf");
    EXPECT_EQ(PatentPageFileName("x", 1234), "x_P1234.pdf");
}
