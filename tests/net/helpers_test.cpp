#include <gtest/gtest.h>

#include <QBuffer>

#include "net/exstringlist.h"
#include "net/nmurl.h"
#include "net/nmuuprocessor.h"
#include "net/stringfields.h"
#include "net/unitencrypt.h"

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

std::string Encoded(const std::string& input, UUMethods method, std::vector<std::string>* events = nullptr)
{
    QByteArray in(input.data(), static_cast<qsizetype>(input.size()));
    QBuffer inBuffer(&in);
    QBuffer outBuffer;
    inBuffer.open(QIODevice::ReadOnly);
    outBuffer.open(QIODevice::ReadWrite);
    TNMUUProcessor processor;
    processor.Method = method;
    processor.InputStream = &inBuffer;
    processor.OutputStream = &outBuffer;
    if (events)
    {
        processor.OnBeginEncode = [=](QObject*) { events->push_back("begin"); };
        processor.OnEndEncode = [=, &outBuffer](QObject*)
        { events->push_back("end at " + std::to_string(outBuffer.pos())); };
    }
    processor.Encode();
    return outBuffer.data().toStdString();
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

TEST(TNMURL, DecodesPlusAndEscapesAndReportsBadOnes)
{
    TNMURL url;
    std::vector<std::string> errors;
    url.OnError = [&](QObject* sender, const std::string& operation, const std::string& message)
    {
        EXPECT_EQ(sender, &url);
        errors.push_back(operation + "|" + message);
    };
    url.InputString = "a+b%41%7e";
    EXPECT_EQ(url.Decode(), "a bA~");
    EXPECT_TRUE(errors.empty());
    for (const char* bad : {"100%", "1%4", "%zz"})
    {
        url.InputString = bad;
        EXPECT_EQ(url.Decode(), bad);
    }
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].substr(0, 20), "Error during decode|");
}

TEST(TNMUUProcessor, MimeLinesOfFortyFiveBytes)
{
    std::vector<std::string> events;
    EXPECT_EQ(Encoded("abc", UUMethods::uuMime, &events), "YWJj\r\n");
    EXPECT_EQ(events, (std::vector<std::string>{"begin", "end at 0"}));
    EXPECT_EQ(Encoded("a", UUMethods::uuMime), "YQ==\r\n");
    EXPECT_EQ(Encoded("ab", UUMethods::uuMime), "YWI=\r\n");
    EXPECT_EQ(Encoded("", UUMethods::uuMime), "");
    const std::string twoLines = Encoded(std::string(46, 'x'), UUMethods::uuMime);
    const std::size_t end = twoLines.find("\r\n");
    EXPECT_EQ(end, 60u);
    EXPECT_EQ(twoLines.substr(end + 2), "eA==\r\n");
}

TEST(TNMUUProcessor, UuencodeWithLengthCharacterAndEndLine)
{
    EXPECT_EQ(Encoded("abc", UUMethods::uuCode), "#86)C\r\n`\r\n");
    const std::string full = Encoded(std::string(45, '\0'), UUMethods::uuCode);
    EXPECT_EQ(full, "M" + std::string(60, '`') + "\r\n`\r\n");
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
