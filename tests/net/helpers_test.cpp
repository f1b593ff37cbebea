#include <gtest/gtest.h>

#include <cerrno>

#include "net/exstringlist.h"
#include "net/port.h"
#include "net/stringfields.h"
#include "net/unitencrypt.h"
#include "platform/bytetext.h"
#include "platform/exception.h"
#include "messageof.h"

namespace
{
TExStringList RequestLines()
{
    TExStringList lines;
    for (const char* line :
         {"GET http://h/ HTTP/1.0", "Accept: image/gif", "Host: h", "Accept: */*", "X-Plain"})
        lines.Add(line);
    return lines;
}
} // namespace

TEST(TExStringList, FindsHeadersByNameIgnoringCase)
{
    const TExStringList lines = RequestLines();
    EXPECT_EQ(lines.IndexOfHeader("Accept"), 1);
    EXPECT_EQ(lines.IndexOfHeader("host"), 2);
    EXPECT_EQ(lines.IndexOfHeader("GET"), -1);
    EXPECT_EQ(lines.IndexOfHeader("X-Plain"), -1);
    EXPECT_EQ(TExStringList().IndexOfHeader("Host"), -1);
}

TEST(TExStringList, SetHeaderValueReplacesAppendsAndRemoves)
{
    TExStringList lines = RequestLines();
    lines.SetHeaderValue("host", "other:81");
    EXPECT_EQ(lines[2], "host: other:81");
    EXPECT_EQ(lines.Count(), 5u);
    lines.SetHeaderValue("Cookie", "a=1");
    EXPECT_EQ(lines[5], "Cookie: a=1");
    lines.SetHeaderValue("HOST", "");
    EXPECT_EQ(lines.IndexOfHeader("Host"), -1);
    EXPECT_EQ(lines.Count(), 5u);
    lines.SetHeaderValue("Missing", "");
    EXPECT_EQ(lines.Count(), 5u);
    EXPECT_EQ(lines.Text().substr(0, 24), "GET http://h/ HTTP/1.0\r\n");
}

TEST(TExStringList, SortedListsAreSearchedInNameOrder)
{
    TExStringList lines;
    lines.SetSorted(true);
    for (const char* line : {"Pragma: no-cache", "Accept: */*", "Host: h", "User-Agent: x"})
        lines.Add(line);
    EXPECT_EQ(lines[0], "Accept: */*");
    EXPECT_EQ(lines.IndexOfHeader("host"), 1);
    EXPECT_EQ(lines.IndexOfHeader("User-Agent"), 3);
    EXPECT_EQ(lines.IndexOfHeader("Cookie"), -1);
    lines.SetHeaderValue("Cookie", "c=1");
    EXPECT_EQ(lines.IndexOfHeader("Cookie"), 1);
}

TEST(EncodeBase64, PadsTheLastGroup)
{
    EXPECT_EQ(EncodeBase64("abc"), "YWJj");
    EXPECT_EQ(EncodeBase64("ab"), "YWI=");
    EXPECT_EQ(EncodeBase64("a"), "YQ==");
    EXPECT_EQ(EncodeBase64(""), "");
    EXPECT_EQ(EncodeBase64("user:pass word"), "dXNlcjpwYXNzIHdvcmQ=");
    EXPECT_EQ(EncodeBase64("\xff\xfe"), "//4=");
}

TEST(NthField, CountsEmptyFields)
{
    EXPECT_EQ(NthField("http://h:80/x", '/', 3), "h:80");
    EXPECT_EQ(NthField("http://h:80/x", '/', 2), "");
    EXPECT_EQ(NthField("http://h:80/x", ':', 1), "http");
    EXPECT_EQ(NthField("http://h:80/x", ':', 9), "");
    EXPECT_EQ(NthField("227 Entering", ' ', 1), "227");
}

TEST(NthCharPos, PositionOrLengthPlusOne)
{
    EXPECT_EQ(NthCharPos("http://h/", '/', 3), 9);
    EXPECT_EQ(NthCharPos("http://h", '/', 3), 9);
    EXPECT_EQ(NthCharPos("http://h", '/', 1), 6);
    EXPECT_EQ(NthCharPos("", '/', 1), 1);
}

TEST(ByteText, LineEndsAndDigits)
{
    using namespace bytetext;
    EXPECT_EQ(WithoutLineEnd("text\r\n"), "text");
    EXPECT_EQ(WithoutLineEnd("text\r\r\n\n"), "text");
    EXPECT_EQ(WithoutLineEnd("\r\n"), "");
    // The one line end of a line as read: a CR before it belongs to the text.
    EXPECT_EQ(WithoutOneLineEnd("text\r\n"), "text");
    EXPECT_EQ(WithoutOneLineEnd("text\n"), "text");
    EXPECT_EQ(WithoutOneLineEnd("text\r"), "text");
    EXPECT_EQ(WithoutOneLineEnd("text\r\r\n"), "text\r");
    EXPECT_EQ(WithoutOneLineEnd("text\n\n"), "text\n");
    EXPECT_EQ(WithoutOneLineEnd(""), "");
    EXPECT_TRUE(IsDigit('0') && IsDigit('9'));
    EXPECT_FALSE(IsDigit('a') || IsDigit('/') || IsDigit(':') || IsDigit('\xb9'));
}

TEST(ParsePort, TakesOnlyDigitsFromOneTo65535)
{
    EXPECT_EQ(ParsePort("80"), 80);
    EXPECT_EQ(ParsePort("1"), 1);
    EXPECT_EQ(ParsePort("65535"), 65535);
    EXPECT_EQ(ParsePort("08080"), 8080);
    for (const char* bad :
         {"", "0", "65536", "70000", "-1", "+80", "8a", " 80", "80 ", "99999999999999999999"})
    {
        EXPECT_FALSE(PortFromText(bad)) << bad;
        try
        {
            ParsePort(bad);
            ADD_FAILURE() << bad;
        }
        catch (const Exception& error)
        {
            EXPECT_EQ(error.Message(), std::string("Invalid port ") + bad);
        }
    }
    // Wire text may carry a zero byte; the message keeps what follows it.
    EXPECT_EQ(MessageOf([] { ParsePort(std::string_view("8\0x", 3)); }),
              std::string("Invalid port 8\0x", 16));
}

TEST(FileErrorTexts, NameTheActionThePathAndTheReason)
{
    EXPECT_EQ(FileOpenErrorText("/x/a.zip", ENOENT),
              "Cannot open file \"/x/a.zip\". No such file or directory");
    EXPECT_EQ(FileCreateErrorText("b.htm", EACCES), "Cannot create file \"b.htm\". Permission denied");
    EXPECT_EQ(FileWriteErrorText("c", "No space left on device"),
              "Cannot write file \"c\". No space left on device");
    EXPECT_EQ(FileReadErrorText("d", "Input/output error"), "Cannot read file \"d\". Input/output error");
}
