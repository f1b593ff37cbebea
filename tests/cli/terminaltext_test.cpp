#include <gtest/gtest.h>

#include "cli/terminaltext.h"

TEST(TerminalSafe, EscapesEveryControlByteAndKeepsTheRest)
{
    EXPECT_EQ(TerminalSafe("Processing URL http://h/a.html"), "Processing URL http://h/a.html");
    EXPECT_EQ(TerminalSafe("a\x1b[2Jb\x07"
                           "c\x7f"
                           "d\te"),
              "a\\x1b[2Jb\\x07c\\x7fd\\x09e");
    EXPECT_EQ(TerminalSafe(std::string("nul\0end", 7)), "nul\\x00end");
    EXPECT_EQ(TerminalSafe("caf\xc3\xa9"), "caf\xc3\xa9");
}
