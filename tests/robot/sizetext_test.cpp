#include <gtest/gtest.h>

#include <QLocale>

#include "robot/sizetext.h"

TEST(SizeText, BytesKilobytesAndMegabytes)
{
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(SizeText(0), "0");
    EXPECT_EQ(SizeText(1023), "1023");
    EXPECT_EQ(SizeText(1024), "1.0K");
    EXPECT_EQ(SizeText(1536), "1.5K");
    EXPECT_EQ(SizeText(1048575), "1024.0K");
    EXPECT_EQ(SizeText(1048576), "1.00M");
    EXPECT_EQ(SizeText(5242880), "5.00M");
    EXPECT_EQ(SizeText(-5000), "-5000");
    // Counts past 4 GiB keep their unit instead of wrapping.
    EXPECT_EQ(SizeText(5368709120LL), "5120.00M");
}

TEST(SizeText, UsesTheUsersDecimalSeparator)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(SizeText(1536), "1,5K");
    QLocale::setDefault(QLocale::c());
}
