#include "recorder/RecordFile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(RecordFileName, IsTheFolderTheNameAndTheStamp)
{
    char name[256];
    ASSERT_TRUE(BuildRecordFileName(name, sizeof name, "GL-01", -42));
    EXPECT_STREQ(name, "KestrelScribeData\\GL-01_-42.txt");
}

TEST(RecordFileName, RefusesANameThatWouldNotFit)
{
    char name[256];
    // 18 + 231 + "_1.txt" (6) = 255 fits; "_2147483647.txt" takes 15.
    EXPECT_TRUE(BuildRecordFileName(name, sizeof name, std::string(231, 'a').c_str(), 1));
    EXPECT_FALSE(BuildRecordFileName(name, sizeof name, std::string(232, 'a').c_str(), 1));
    EXPECT_TRUE(BuildRecordFileName(name, sizeof name, std::string(222, 'a').c_str(), 2147483647));
    EXPECT_EQ(std::string(name).size(), 255u);
    EXPECT_FALSE(BuildRecordFileName(name, sizeof name, std::string(223, 'a').c_str(), 2147483647));
    EXPECT_STREQ(name, "");
}

TEST(RecordLine, RefusesALineThatWouldNotFit)
{
    char line[256];
    ASSERT_TRUE(FormatRecordLine(line, sizeof line, 10.0, -7.5, 9.125, 10.0));
    EXPECT_STREQ(line, "10.0=pitch(-7.50, 9.13, 10.0)");
    EXPECT_FALSE(FormatRecordLine(line, sizeof line, 1e300, 0.0, 0.0, 1.0));
}

} // namespace
