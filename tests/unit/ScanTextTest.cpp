#include "text/ScanText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace {

TEST(ScanInt, ReadsLikePercentD)
{
    constexpr ScanStatus R = ScanStatus::Read, N = ScanStatus::NoValue, O = ScanStatus::OutOfRange;
    struct Case {
        const char* text;
        ScanStatus status;
        int value;
    } cases[] = {
        {" 1", R, 1},   {"\t-12 rest", R, -12}, {"+7", R, 7},      {"ORD 1", N, 99},
        {"", N, 99},    {"  ", N, 99},          {"2.9", R, 2},     {"-", N, 99},
        {"2147483647", R, 2147483647}, {"-2147483648", R, -2147483647 - 1},
        {"2147483648", O, 99},         {"-2147483649", O, 99},
        {"99999999999999999999", O, 99}, {"0x10", R, 0},
        // Carriage return, vertical tab and form feed are blanks too.
        {"\r5", R, 5}, {"\v6", R, 6}, {"\f7", R, 7},
    };
    for (const Case& c : cases) {
        int value = 99;
        EXPECT_EQ(ScanInt(c.text, value), c.status) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(ScanFloat, ReadsOnlySignDigitsPointAndExponent)
{
    constexpr ScanStatus R = ScanStatus::Read, N = ScanStatus::NoValue, O = ScanStatus::OutOfRange;
    struct Case {
        const char* text;
        ScanStatus status;
        float value;
    } cases[] = {
        {"2.5", R, 2.5f},  {" 10", R, 10.0f},  {"-5", R, -5.0f},    {"2.5junk", R, 2.5f},
        {".5", R, 0.5f},   {"5.", R, 5.0f},    {"1e3", R, 1000.0f}, {"1e", R, 1.0f},
        {"0x10", R, 0.0f}, {"inf", N, 3.0f},   {"nan", N, 3.0f},    {"-inf", N, 3.0f},
        {"", N, 3.0f},     {"   ", N, 3.0f},   {".", N, 3.0f},      {"+.e1", N, 3.0f},
        {"1e39", O, 3.0f}, {"-1e39", O, 3.0f}, {"1e-50", R, 0.0f},  {"0.1", R, 0.1f},
        // The largest float is 2^128 - 2^104; halfway to 2^128 lies
        // 2^128 - 2^103 = 340282356779733661637539395458142568448, which
        // goes to the even neighbour 2^128: too large. One below it is the
        // largest float.
        {"340282356779733661637539395458142568447", R, std::numeric_limits<float>::max()},
        {"340282356779733661637539395458142568448", O, 3.0f},
        // The smallest float is 2^-149; halfway to 0 lies 2^-150 =
        // 7.00649232162...e-46: just above it rounds up to 2^-149, just
        // below it to 0.
        {"7.0064924e-46", R, std::numeric_limits<float>::denorm_min()},
        {"7.0064923e-46", R, 0.0f},
    };
    for (const Case& c : cases) {
        float value = 3.0f;
        EXPECT_EQ(ScanFloat(c.text, value), c.status) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
    float negativeZero = 3.0f;
    EXPECT_EQ(ScanFloat("-0", negativeZero), R);
    EXPECT_TRUE(negativeZero == 0.0f && std::signbit(negativeZero));
}

TEST(ScanDouble, ReadsLikePercentLfWithoutNonFiniteValues)
{
    double value = 3.0;
    EXPECT_EQ(ScanDouble(" 10.00", value), ScanStatus::Read);
    EXPECT_EQ(value, 10.0);
    EXPECT_EQ(ScanDouble("0.1", value), ScanStatus::Read);
    EXPECT_EQ(value, 0.1);
    value = 3.0;
    EXPECT_EQ(ScanDouble("1e400", value), ScanStatus::OutOfRange);
    EXPECT_EQ(ScanDouble("nan", value), ScanStatus::NoValue);
    EXPECT_EQ(ScanDouble("infinity", value), ScanStatus::NoValue);
    EXPECT_EQ(value, 3.0);
    EXPECT_EQ(ScanDouble("1e-400", value), ScanStatus::Read);
    EXPECT_EQ(value, 0.0);
    // The largest double is 1.7976931348623157081e308; halfway to 2^1024 lies
    // 1.7976931348623158079e308.
    EXPECT_EQ(ScanDouble("1.7976931348623158e308", value), ScanStatus::Read);
    EXPECT_EQ(value, std::numeric_limits<double>::max());
    EXPECT_EQ(ScanDouble("1.7976931348623159e308", value), ScanStatus::OutOfRange);
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
    EXPECT_EQ(ScanDouble("2.5", value), ScanStatus::Read);
    EXPECT_EQ(value, 2.5);
    EXPECT_EQ(ScanDouble("2,5", value), ScanStatus::Read);
    EXPECT_EQ(value, 2.0);
    std::setlocale(LC_ALL, "C");
}

TEST(ScanText, NoTextHoldsNoValue)
{
    int i = 5;
    double d = 5;
    float f = 5;
    char word[8] = "kept";
    EXPECT_EQ(ScanInt(nullptr, i), ScanStatus::NoValue);
    EXPECT_EQ(ScanDouble(nullptr, d), ScanStatus::NoValue);
    EXPECT_EQ(ScanFloat(nullptr, f), ScanStatus::NoValue);
    EXPECT_FALSE(ScanWord(nullptr, word, sizeof word));
    EXPECT_EQ(i, 5);
    EXPECT_EQ(d, 5.0);
    EXPECT_EQ(f, 5.0f);
    EXPECT_STREQ(word, "kept");
}

TEST(ScanText, AnIntegerBeyondEveryRangeIsTooLarge)
{
    // 400 digits and no exponent: beyond a double's range as well as a float's.
    const std::string huge = "1" + std::string(400, '0');
    double d = 5;
    float f = 5;
    EXPECT_EQ(ScanDouble(huge.c_str(), d), ScanStatus::OutOfRange);
    EXPECT_EQ(ScanFloat(huge.c_str(), f), ScanStatus::OutOfRange);
    const std::string tiny = "0." + std::string(400, '0') + "1";
    EXPECT_EQ(ScanDouble(tiny.c_str(), d), ScanStatus::Read);
    EXPECT_EQ(d, 0.0);
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
