#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <QBuffer>

#include "net/nmurl.h"
#include "net/nmuuprocessor.h"

namespace
{
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
