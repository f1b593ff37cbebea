#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "net/capturesink.h"
#include "filesizelimit.h"
#include "tempdir.h"

TEST(CaptureSink, AFailedWriteLeavesTheBodysBeginningAndNothingAfterIt)
{
    std::string body;
    for (int i = 0; body.size() < 1000000; ++i)
        body += std::to_string(i) + ",";
    const std::string_view bytes(body);
    TempDir dir;
    FileSizeLimit limit(300000);
    {
        TCaptureSink sink(dir.Path() + "body.bin");
        sink.Receive(bytes.substr(0, 600000));
        EXPECT_EQ(sink.Error(), "Cannot write file \"" + dir.Path() + "body.bin\". File too large");
        // Room again: the rest of the body must not land behind the bytes that were lost.
        limit.Lift();
        sink.Receive(bytes.substr(600000));
        sink.Flush();
    }
    const std::string written = dir.Read("body.bin");
    EXPECT_EQ(written.size(), 300000u);
    EXPECT_TRUE(body.starts_with(written));
}
