// FormatFixed against hand-worked values and against an exact reference that
// shares no code with it (tests/support/ExactDecimal).
#include "text/FormatFixed.h"

#include "tests/support/ExactDecimal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

std::string Format(double value, int decimals)
{
    char buffer[1200];
    const std::size_t length = FormatFixed(buffer, sizeof buffer, value, decimals);
    EXPECT_EQ(length, std::strlen(buffer));
    return buffer;
}

struct FixedCase {
    double value;
    int decimals;
    const char* expected;
};

class FormatFixedRules : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FormatFixedRules, GivesTheHandWorkedText)
{
    const FixedCase& c = GetParam();
    EXPECT_EQ(Format(c.value, c.decimals), c.expected) << c.value;
    EXPECT_EQ(ReferenceFixed(c.value, c.decimals), c.expected) << "reference disagrees for " << c.value;
}

// Exact ties go away from zero.
INSTANTIATE_TEST_SUITE_P(ExactTies, FormatFixedRules,
                         ::testing::Values(FixedCase{0.25, 1, "0.3"}, FixedCase{0.125, 2, "0.13"}, FixedCase{2.5, 0, "3"},
                                           FixedCase{-0.25, 1, "-0.3"}, FixedCase{0.375, 2, "0.38"}, FixedCase{1.5, 0, "2"}));

// Values stored just below a tie: the 17-digit form decides. 0.15 is
// 0.1499999999999999944..., whose 17 digits stay below the tie; 1.605 is
// 1.6049999999999999822..., whose 18th digit 9 carries it up to
// 1.6050000000000000, a tie at the second decimal; 1.005 is
// 1.00499999999999989..., whose carry stops short at 1.0049999999999999.
INSTANTIATE_TEST_SUITE_P(BelowTies, FormatFixedRules,
                         ::testing::Values(FixedCase{0.15, 1, "0.1"}, FixedCase{1.605, 2, "1.61"}, FixedCase{1.005, 2, "1.00"},
                                           FixedCase{2.675, 2, "2.67"}, FixedCase{0.35, 1, "0.3"}, FixedCase{0.45, 1, "0.5"},
                                           FixedCase{0.05, 1, "0.1"}));

// Carries run through every nine and can add a digit.
INSTANTIATE_TEST_SUITE_P(Carries, FormatFixedRules,
                         ::testing::Values(FixedCase{9.96, 1, "10.0"}, FixedCase{99.996, 2, "100.00"}, FixedCase{0.96, 0, "1"},
                                           FixedCase{-9.96, 1, "-10.0"}, FixedCase{999999.96, 1, "1000000.0"}));

// Above 17 digits the integer part itself is rounded: 1e23 is stored as
// 99999999999999991611392.
INSTANTIATE_TEST_SUITE_P(HugeValues, FormatFixedRules,
                         ::testing::Values(FixedCase{1e23, 1, "99999999999999992000000.0"},
                                           FixedCase{9007199254740993.0, 0, "9007199254740992"},
                                           FixedCase{123456789012345678.0, 2, "123456789012345680.00"}));

// Negatives that round to zero keep their sign; plain values print plainly.
INSTANTIATE_TEST_SUITE_P(SignsAndZeros, FormatFixedRules,
                         ::testing::Values(FixedCase{-0.04, 1, "-0.0"}, FixedCase{-0.0, 2, "-0.00"}, FixedCase{0.0, 1, "0.0"},
                                           FixedCase{0.04, 1, "0.0"}, FixedCase{-5.0, 2, "-5.00"}, FixedCase{7.5, 2, "7.50"},
                                           FixedCase{1e-300, 2, "0.00"}, FixedCase{4.9e-324, 1, "0.0"},
                                           FixedCase{57.29577951308232, 2, "57.30"}, FixedCase{42.0, 0, "42"}));

TEST(FormatFixed, ANegativeCountOfDecimalsCountsAsNone)
{
    EXPECT_EQ(Format(2.5, -1), "3");
}

TEST(FormatFixed, NonFiniteValuesHaveFixedTexts)
{
    EXPECT_EQ(Format(std::numeric_limits<double>::infinity(), 1), "inf");
    EXPECT_EQ(Format(-std::numeric_limits<double>::infinity(), 2), "-inf");
    EXPECT_EQ(Format(std::numeric_limits<double>::quiet_NaN(), 1), "nan");
    EXPECT_EQ(Format(-std::numeric_limits<double>::quiet_NaN(), 1), "nan");
}

TEST(FormatFixed, NeverWritesPastItsBufferAndReportsTheFullLength)
{
    // 1e300's 18th significant digit is 5: its 17-digit form ends in 1.
    const std::string full = ReferenceFixed(1e300, 1);
    ASSERT_EQ(full.size(), 303u);
    ASSERT_EQ(full.substr(0, 18), "100000000000000010");

    char buffer[256 + 16];
    std::memset(buffer, 'X', sizeof buffer);
    const std::size_t length = FormatFixed(buffer, 256, 1e300, 1);
    EXPECT_EQ(length, 303u);
    EXPECT_EQ(std::strlen(buffer), 255u);
    EXPECT_EQ(std::string(buffer), full.substr(0, 255));
    for (std::size_t i = 256; i < sizeof buffer; ++i) {
        EXPECT_EQ(buffer[i], 'X') << "byte " << i << " written";
    }

    char small[4];
    EXPECT_EQ(FormatFixed(small, sizeof small, 123.456, 2), 6u);
    EXPECT_STREQ(small, "123");
    EXPECT_EQ(FormatFixed(nullptr, 0, -1.5, 1), 4u);
    // The largest double with two decimals does not fit 255 characters.
    EXPECT_GT(FormatFixed(buffer, 256, std::numeric_limits<double>::max(), 2), 255u);
}

TEST(FormatFixed, AgreesWithTheExactReferenceOnRandomDoubles)
{
    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<double> times(0.0, 1e6);
    std::uniform_real_distribution<double> pitches(-90.0, 90.0);
    for (int i = 0; i < 3000; ++i) {
        // Values the records hold, with ties near the last shown decimal...
        const double t = times(random);
        const double p = pitches(random);
        const double tie = std::round(p * 1000.0) / 1000.0 + 0.005 * ((i % 2) != 0 ? 1 : -1);
        for (int decimals = 0; decimals <= 2; ++decimals) {
            ASSERT_EQ(Format(t, decimals), ReferenceFixed(t, decimals)) << t;
            ASSERT_EQ(Format(p, decimals), ReferenceFixed(p, decimals)) << p;
            ASSERT_EQ(Format(tie, decimals), ReferenceFixed(tie, decimals)) << tie;
        }
    }
    // ...and any bit pattern at all.
    for (int i = 0; i < 600; ++i) {
        const std::uint64_t bits = random();
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value)) {
            continue;
        }
        const int decimals = static_cast<int>(bits % 3);
        ASSERT_EQ(Format(value, decimals), ReferenceFixed(value, decimals)) << value;
    }
}

} // namespace
