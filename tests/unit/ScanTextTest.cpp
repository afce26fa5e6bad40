#include "text/ScanText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

namespace {

TEST(ScanInt, ReadsLikePercentD)
{
    struct Case {
        const char* text;
        bool found;
        int value;
    } cases[] = {
        {" 1", true, 1},   {"\t-12 rest", true, -12}, {"+7", true, 7},      {"ORD 1", false, 99},
        {"", false, 99},   {"  ", false, 99},         {"2.9", true, 2},     {"-", false, 99},
        {"2147483647", true, 2147483647}, {"-2147483648", true, -2147483647 - 1},
        {"2147483648", false, 99},        {"99999999999999999999", false, 99}, {"0x10", true, 0},
    };
    for (const Case& c : cases) {
        int value = 99;
        EXPECT_EQ(ScanInt(c.text, value), c.found) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(ScanFloat, ReadsOnlySignDigitsPointAndExponent)
{
    struct Case {
        const char* text;
        bool found;
        float value;
    } cases[] = {
        {"2.5", true, 2.5f},     {" 10", true, 10.0f},   {"-5", true, -5.0f},    {"2.5junk", true, 2.5f},
        {".5", true, 0.5f},      {"5.", true, 5.0f},     {"1e3", true, 1000.0f}, {"1e", true, 1.0f},
        {"0x10", true, 0.0f},    {"inf", false, 3.0f},   {"nan", false, 3.0f},   {"-inf", false, 3.0f},
        {"", false, 3.0f},       {"   ", false, 3.0f},   {".", false, 3.0f},     {"+.e1", false, 3.0f},
        {"1e39", false, 3.0f},   {"-1e39", false, 3.0f}, {"1e-50", true, 0.0f},  {"0.1", true, 0.1f},
    };
    for (const Case& c : cases) {
        float value = 3.0f;
        EXPECT_EQ(ScanFloat(c.text, value), c.found) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
    float negativeZero = 3.0f;
    EXPECT_TRUE(ScanFloat("-0", negativeZero));
    EXPECT_TRUE(negativeZero == 0.0f && std::signbit(negativeZero));
}

TEST(ScanDouble, ReadsLikePercentLfWithoutNonFiniteValues)
{
    double value = 3.0;
    EXPECT_TRUE(ScanDouble(" 10.00", value));
    EXPECT_EQ(value, 10.0);
    EXPECT_TRUE(ScanDouble("0.1", value));
    EXPECT_EQ(value, 0.1);
    value = 3.0;
    EXPECT_FALSE(ScanDouble("1e400", value));
    EXPECT_FALSE(ScanDouble("nan", value));
    EXPECT_FALSE(ScanDouble("infinity", value));
    EXPECT_EQ(value, 3.0);
    EXPECT_TRUE(ScanDouble("1e-400", value));
    EXPECT_EQ(value, 0.0);
}

TEST(ScanText, IgnoresTheProcessLocale)
{
    // A locale with a decimal comma, where the system has one.
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "C.UTF-8"};
    for (const char* name : names) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            break;
        }
    }
    double value = 0;
    EXPECT_TRUE(ScanDouble("2.5", value));
    EXPECT_EQ(value, 2.5);
    EXPECT_TRUE(ScanDouble("2,5", value));
    EXPECT_EQ(value, 2.0);
    std::setlocale(LC_ALL, "C");
}

TEST(ScanWord, ReadsOneBlankDelimitedWordAndKeepsWhatFits)
{
    char word[256] = "before";
    EXPECT_TRUE(ScanWord("   Probe&7 tail", word, sizeof word));
    EXPECT_STREQ(word, "Probe&7");
    EXPECT_FALSE(ScanWord(" \t", word, sizeof word));
    EXPECT_STREQ(word, "Probe&7");

    const std::string longName(5000, 'x');
    EXPECT_TRUE(ScanWord(longName.c_str(), word, sizeof word));
    EXPECT_EQ(std::string(word), std::string(255, 'x'));
}

} // namespace
