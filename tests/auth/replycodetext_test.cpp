#include <gtest/gtest.h>

#include "auth/replycodetext.h"

TEST(ReplyCodeText, CodeColonTextWithoutBlanks)
{
    EXPECT_EQ(ReplyCodeText(0), "0:No Error");
    EXPECT_EQ(ReplyCodeText(200), "200:OK");
    EXPECT_EQ(ReplyCodeText(302), "302:Moved Temporarily");
    EXPECT_EQ(ReplyCodeText(404), "404:Not Found");
    EXPECT_EQ(ReplyCodeText(407), "407:Proxy Authentication Required");
    EXPECT_EQ(ReplyCodeText(412), "412:Unless True");
    EXPECT_EQ(ReplyCodeText(504), "504:Gateway Timeout");
    EXPECT_EQ(ReplyCodeText(299), "299:Unknown reply code");
    EXPECT_EQ(ReplyCodeText(-1), "-1:Unknown reply code");
}
