// kestrel-records as a pilot runs it: hand-made files, exit codes, messages
// and outputs.
#include "tests/records/ToolRunner.h"
#include "tests/support/ExpectedSkip.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

// Every entry of `folder`, by name.
std::vector<std::string> Entries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Each way `kestrel-host plot`, the reader before this one, failed on files
// the module writes or on input a user may hand it. Every case plots into a
// chart that exists already: it is replaced whole, or left as it was.
TEST(Plot, EachFailureOfTheFormerReader)
{
    struct Case {
        const char* name;
        std::string content;
        int exitCode;
        const char* message; // on stdout for 0, stderr for 2
        std::function<void(const std::string& svg)> checkChart;
    };
    const std::string previous = "<svg>the chart of an earlier run</svg>\n";
    const std::vector<Case> cases = {
        {"inf and nan pitches are marked",
         "0.0=pitch(5.00, inf, 10.0)\n10.0=pitch(inf, nan, 10.0)\n20.0=pitch(nan, -inf, 10.0)\n"
         "30.0=pitch(-inf, 7.50, 10.0)\n",
         0, "plotted 5 samples of 1 file into chart.svg (3 not finite, marked on the edges)",
         [](const std::string& svg) {
             // Samples (0, 5), (10, inf), (20, nan), (30, -inf), (40, 7.5).
             EXPECT_EQ(Occurrences(svg, "class=\"pitch-inf\""), 1u);
             EXPECT_EQ(Occurrences(svg, "class=\"pitch-nan\""), 1u);
             EXPECT_EQ(Occurrences(svg, "class=\"pitch-minus-inf\""), 1u);
             EXPECT_EQ(Occurrences(svg, "<circle"), 2u);
             EXPECT_EQ(Occurrences(svg, "<polyline"), 0u); // no two finite samples in a row
             EXPECT_THAT(svg, HasSubstr("Probe 7, stamp 613815001: 5 samples, 3 not finite (marked)"));
         }},
        {"times reaching 1e17 end and the chart is whole",
         "100000000000000000.0=pitch(1.00, 2.00, 20.0)\n100000000000000020.0=pitch(2.00, 3.00, 20.0)\n", 0,
         "plotted 3 samples of 1 file into chart.svg",
         [](const std::string& svg) {
             // The doubles: 1e17, 1e17 + 16 and 1e17 + 32; an axis from 0 to 35
             // after 1e17 in steps of 5.
             EXPECT_EQ(Occurrences(svg, "class=\"x-tick\""), 8u);
             EXPECT_THAT(svg, HasSubstr(">35</text>"));
             EXPECT_THAT(svg, HasSubstr("time (s), labels +1e+17"));
             EXPECT_EQ(Occurrences(svg, "<circle"), 3u);
             EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
         }},
        {"each finite sample between nans is a dot, at any length",
         [] {
             std::string lines;
             for (int i = 0; i < 401; ++i) {
                 lines += std::to_string(2 * i) + ".0=pitch(nan, " + (i == 200 ? "80.00" : "5.00") + ", 1.0)\n";
             }
             return lines;
         }(),
         0, "plotted 802 samples of 1 file into chart.svg (401 not finite, marked on the edges)",
         [](const std::string& svg) {
             EXPECT_EQ(Occurrences(svg, "<circle"), 401u);
             EXPECT_EQ(Occurrences(svg, "<polyline"), 0u);
         }},
        {"a record that breaks off every three lines is one path under 1 MB",
         [] {
             // 38,400 lines of no span, each third starting at a pitch the
             // line before did not end at: 12,800 runs of four samples, a
             // second apart, each within a bin (1.26 MB as polylines).
             std::string lines;
             char line[64];
             for (int i = 0; i < 38400; ++i) {
                 std::snprintf(line, sizeof line, "%d.0=pitch(%d.%02d, %d.%02d, 0.0)\n", i / 3,
                               i % 3 == 0 ? 10 + i / 3 % 7 : 40 + i % 17, i % 89, 40 + (i + 1) % 17, (i + 1) % 89);
                 lines += line;
             }
             return lines;
         }(),
         0, "plotted 51200 samples of 1 file into chart.svg",
         [](const std::string& svg) {
             EXPECT_LT(svg.size(), 1000000u);
             EXPECT_EQ(Occurrences(svg, "<path "), 1u);
             EXPECT_EQ(Occurrences(svg, "<polyline"), 0u);
             EXPECT_EQ(Occurrences(svg, " M"), 12799u);
             EXPECT_THAT(svg, HasSubstr(">Probe 7, stamp 613815001: 51200 samples</text>"));
         }},
        {"a 400-digit number is named, not thrown",
         "0.0=pitch(5.00, 7.50, 10.0)\n10.0=pitch(7.50, " + std::string(400, '9') + ".00, 10.0)\n", 2,
         "Probe 7_613815001.txt:2: longer than 255 characters: \"10.0=pitch(7.50, 9999", nullptr},
        {"a 50,000-character line is named, without a stack overflow", std::string(50000, '(') + "\n", 2,
         "Probe 7_613815001.txt:1: longer than 255 characters: \"((((", nullptr},
    };
    for (const Case& c : cases) {
        const fs::path folder = FreshFolder(std::to_string(&c - cases.data()));
        WriteFile(folder / "Probe 7_613815001.txt", c.content);
        WriteFile(folder / "chart.svg", previous);
        const ToolRun run = RunRecords({"plot", "Probe 7_613815001.txt", "-o", "chart.svg"}, folder);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name << "\n" << run.err;
        EXPECT_THAT(c.exitCode == 0 ? run.out : run.err, HasSubstr(c.message)) << c.name;
        const std::string chart = ReadFile(folder / "chart.svg");
        if (c.checkChart) {
            c.checkChart(chart);
        } else {
            EXPECT_EQ(chart, previous) << c.name;
        }
        // No temporary file left behind.
        EXPECT_EQ(Entries(folder), (std::vector<std::string>{"Probe 7_613815001.txt", "chart.svg"})) << c.name;
    }
}

TEST(Plot, OneSeriesPerFileAndLinesBrokenWhereAFileStartsAgain)
{
    const fs::path folder = FreshFolder();
    // The second file holds two runs of lines: an earlier run appended to
    // it, so its times start again at 0.
    WriteFile(folder / "Kestrel 1_613815001.txt", "0.0=pitch(90.00, 89.00, 10.0)\n10.0=pitch(89.00, 80.00, 10.0)\n");
    WriteFile(folder / "Chase_Plane_613815002.txt",
              "0.0=pitch(4.00, 5.00, 10.0)\n10.0=pitch(5.00, 6.00, 10.0)\n0.0=pitch(1.00, 2.00, 5.0)\n");
    const ToolRun run = RunRecords({"plot", "Kestrel 1_613815001.txt", "Chase_Plane_613815002.txt", "-o", "both.svg"}, folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string svg = ReadFile(folder / "both.svg");
    EXPECT_THAT(svg, HasSubstr(">Kestrel 1, stamp 613815001: 3 samples</text>"));
    EXPECT_THAT(svg, HasSubstr(">Chase_Plane, stamp 613815002: 5 samples</text>"));
    EXPECT_EQ(Occurrences(svg, "<g class=\"series\">"), 2u);
    EXPECT_EQ(Occurrences(svg, "<polyline"), 3u); // one, and two for the file that starts again
    EXPECT_THAT(run.out, HasSubstr("plotted 8 samples of 2 files into both.svg"));

    const ToolRun unnamed = RunRecords({"plot", "Kestrel 1_613815001.txt", "Chase_Plane_613815002.txt"}, folder);
    EXPECT_EQ(unnamed.exitCode, 2);
    EXPECT_THAT(unnamed.err, HasSubstr("name it with -o"));
    // One file: its chart beside it, ".txt" taken off a name that holds
    // more; ".txt" alone is the whole name.
    const ToolRun one = RunRecords({"plot", "Kestrel 1_613815001.txt"}, folder);
    EXPECT_EQ(one.exitCode, 0) << one.err;
    EXPECT_THAT(ReadFile(folder / "Kestrel 1_613815001.svg"), HasSubstr(">Pitch of Kestrel 1, stamp 613815001</text>"));
    for (const auto& [file, chart] : std::vector<std::pair<std::string, std::string>>{
             {"a.txt", "a.svg"}, {".txt", ".txt.svg"}, {"notes", "notes.svg"}}) {
        WriteFile(folder / file, "0.0=pitch(5.00, 7.50, 10.0)\n");
        const ToolRun plotted = RunRecords({"plot", file}, folder);
        EXPECT_EQ(plotted.exitCode, 0) << file << "\n" << plotted.err;
        EXPECT_THAT(plotted.out, HasSubstr("into " + chart + "\n")) << file;
        EXPECT_TRUE(fs::exists(folder / chart)) << file;
    }
}

TEST(Plot, MemoryAndChartDoNotGrowWithTheRecord)
{
#ifdef KESTREL_ADDRESS_SANITIZER
    KESTREL_EXPECTED_SKIP("AddressSanitizer reserves terabytes of address space: no address-space limit can hold it");
#endif
    // A million lines, 33 MB: a chart that kept every sample needs about
    // 300 MB; what the chart can show fits in 64 MB of address space.
    const fs::path folder = FreshFolder();
    std::string lines;
    char line[64];
    std::string before = "0.00";
    for (int i = 0; i < 1000000; ++i) {
        char pitch[16];
        std::snprintf(pitch, sizeof pitch, "%d.%02d", 45 + i % 37, i % 89);
        std::snprintf(line, sizeof line, "%d.%d=pitch(%s, %s, 0.1)\n", i / 10, i % 10, before.c_str(), pitch);
        lines += line;
        before = pitch;
    }
    WriteFile(folder / "Long_613815001.txt", lines);
    lines = std::string();
    const ToolRun run = RunTool("/bin/sh", {"-c", "ulimit -v 65536 && exec \"$0\" \"$@\"", KESTREL_RECORDS, "plot",
                                            "Long_613815001.txt", "-o", "long.svg"},
                                folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("plotted 1000001 samples of 1 file into long.svg"));
    EXPECT_LT(fs::file_size(folder / "long.svg"), 1u << 20);
    EXPECT_THAT(ReadFile(folder / "long.svg"), HasSubstr(">Long, stamp 613815001: 1000001 samples</text>"));
}

TEST(Plot, ManyFilesInOneChartUnderAMegabyteAndBoundedMemory)
{
#ifdef KESTREL_ADDRESS_SANITIZER
    KESTREL_EXPECTED_SKIP("AddressSanitizer reserves terabytes of address space: no address-space limit can hold it");
#endif
    // Fifty files the most told apart; past them, the rest as one in grey.
    // 20,000 one-line files, in the 64 MB of address space a record of any
    // length is plotted in.
    struct Case {
        std::size_t files;
        const char* legend;
    };
    for (const Case& c : {Case{50, ">One, stamp 50: 2 samples</text>"},
                          Case{51, ">1 more record, in grey: 2 samples</text>"},
                          Case{20000, ">19950 more records, drawn as one in grey: 39900 samples"}}) {
        const fs::path folder = FreshFolder(std::to_string(c.files));
        for (std::size_t i = 1; i <= c.files; ++i) {
            WriteFile(folder / ("One_" + std::to_string(i) + ".txt"), "0.0=pitch(" + std::to_string(i % 80) + ".00, 2.00, 1.0)\n");
        }
        const ToolRun run = RunTool("/bin/sh", {"-c", "ulimit -v 65536 && exec \"$0\" plot One_*.txt -o all.svg", KESTREL_RECORDS},
                                    folder);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_THAT(run.out, HasSubstr("plotted " + std::to_string(2 * c.files) + " samples of " + std::to_string(c.files) +
                                       " files into all.svg"));
        const std::string svg = ReadFile(folder / "all.svg");
        EXPECT_LT(svg.size(), 1000000u) << c.files;
        EXPECT_THAT(svg, HasSubstr(c.legend));
        EXPECT_EQ(Occurrences(svg, "<g class=\"series\">"), std::min<std::size_t>(c.files, 51)) << c.files;
        // A dot on each sample of the fifty; none on the grey, drawn from
        // what each of its records drew.
        EXPECT_EQ(Occurrences(svg, "<circle"), 100u) << c.files;
    }
}

TEST(Export, Rfc4180RowsWithTheNumbersAsPrinted)
{
    const fs::path folder = FreshFolder();
    WriteFile(folder / "Probe, 7_613815001.txt", "0.0=pitch(5.00, 7.50, 10.0)\n10.0=pitch(7.50, inf, 10.0)\n");
    WriteFile(folder / "Kestrel 1_-20.txt", "100000000000000000.0=pitch(nan, -0.00, 0.0)\r\n");
    const ToolRun run = RunRecords({"export", "Probe, 7_613815001.txt", "Kestrel 1_-20.txt"}, folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "vessel,stamp,start_s,start_pitch_deg,end_pitch_deg,span_s\r\n"
                       "\"Probe, 7\",613815001,0.0,5.00,7.50,10.0\r\n"
                       "\"Probe, 7\",613815001,10.0,7.50,inf,10.0\r\n"
                       "Kestrel 1,-20,100000000000000000.0,nan,-0.00,0.0\r\n");
    EXPECT_THAT(run.err, IsEmpty());

    // Into a file: the same bytes. A file with a bad line stops the export
    // before anything is written, and the file written before stays.
    const ToolRun toFile = RunRecords({"export", "Probe, 7_613815001.txt", "Kestrel 1_-20.txt", "-o", "t.csv"}, folder);
    ASSERT_EQ(toFile.exitCode, 0) << toFile.err;
    EXPECT_EQ(ReadFile(folder / "t.csv"), run.out);
    EXPECT_THAT(toFile.out, HasSubstr("exported 3 rows of 2 files into t.csv"));
    WriteFile(folder / "bad_1.txt", "0.0=pitch(5.00, 7.50, 10.0)\nhello\n");
    // Before it, more rows than standard output's table is held back in
    // memory (4 MB): the rest waits in a scratch file.
    std::string longRecord;
    for (int i = 0; i < 150000; ++i) {
        longRecord += std::to_string(i) + ".0=pitch(5.00, 5.00, 1.0)\n";
    }
    WriteFile(folder / "Long_613815004.txt", longRecord);
    const ToolRun long_ = RunRecords({"export", "Long_613815004.txt"}, folder);
    EXPECT_EQ(long_.exitCode, 0) << long_.err;
    EXPECT_EQ(Lines(long_.out).size(), 150001u);
    EXPECT_EQ(long_.out.substr(long_.out.size() - 39), "Long,613815004,149999.0,5.00,5.00,1.0\r\n");
    for (const std::vector<std::string>& output : {std::vector<std::string>{}, std::vector<std::string>{"-o", "t.csv"}}) {
        std::vector<std::string> args = {"export", "Probe, 7_613815001.txt", "Long_613815004.txt", "bad_1.txt"};
        args.insert(args.end(), output.begin(), output.end());
        const ToolRun bad = RunRecords(args, folder);
        EXPECT_EQ(bad.exitCode, 2);
        EXPECT_TRUE(bad.out.empty()) << bad.out.substr(0, 300);
        EXPECT_THAT(bad.err, HasSubstr("bad_1.txt:2: not a data line (like 0.0=pitch(5.00, 7.50, 10.0)): \"hello\""));
    }
    EXPECT_EQ(ReadFile(folder / "t.csv"), run.out);

    // A record is never written over.
    const ToolRun over = RunRecords({"export", "Probe, 7_613815001.txt", "-o", "./Probe, 7_613815001.txt"}, folder);
    EXPECT_EQ(over.exitCode, 2);
    EXPECT_THAT(over.err, HasSubstr("is one of the files read"));
    EXPECT_EQ(ReadFile(folder / "Probe, 7_613815001.txt"), "0.0=pitch(5.00, 7.50, 10.0)\n10.0=pitch(7.50, inf, 10.0)\n");
}

TEST(Export, FieldsOfEveryLengthWhole)
{
    // Times of 1 to 17 digits before the point (3 to 19 characters), pitches
    // of 1 to 15 (4 to 18): each field goes into its row as the line prints it.
    std::string lines;
    std::string rows = "vessel,stamp,start_s,start_pitch_deg,end_pitch_deg,span_s\r\n";
    for (std::size_t digits = 1; digits <= 17; ++digits) {
        const std::string time = std::string(digits, '1') + ".0";
        const std::string pitch = "-" + std::string(std::min<std::size_t>(digits, 15), '9') + ".25";
        const std::string other = std::string(16 - std::min<std::size_t>(digits, 15), '8') + ".50";
        lines += time + "=pitch(" + pitch + ", " + other + ", " + time + ")\n";
        rows += "x,7," + time + "," + pitch + "," + other + "," + time + "\r\n";
    }
    const fs::path folder = FreshFolder();
    WriteFile(folder / "x_7.txt", lines);
    const ToolRun run = RunRecords({"export", "x_7.txt"}, folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, rows);

    // A long vessel before fields of 18 and 19 characters: rows of 326
    // bytes, of which rows 402, 604 and 806 begin just before a block of
    // rows is full and end 316 bytes past that, beyond the room a row
    // without the vessel needs.
    const std::string vessel(243, 'v');
    const std::string line = "11111111111111111.0=pitch(-999999999999999.25, 999999999999999.50, 11111111111111111.0)\n";
    const std::string row = vessel + ",7,11111111111111111.0,-999999999999999.25,999999999999999.50,11111111111111111.0\r\n";
    std::string longLines;
    std::string longRows = "vessel,stamp,start_s,start_pitch_deg,end_pitch_deg,span_s\r\n";
    for (int i = 0; i < 1000; ++i) {
        longLines += line;
        longRows += row;
    }
    WriteFile(folder / (vessel + "_7.txt"), longLines);
    const ToolRun longRun = RunRecords({"export", vessel + "_7.txt"}, folder);
    ASSERT_EQ(longRun.exitCode, 0) << longRun.err;
    EXPECT_EQ(row.size(), 326u);
    EXPECT_TRUE(longRun.out == longRows) << longRun.out.size() << " bytes, not " << longRows.size();
}

TEST(Check, CountsRangesAndTheFirstBadLine)
{
    const fs::path folder = FreshFolder();
    WriteFile(folder / "Probe 7_613815001.txt",
              "0.0=pitch(5.00, 7.50, 10.0)\n10.0=pitch(7.50, -2.25, 10.0)\n20.0=pitch(-2.25, inf, 2.5)\n");
    WriteFile(folder / "empty_1.txt", "");
    // Line 2 holds 100 characters: shown cut to 80.
    WriteFile(folder / "bad_2.txt", "0.0=pitch(5.00, 7.50, 10.0)\n" + std::string(99, 'x') + "\x01\n" + "junk\n");
    const ToolRun good = RunRecords({"check", "Probe 7_613815001.txt", "empty_1.txt"}, folder);
    EXPECT_EQ(good.exitCode, 0) << good.err;
    EXPECT_EQ(good.out, "Probe 7_613815001.txt: good: 3 lines, time 0.0 to 22.5 s, pitch -2.25 to 7.50 degrees, "
                        "1 line with inf, -inf or nan\n"
                        "empty_1.txt: good: no lines\n"
                        "checked 2 files: 2 good, 0 with bad lines\n");

    const ToolRun bad = RunRecords({"check", "Probe 7_613815001.txt", "bad_2.txt"}, folder);
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_THAT(bad.out, HasSubstr("bad_2.txt: bad: line 2: not a data line (like 0.0=pitch(5.00, 7.50, 10.0)): \"" +
                                   std::string(80, 'x') + "\"... (100 characters) (2 of 3 lines bad)\n"));
    EXPECT_THAT(bad.out, HasSubstr("checked 2 files: 1 good, 1 with bad lines\n"));

    // A file that cannot be read: named, the others still checked, exit 2.
    const ToolRun missing = RunRecords({"check", "gone_1.txt", ".", "bad_2.txt"}, folder);
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_THAT(missing.err, HasSubstr("gone_1.txt: cannot open it (No such file or directory)"));
    EXPECT_THAT(missing.err, HasSubstr(".: cannot read it (Is a directory)"));
    EXPECT_THAT(missing.out, HasSubstr("checked 3 files: 0 good, 1 with bad lines, 2 not readable\n"));

    const ToolRun usage = RunRecords({"check"}, folder);
    EXPECT_EQ(usage.exitCode, 2);

    // 0.00 and -0.00 are the same pitch: the range shows it as the first
    // to reach it prints it, at both ends.
    WriteFile(folder / "Zero_1.txt", "0.0=pitch(0.00, -0.00, 1.0)\n");
    const ToolRun zero = RunRecords({"check", "Zero_1.txt"}, folder);
    EXPECT_EQ(zero.exitCode, 0) << zero.err;
    EXPECT_THAT(zero.out, HasSubstr(", pitch 0.00 to 0.00 degrees\n"));
}

TEST(Check, TimesAsTheLinesPrintThem)
{
    // A start as its line prints it; an end as start and span add up, to
    // the tenth. A double holds 15 to 17 digits: 11111111111111111.0 reads
    // as 11111111111111112, and 1e17 + 0.1 as 1e17.
    struct Case {
        const char* name;
        std::string lines;
        const char* times;
    };
    const std::vector<Case> cases = {
        {"17 digits", "11111111111111111.0=pitch(1.00, 2.00, 0.0)\n",
         "time 11111111111111111.0 to 11111111111111111.0 s"},
        {"17 digits one apart, one double", "11111111111111112.0=pitch(1.00, 2.00, 0.0)\n11111111111111111.0=pitch(2.00, 3.00, 0.0)\n",
         "time 11111111111111111.0 to 11111111111111112.0 s"},
        {"a sum past the doubles", "1234567890123456.7=pitch(1.00, 2.00, 1234567890123456.7)\n",
         "time 1234567890123456.7 to 2469135780246913.4 s"},
        {"the last start below 1e17", "99999999999999999.0=pitch(1.00, 2.00, 0.1)\n",
         "time 99999999999999999.0 to 99999999999999999.1 s"},
        {"1e17, the first start beyond", "100000000000000000.0=pitch(1.00, 2.00, 0.1)\n",
         "time 100000000000000000.0 to 100000000000000000.1 s"},
        {"a span that takes a start far below zero back above it",
         "-12345678901234567000.0=pitch(1.00, 2.00, 12345678901234568000.0)\n",
         "time -12345678901234567000.0 to 1000.0 s"},
        {"small times, then one beyond 1e17", "0.0=pitch(1.00, 2.00, 1.0)\n100000000000000000.0=pitch(2.00, 3.00, 0.0)\n",
         "time 0.0 to 100000000000000000.0 s"},
        {"a start of -0.0", "-0.0=pitch(1.00, 2.00, 0.5)\n", "time -0.0 to 0.5 s"},
        {"two starts below -1e17, the lower first",
         "-200000000000000000.0=pitch(1.00, 2.00, 0.0)\n-100000000000000000.0=pitch(2.00, 3.00, 0.0)\n",
         "time -200000000000000000.0 to -100000000000000000.0 s"},
        {"times not finite left out", "inf=pitch(1.00, 2.00, 1.0)\n5.0=pitch(2.00, 3.00, inf)\n",
         "time 5.0 to 5.0 s"},
    };
    for (const Case& c : cases) {
        const fs::path folder = FreshFolder(std::to_string(&c - cases.data()));
        WriteFile(folder / "Probe_1.txt", c.lines);
        const ToolRun run = RunRecords({"check", "Probe_1.txt"}, folder);
        EXPECT_EQ(run.exitCode, 0) << c.name << "\n" << run.out << run.err;
        EXPECT_THAT(run.out, HasSubstr(", " + std::string(c.times) + ", pitch")) << c.name;
    }
}

TEST(Messages, EveryNameShownWithItsOddBytesAsHex)
{
    // A name's control characters, DEL and bytes beyond ASCII as \xNN:
    // no name moves the cursor, colours the terminal or forges a line of a
    // report. "-" is standard input, named so.
    const std::string good = "Odd\x01\x1b[31m\r\n\xC3\xA9_1.txt";
    const std::string goodShown = "Odd\\x01\\x1B[31m\\x0D\\x0A\\xC3\\xA9_1.txt";
    const std::string bad = "Bad\x1b\x7f_2.txt";
    const std::string badShown = "Bad\\x1B\\x7F_2.txt";
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        bool onStandardError;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"check, a good file", {"check", good}, 0, false, goodShown + ": good: 1 line, time 0.0 to 10.0 s"},
        {"check, a bad file", {"check", bad}, 1, false, badShown + ": bad: line 1: not a data line"},
        {"check, no such file", {"check", "gone\x1b_3.txt"}, 2, true,
         "kestrel-records: gone\\x1B_3.txt: cannot open it (No such file or directory)\n"},
        // The edges: 0x1F the last control character below the blank.
        {"check, the last control character", {"check", "unit\x1f \x7e_4.txt"}, 2, true,
         "kestrel-records: unit\\x1F ~_4.txt: cannot open it"},
        {"check, a file named twice", {"check", good, "./" + good}, 0, true,
         "kestrel-records: ./" + goodShown + ": named twice (the same file as " + goodShown + "); read once\n"},
        {"check, standard input", {"check", "-"}, 0, false, "standard input: good: no lines (the name is not"},
        {"plot, a bad line", {"plot", bad, "-o", "c.svg"}, 2, true, "kestrel-records: " + badShown + ":1: not a data line"},
        {"plot, the chart beside the file", {"plot", good}, 0, false,
         "into Odd\\x01\\x1B[31m\\x0D\\x0A\\xC3\\xA9_1.svg\n"},
        {"plot, standard input and no chart named", {"plot", "-"}, 2, true,
         "kestrel-records: standard input has no name to name its chart after: name it with -o\n"},
        {"export, the table named", {"export", good, "-o", "t\x1b.csv"}, 0, false, "into t\\x1B.csv\n"},
        {"export onto its input", {"export", good, "-o", good}, 2, true,
         "kestrel-records: " + goodShown + ": is one of the files read"},
        {"an option no command has", {"check", "--no\x1bsuch", good}, 2, true, "--no\\x1Bsuch"},
    };
    for (const Case& c : cases) {
        const fs::path folder = FreshFolder(std::to_string(&c - cases.data()));
        WriteFile(folder / good, "0.0=pitch(5.00, 7.50, 10.0)\n");
        WriteFile(folder / bad, "hello\n");
        const ToolRun run = RunRecords(c.args, folder);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name << "\n" << run.out << run.err;
        EXPECT_THAT(c.onStandardError ? run.err : run.out, HasSubstr(c.message)) << c.name;
        for (const char odd : {'\x01', '\x1b', '\x1f', '\r', '\x7f', '\xC3'}) {
            EXPECT_EQ(run.out.find(odd), std::string::npos) << c.name << ": byte " << (odd & 0xFF) << " as it is";
            EXPECT_EQ(run.err.find(odd), std::string::npos) << c.name << ": byte " << (odd & 0xFF) << " as it is";
        }
    }
}

} // namespace
