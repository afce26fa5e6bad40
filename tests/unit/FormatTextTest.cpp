#include "text/FormatText.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

TEST(FormatText, FillsTheModulesFormats)
{
    char buffer[256];
    EXPECT_EQ(FormatText(buffer, sizeof buffer, "%0.1f=pitch(%0.2f, %0.2f, %0.1f)", 0.0, 5.0, 7.5, 10.0),
              std::strlen("0.0=pitch(5.00, 7.50, 10.0)"));
    EXPECT_STREQ(buffer, "0.0=pitch(5.00, 7.50, 10.0)");

    FormatText(buffer, sizeof buffer, "%s%s_%d.txt", "KestrelScribeData\\", "Probe 7", 613815000);
    EXPECT_STREQ(buffer, "KestrelScribeData\\Probe 7_613815000.txt");

    FormatText(buffer, sizeof buffer, "Time  %0.1f|%d|%d|%%", 7.94, INT_MIN, INT_MAX);
    EXPECT_STREQ(buffer, "Time  7.9|-2147483648|2147483647|%");
}

TEST(FormatText, CutsAtTheBufferAndReportsTheFullLength)
{
    const std::string name(300, 'n');
    char buffer[256];
    const std::size_t length = FormatText(buffer, sizeof buffer, "%s_%d.txt", name.c_str(), 12);
    EXPECT_EQ(length, 300u + 7u);
    EXPECT_EQ(std::strlen(buffer), 255u);

    char small[6];
    EXPECT_EQ(FormatText(small, sizeof small, "%0.2f Seconds", 12.5), 13u);
    EXPECT_STREQ(small, "12.50");
}

TEST(FormatInt, WritesPlainDecimal)
{
    char buffer[16];
    EXPECT_EQ(FormatInt(buffer, sizeof buffer, -42), 3u);
    EXPECT_STREQ(buffer, "-42");
    FormatInt(buffer, sizeof buffer, 0);
    EXPECT_STREQ(buffer, "0");
}

} // namespace
