// The line reader: which lines are ones the module writes, the line
// splitter, vessel and stamp from a file's name, where a run of lines breaks
// off, and the CSV fields export makes of them.
#include "kestrel-records/reading/Continuity.h"
#include "kestrel-records/outputs/Csv.h"
#include "kestrel-records/reading/DataLine.h"
#include "kestrel-records/reading/LineReader.h"
#include "kestrel-records/reading/LineSplitter.h"
#include "kestrel-records/reading/RecordFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <tuple>
#include <utility>
#include <vector>

using ::testing::HasSubstr;

namespace {

struct LineCase {
    const char* name;
    std::string line;
    const char* problem; // nullptr: a data line
};

// "0.0=pitch(<digits>.00, 5.00, 10.0)": 26 characters besides the digits.
std::string LineWithPitchDigits(std::size_t digits)
{
    return "0.0=pitch(1" + std::string(digits - 1, '0') + ".00, 5.00, 10.0)";
}

TEST(DataLine, AcceptsWhatTheModuleWritesAndNothingElse)
{
    const std::vector<LineCase> cases = {
        {"plain", "0.0=pitch(5.00, 7.50, 10.0)", nullptr},
        {"negative zeros and a span that prints as 0.0", "-0.0=pitch(-0.00, 0.00, 0.0)", nullptr},
        {"not finite", "inf=pitch(inf, -inf, inf)", nullptr},
        {"nan", "nan=pitch(nan, nan, 10.0)", nullptr},
        {"17 significant digits", "12345678901234567.0=pitch(1234567890123456.70, 0.01, 10.0)", nullptr},
        {"18 significant digits", "123456789012345678.0=pitch(5.00, 7.50, 10.0)", "more than 17 significant digits"},
        {"18 digits, all significant", "12345678901234567.8=pitch(5.00, 7.50, 10.0)",
         "the start time has more than 17 significant digits"},
        {"a pitch of 18 digits, all significant", "0.0=pitch(1234567890123456.78, 7.50, 10.0)",
         "the first pitch has more than 17 significant digits"},
        {"17 digits and zeros after", "100000000000000020.0=pitch(5.00, 7.50, 20.0)", nullptr},
        {"255 characters", LineWithPitchDigits(229), nullptr},
        {"256 characters", LineWithPitchDigits(230), "longer than 255 characters"},
        {"trailing blank", "0.0=pitch(5.00, 7.50, 10.0) ", "not a data line"},
        {"text after the span", "0.0=pitch(5.00, 7.50, 10.0 s)", "the span is not a number"},
        {"pitch with one decimal", "0.0=pitch(5.0, 7.50, 10.0)", "the first pitch is not a number"},
        {"time with two decimals", "0.00=pitch(5.00, 7.50, 10.0)", "the start time is not a number"},
        {"leading zero", "00.0=pitch(5.00, 7.50, 10.0)", "the start time is not a number"},
        {"plus sign", "+1.0=pitch(5.00, 7.50, 10.0)", "the start time is not a number"},
        {"exponent", "1e5=pitch(5.00, 7.50, 10.0)", "the start time is not a number"},
        {"no integer part", "0.0=pitch(.50, 7.50, 10.0)", "the first pitch is not a number"},
        {"-nan", "0.0=pitch(5.00, -nan, 10.0)", "the second pitch is not a number"},
        {"Inf", "Inf=pitch(5.00, 7.50, 10.0)", "the start time is not a number"},
        {"decimal comma", "0,0=pitch(5,00, 7,50, 10,0)", "the start time is not a number"},
        {"missing blank", "0.0=pitch(5.00,7.50, 10.0)", "not a data line"},
        {"no closing parenthesis", "0.0=pitch(5.00, 7.50, 10.0", "not a data line"},
        {"negative span", "0.0=pitch(5.00, 7.50, -10.0)", "the span is below zero or nan"},
        {"span -0.0", "0.0=pitch(5.00, 7.50, -0.0)", "the span is below zero or nan"},
        {"span nan", "0.0=pitch(5.00, 7.50, nan)", "the span is below zero or nan"},
        {"empty", "", "not a data line"},
        {"binary", std::string("\0\xFF=pitch(", 9), "not a data line"},
    };
    for (const LineCase& c : cases) {
        DataLine line;
        const char* problem = ParseDataLine(c.line, line);
        if (c.problem == nullptr) {
            EXPECT_EQ(problem, nullptr) << c.name << ": " << problem;
        } else {
            ASSERT_NE(problem, nullptr) << c.name;
            EXPECT_THAT(problem, HasSubstr(c.problem)) << c.name;
        }
    }
}

TEST(DataLine, GivesTheFieldsAsPrintedAndTheirValues)
{
    DataLine line;
    ASSERT_EQ(ParseDataLine("-12.5=pitch(inf, -0.25, 0.0)", line), nullptr);
    EXPECT_EQ(line.startTimeText, "-12.5");
    EXPECT_EQ(line.startPitchText, "inf");
    EXPECT_EQ(line.endPitchText, "-0.25");
    EXPECT_EQ(line.spanText, "0.0");
    EXPECT_EQ(line.startTime, -12.5);
    EXPECT_EQ(line.startPitch, INFINITY);
    EXPECT_EQ(line.endPitch, -0.25);
    EXPECT_EQ(line.span, 0.0);
    ASSERT_EQ(ParseDataLine("nan=pitch(-inf, 1.00, 1.0)", line), nullptr);
    EXPECT_TRUE(std::isnan(line.startTime));
    EXPECT_EQ(line.startPitch, -INFINITY);
    // 2^53 + 3 tenths: its digits no longer make a whole number a double
    // holds (it would round to 2^53 + 4, and a tenth of that to
    // 900719925474099.625), yet the time itself is a double exactly.
    ASSERT_EQ(ParseDataLine("900719925474099.5=pitch(0.00, 0.00, 0.1)", line), nullptr);
    EXPECT_EQ(line.startTime, 900719925474099.5);
}

TEST(DataLine, TimeAndSpanInTenthsWhileBelow1e17)
{
    struct Case {
        const char* line;
        std::int64_t startTenths;
        std::int64_t spanTenths;
    };
    const std::vector<Case> cases = {
        {"99999999999999999.0=pitch(5.00, 7.50, 0.1)", 999999999999999990, 1}, // 17 digits before the point
        {"100000000000000000.0=pitch(5.00, 7.50, 0.1)", kNoTenths, 1},         // 18
        {"0.0=pitch(5.00, 7.50, 10000000000000000.0)", 0, 100000000000000000},
        {"-12.5=pitch(5.00, 7.50, 0.0)", -125, 0},
        {"-0.0=pitch(5.00, 7.50, inf)", 0, kNoTenths},
        {"nan=pitch(5.00, 7.50, 10.0)", kNoTenths, 100},
        {"-inf=pitch(5.00, 7.50, 10.0)", kNoTenths, 100},
    };
    for (const Case& c : cases) {
        DataLine line;
        ASSERT_EQ(ParseDataLine(c.line, line), nullptr) << c.line;
        EXPECT_EQ(line.startTimeTenths, c.startTenths) << c.line;
        EXPECT_EQ(line.spanTenths, c.spanTenths) << c.line;
    }
}

TEST(LineSplitter, SameLinesHoweverTheBytesArriveAndLongLinesKeptShort)
{
    const std::string bytes = "a\r\nbb\n\n" + std::string(50000, '(') + "\ncc";
    for (std::size_t chunk = 1; chunk <= 7; ++chunk) {
        LineSplitter splitter;
        std::vector<std::pair<std::size_t, std::string>> lines;
        std::vector<std::size_t> lengths;
        std::vector<std::uint64_t> offsets;
        std::vector<bool> ended;
        auto onLine = [&](const SplitLine& line) {
            lines.emplace_back(line.number, std::string(line.text));
            lengths.push_back(line.length);
            offsets.push_back(line.offset);
            ended.push_back(line.ended);
        };
        for (std::size_t at = 0; at < bytes.size(); at += chunk) {
            splitter.Feed(std::string_view(bytes).substr(at, chunk), onLine);
        }
        splitter.Finish(onLine);
        const std::vector<std::pair<std::size_t, std::string>> expected = {
            {1, "a"}, {2, "bb"}, {3, ""}, {4, std::string(kKeptLineBytes, '(')}, {5, "cc"}};
        EXPECT_EQ(lines, expected) << "chunks of " << chunk;
        EXPECT_EQ(lengths, (std::vector<std::size_t>{1, 2, 0, 50000, 2})) << "chunks of " << chunk;
        // Each line's first byte: after "a\r\n", "bb\n", "\n" and 50000 '(' and "\n".
        EXPECT_EQ(offsets, (std::vector<std::uint64_t>{0, 3, 6, 7, 50008})) << "chunks of " << chunk;
        // "cc" has no line end after it.
        EXPECT_EQ(ended, (std::vector<bool>{true, true, true, true, false})) << "chunks of " << chunk;
        EXPECT_EQ(splitter.NextStart().number, 6u);
        EXPECT_EQ(splitter.NextStart().offset, bytes.size());
    }
    // A last line ending in '\r' without '\n' is as long as one with both,
    // but has not ended.
    for (const auto& [last, ended] : {std::pair{"x\r", false}, std::pair{"x\r\n", true}, std::pair{"x\n", true}}) {
        LineSplitter splitter;
        std::vector<std::pair<std::size_t, bool>> lines;
        auto onLine = [&](const SplitLine& line) { lines.emplace_back(line.length, line.ended); };
        splitter.Feed(last, onLine);
        splitter.Finish(onLine);
        EXPECT_EQ(lines, (std::vector<std::pair<std::size_t, bool>>{{1, ended}})) << last;
    }
}

TEST(LineReader, TheSameLinesFromAnyLinesStartInBlocksOfAnySize)
{
    // "", "x" and "yy", beginning at bytes 0, 1 and 4; the last unfinished.
    // Byte 1 is the nearest start the reader must move to.
    const std::string path = ::testing::TempDir() + "kestrel-records-line-reader.txt";
    {
        std::ofstream file(path, std::ios::binary);
        file << "\nx\r\nyy";
    }
    using Line = std::tuple<std::size_t, std::string, std::uint64_t, bool>;
    const std::vector<Line> all = {{1, "", 0, true}, {2, "x", 1, true}, {3, "yy", 4, false}};
    struct Case {
        LineStart start;
        std::size_t skipped;
    };
    for (const Case& c : {Case{{1, 0}, 0}, Case{{2, 1}, 1}, Case{{3, 4}, 2}}) {
        for (const std::size_t block : {std::size_t{1}, std::size_t{2}, std::size_t{3}, kReadBlock}) {
            LineReader reader(path, c.start, block);
            std::vector<Line> lines;
            while (const SplitLine* line = reader.Next()) {
                lines.emplace_back(line->number, std::string(line->text), line->offset, line->ended);
            }
            EXPECT_EQ(lines, std::vector<Line>(all.begin() + static_cast<std::ptrdiff_t>(c.skipped), all.end()))
                << "from byte " << c.start.offset << ", blocks of " << block;
            EXPECT_EQ(reader.NextStart().number, 4u);
            EXPECT_EQ(reader.NextStart().offset, 6u);
        }
    }
    std::remove(path.c_str());
}

TEST(RecordName, VesselAndStampFromTheFileName)
{
    struct Case {
        const char* path;
        const char* vessel;
        const char* stamp;
        bool fromName;
    };
    const std::vector<Case> cases = {
        {"KestrelScribeData/Kestrel 1_613815001.txt", "Kestrel 1", "613815001", true},
        {"Probe_7_-5.txt", "Probe_7", "-5", true}, // the stamp follows the last '_'
        {"_0.txt", "", "0", true},
        {"x_2147483647.txt", "x", "2147483647", true},
        {"x_12345678901.txt", "x_12345678901", "", false}, // more digits than an int prints
        {"x_007.txt", "x_007", "", false},
        {"notes.txt", "notes", "", false},
        {"x_1.csv", "x_1.csv", "", false},
    };
    for (const Case& c : cases) {
        const RecordName name = ParseRecordName(c.path);
        EXPECT_EQ(name.vessel, c.vessel) << c.path;
        EXPECT_EQ(name.stamp, c.stamp) << c.path;
        EXPECT_EQ(name.fromName, c.fromName) << c.path;
    }
}

TEST(Continuity, ALineCarriesOnWithinWhatPrintingRoundsAway)
{
    // The line before ends at 10.0 with a pitch of 7.50. Its start and span
    // and this line's start are each printed to a tenth, so each is off by
    // up to 0.05: the printed times of one run differ by a tenth at most.
    struct Case {
        const char* line;
        bool carriesOn;
    };
    const std::vector<Case> cases = {
        {"10.0=pitch(7.50, 8.00, 10.0)", true},
        {"10.1=pitch(7.50, 8.00, 10.0)", true},  // the last that fits, later...
        {"9.9=pitch(7.50, 8.00, 10.0)", true},   // ...and earlier
        {"10.2=pitch(7.50, 8.00, 10.0)", false}, // the first that does not
        {"9.8=pitch(7.50, 8.00, 10.0)", false},
        {"0.0=pitch(7.50, 8.00, 10.0)", false},  // the file starts over
        {"10.0=pitch(7.51, 8.00, 10.0)", false}, // another pitch
    };
    for (const Case& c : cases) {
        DataLine line;
        ASSERT_EQ(ParseDataLine(c.line, line), nullptr) << c.line;
        EXPECT_EQ(CarriesOn(LineEnd{10.0, "7.50"}, line), c.carriesOn) << c.line;
    }
    // Near 1e17 a time prints to 10 s (17 digits) and the doubles are 16 s
    // apart: 1e17 + 20 is read as 1e17 + 16.
    DataLine line;
    ASSERT_EQ(ParseDataLine("100000000000000020.0=pitch(7.50, 8.00, 10.0)", line), nullptr);
    EXPECT_TRUE(CarriesOn(LineEnd{1e17, "7.50"}, line));
}

TEST(Csv, AFieldIsQuotedOnlyWhenItMustBe)
{
    // RFC 4180: quoted when it holds a comma, a quote, CR or LF; a quote
    // inside is doubled.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Kestrel 1", "Kestrel 1"},
        {"", ""},
        {" spaced ", " spaced "},
        {"Probe, 7", "\"Probe, 7\""},
        {"O\"Neil", "\"O\"\"Neil\""}, // a quote alone
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"\"", "\"\"\"\""},
        {"two\rlines", "\"two\rlines\""},
        {"two\nlines", "\"two\nlines\""},
    };
    for (const auto& [field, written] : cases) {
        EXPECT_EQ(CsvField(field), written) << field;
    }
}

} // namespace
