#include "recorder/RecordFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

TEST(RecordFileName, IsTheFolderTheNameAndTheStamp)
{
    // The control characters (up to 0x1F, and 0x7F) become '_'; the blank
    // 0x20 and the bytes from 0x80 (the code page's letters) stay.
    const struct {
        const char* vessel;
        const char* name;
    } cases[] = {
        {"GL-01", "KestrelScribeData\\GL-01_-42.txt"},
        {"a\x1F" "b", "KestrelScribeData\\a_b_-42.txt"},
        {"a b", "KestrelScribeData\\a b_-42.txt"},
        {"a\x7F" "b", "KestrelScribeData\\a_b_-42.txt"},
        {"a\x80" "b", "KestrelScribeData\\a\x80" "b_-42.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        char name[256];
        ASSERT_TRUE(BuildRecordFileName(name, sizeof name, c.vessel, -42));
        EXPECT_STREQ(name, c.name);
    }
}

TEST(RecordFileName, RefusesANameThatWouldNotFit)
{
    // 18 ("KestrelScribeData\\") + name + "_<stamp>.txt" must fit 255:
    // "_1.txt" takes 6, "_2147483647.txt" 15, "_-2147483648.txt" 16.
    const struct {
        std::size_t length;
        int stamp;
        bool fits;
    } cases[] = {
        {231, 1, true}, {232, 1, false},
        {222, 2147483647, true}, {223, 2147483647, false},
        {221, -2147483647 - 1, true}, {222, -2147483647 - 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.length) + " " + std::to_string(c.stamp));
        char name[256];
        EXPECT_EQ(BuildRecordFileName(name, sizeof name, std::string(c.length, 'a').c_str(), c.stamp), c.fits);
        EXPECT_EQ(std::string(name).size(), c.fits ? 255u : 0u);
    }
}

TEST(RecordLine, RefusesALineThatWouldNotFit)
{
    // 2^762 has 230 digits; its 17-digit form is 24258095192198577 and 213
    // zeros. With ".0=pitch(0.00, 0.00, " (21) and "1.0)" (4) the line has
    // 255 characters; with a span of 10.0, 256.
    const std::string big = "24258095192198577" + std::string(213, '0');
    const struct {
        double lastTime, lastPitch, pitch, span;
        std::string line; // empty: refused
    } cases[] = {
        {10.0, -7.5, 9.125, 10.0, "10.0=pitch(-7.50, 9.13, 10.0)"},
        {std::ldexp(1.0, 762), 0.0, 0.0, 1.0, big + ".0=pitch(0.00, 0.00, 1.0)"},
        {std::ldexp(1.0, 762), 0.0, 0.0, 10.0, ""},
        {1e300, 0.0, 0.0, 1.0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.size());
        char line[256];
        ASSERT_EQ(FormatRecordLine(line, sizeof line, c.lastTime, c.lastPitch, c.pitch, c.span), !c.line.empty());
        if (!c.line.empty()) {
            EXPECT_EQ(std::string(line), c.line);
        }
    }
}

} // namespace
