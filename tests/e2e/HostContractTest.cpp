// kestrel-host keeps the host's side of the contract as the simulator does:
// scenario lines as the host hands them, names of any length, the display's
// buttons beside it, refused answers made visible, bounded outputs, its help.
// Each test writes its flight (and scenario) into a fresh folder and runs the
// real kestrel-host with the real plug-in; the expected values are worked out
// by hand in the comments beside them.
//
// The standard display is 256 x 200 with an 8 x 10 character cell: the
// module's rows at x = 4, y = 27 (Record Pitch), 37 (Off/On), 60 (Vessel),
// 70 (the name), 93 (Sample Interval), 103 (the interval), 138 (Time), 148
// (Pitch). The flights' clock reads 61381.5 + t / 86400 days, so a data file
// begun at t is stamped 613815000 + trunc(t / 8.64).
#include "tests/e2e/HostRunner.h"
#include "tests/support/ExpectedSkip.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// The lines of one display's picture in a run's summary: from its
// "display NAME (" line up to the next display or the end.
std::vector<std::string> PictureOf(const std::string& summary, const std::string& display)
{
    const std::vector<std::string> lines = Lines(summary);
    std::vector<std::string> picture;
    bool inside = false;
    for (const std::string& line : lines) {
        if (line.rfind("display ", 0) == 0) {
            inside = line.rfind("display " + display + " (", 0) == 0;
            continue;
        }
        if (inside) {
            picture.push_back(line);
        }
    }
    return picture;
}

const char* const kStandardOpen =
    R"({"step": 0, "open": "left", "width": 256, "height": 200, "char_width": 8, "char_height": 10})";

} // namespace

// ---- scenario lines as the host hands them ----

class IndentedBlock : public ::testing::TestWithParam<bool> {};

TEST_P(IndentedBlock, RestoresAllThreeSettings)
{
    // The block as a user indents it by hand, keys in mixed case: each line
    // reaches the module without its indentation, so every key is found:
    // recording on, interval 2.5, vessel Probe 7 (in place of GL-01, the
    // focus, whose name each new display takes first).
    // Probe 7's pitch is t; steps of 1 s from t = 0: seed at t = 0 (next
    // 2.5), a line at t = 3 (span 3, next 5), a line at t = 5 (span 2).
    // The first line at t = 3: 3 / 8.64 = 0.35: ...000.
    const bool throughLoad = GetParam();
    const fs::path folder = FreshFolder();
    WriteFile(folder / "indented.scn", "# kestrel-host scenario\n"
                                       "  BEGIN_MFD left 256 200 8 10\n"
                                       "  rec 1\n"
                                       "\tInt 2.5\n"
                                       "  VES Probe&7\n"
                                       "  END_MFD\n");
    const std::string restore = throughLoad ? "" : R"("scenario": "indented.scn",)";
    const std::string load = throughLoad ? R"({"step": 0, "load": "indented.scn"},)" : "";
    WriteFile(folder / "flight.json", R"({"clock_mjd": 61381.5,
        "vessels": [{"name": "GL-01", "pitch_deg": [[0, 1]]}, {"name": "Probe 7", "pitch_deg": [[0, 0], [100, 100]]}],
        "focus": "GL-01", )" + restore + R"(
        "steps": [{"dt": 1.0, "count": 6}],
        "events": [)" + load + R"({"step": 6, "save": "saved.scn"}]})");
    const HostRun run = RunFlight(folder / "flight.json", folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(run.root / "saved.scn"), "# kestrel-host scenario\n"
                                                "BEGIN_MFD left 256 200 8 10\n"
                                                "REC 1\n"
                                                "INT 2.50\n"
                                                "VES Probe&7\n"
                                                "END_MFD\n");
    EXPECT_EQ(ReadFile(run.root / "KestrelScribeData/Probe 7_613815000.txt"), "0.0=pitch(0.00, 3.00, 3.0)\n"
                                                                              "3.0=pitch(3.00, 5.00, 2.0)\n");
}

INSTANTIATE_TEST_SUITE_P(Routes, IndentedBlock, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "Load" : "FlightScenario";
                         });

// ---- sizes and char cells: what save writes, load reads back ----

TEST(ScenarioSizes, ADisplayWithNoCharCellOrNoSizeIsSavedAndLoadedBack)
{
    // "left" has a 0 x 0 char cell, "right" packed size 0: a 0 x 0 display,
    // whose derived cell is at least 1 x 1. Both are saved, the scenario is
    // loaded (from the root, which lies in the flight's folder) and saved again, and the run goes on to its end: recording on
    // from t = 0, Probe 7's pitch t, a line at t = 10 (10 / 8.64 = 1.16: ...001).
    const fs::path folder = FreshFolder();
    WriteFile(folder / "flight.json", R"({"clock_mjd": 61381.5,
        "vessels": [{"name": "Probe 7", "pitch_deg": [[0, 0], [100, 100]]}],
        "steps": [{"dt": 1.0, "count": 11}],
        "events": [{"step": 0, "open": "left", "width": 256, "height": 200, "char_width": 0, "char_height": 0},
                   {"step": 0, "open": "right", "packed_size": 0},
                   {"step": 0, "display": "left", "button": 0},
                   {"step": 5, "save": "cells.scn"},
                   {"step": 5, "load": "root/cells.scn"},
                   {"step": 5, "save": "again.scn"}]})");
    const HostRun run = RunFlight(folder / "flight.json", folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string items = "REC 1\nINT 10.00\nVES Probe&7\nEND_MFD\n";
    const std::string saved = "# kestrel-host scenario\nBEGIN_MFD left 256 200 0 0\n" + items +
                              "BEGIN_MFD right 0 0 1 1\n" + items;
    EXPECT_EQ(ReadFile(run.root / "cells.scn"), saved);
    EXPECT_EQ(ReadFile(run.root / "again.scn"), saved);
    EXPECT_EQ(ReadFile(run.root / "KestrelScribeData/Probe 7_613815001.txt"), "0.0=pitch(0.00, 10.00, 10.0)\n");
}

struct SizeCase {
    std::string block; // the BEGIN_MFD line's numbers
    int exitCode;
    const char* shown; // what the summary says of the display opened
};

class ScenarioSizeLimits : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ScenarioSizeLimits, FromZeroTo65535AsInAFlight)
{
    const SizeCase c = GetParam();
    const fs::path folder = FreshFolder();
    WriteFile(folder / "sizes.scn", "BEGIN_MFD left " + c.block + "\nREC 0\nEND_MFD\n");
    WriteFile(folder / "flight.json", R"({"vessels": [{"name": "Probe 7", "pitch_deg": [[0, 5]]}],
        "scenario": "sizes.scn", "steps": [{"dt": 1.0, "count": 1}]})");
    const HostRun run = RunFlight(folder / "flight.json", folder);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    if (c.exitCode == 2) {
        EXPECT_THAT(run.err, HasSubstr((folder / "sizes.scn").string() + ":1: "));
        EXPECT_THAT(run.err, HasSubstr("with sizes from 0 to 65535"));
    } else {
        EXPECT_THAT(run.out, HasSubstr(std::string("display left (") + c.shown + "):\n"));
    }
}

INSTANTIATE_TEST_SUITE_P(Edges, ScenarioSizeLimits,
                         ::testing::Values(SizeCase{"0 0 0 0", 0, "0x0, char cell 0x0"},
                                           SizeCase{"65535 65535 65535 65535", 0, "65535x65535, char cell 65535x65535"},
                                           SizeCase{"65536 200 8 10", 2, ""}, SizeCase{"256 200 8 65536", 2, ""},
                                           // The line as long as the line buffer leaves room for,
                                           // 15 + 9 + 997 + 2 = 1023 characters, and one more, whose
                                           // last digit would be cut off (a char height of 1).
                                           SizeCase{"256 200 8" + std::string(997, ' ') + "10", 0, "256x200, char cell 8x10"},
                                           SizeCase{"256 200 8" + std::string(998, ' ') + "10", 2, ""}));

// ---- vessel names of any length ----

struct NameCase {
    std::size_t length;
    std::size_t pitchReads; // 3 when the name the module keeps finds the vessel
};

void PrintTo(const NameCase& c, std::ostream* out)
{
    *out << c.length << " characters";
}

class LongFocusName : public ::testing::TestWithParam<NameCase> {};

TEST_P(LongFocusName, RunsToItsEnd)
{
    // The only vessel, with the focus, is named by `length` digits. The
    // display opens (the host writes at most 255 characters and a
    // terminator into the module's 256-byte buffer), recording goes on and
    // samples are due at t = 0, 10 and 20. A name of up to 255 characters
    // is kept whole and found: three pitch reads (the 1-character name also
    // gives two lines; the 255-character one none, as its file name would
    // not fit in 255 characters). A longer name is kept cut to 255, which
    // names no vessel: three lookups find nothing, no pitch is read, no line
    // is written, and the run ends well.
    const NameCase c = GetParam();
    const std::string name = Digits(c.length);
    const std::string kept = name.substr(0, 255);
    const fs::path folder = FreshFolder();
    WriteFile(folder / "flight.json", R"({"clock_mjd": 61381.5,
        "vessels": [{"name": ")" + name + R"(", "pitch_deg": [[0, 0], [100, 100]]}],
        "steps": [{"dt": 1.0, "count": 21}],
        "events": [)" + kStandardOpen + R"(,
                   {"step": 0, "display": "left", "button": 0},
                   {"step": 21, "snapshot": "left", "log": "left.log"}]})");
    const HostRun run = RunFlight(folder / "flight.json", folder);
    ASSERT_EQ(run.exitCode, 0) << run.err.substr(0, 400);
    EXPECT_THAT(run.err, Not(HasSubstr("Sanitizer")));
    const auto trace = Lines(ReadFile(run.trace));
    EXPECT_EQ(CountStartingWith(trace, "oapiGetPitch"), c.pitchReads);
    EXPECT_EQ(CountStartingWith(trace, "oapiGetObjectByName " + kept + " -> null"), 3 - c.pitchReads);
    const auto log = Lines(ReadFile(run.root / "left.log"));
    EXPECT_NE(std::find(log.begin(), log.end(), "text 4 70 " + kept), log.end());
    if (c.length == 1) {
        EXPECT_EQ(ReadFile(run.root / "KestrelScribeData/0_613815001.txt"), "0.0=pitch(0.00, 10.00, 10.0)\n"
                                                                            "10.0=pitch(10.00, 20.00, 10.0)\n");
    } else {
        EXPECT_EQ(FilesUnder(run.root / "KestrelScribeData"), std::vector<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongFocusName,
                         ::testing::Values(NameCase{1, 3}, NameCase{255, 3}, NameCase{256, 0}, NameCase{300, 0},
                                           NameCase{5000, 0}),
                         [](const ::testing::TestParamInfo<NameCase>& param) {
                             return std::to_string(param.param.length);
                         });

// ---- the bezel: the buttons' labels beside the display ----

TEST(Bezel, SnapshotAndSummaryShowTheLabelsInTheButtonsPlaces)
{
    // Buttons 0 to 5 sit down the left side, each in the middle of its sixth
    // of the height: centres at 200 * 1/12 = 16, 200 * 3/12 = 50 and
    // 200 * 5/12 = 83 for buttons 0, 1 and 2, which the module labels REC,
    // VES and INT (buttons 3 to 11 have none). A label column is 5 cells =
    // 40 px wide on each side: the picture is 256 + 80 = 336 wide, the
    // display shifted 40 right. A left label ends half a cell (4 px) from the
    // display, at x = 36; its top is half a cell above its centre (11, 45,
    // 78), its baseline 0.8 cell below that (19, 53, 86).
    const fs::path folder = FreshFolder();
    WriteFile(folder / "flight.json", R"({"vessels": [{"name": "Probe 7", "pitch_deg": [[0, 5]]}],
        "events": [)" + std::string(kStandardOpen) + R"(,
                   {"step": 0, "snapshot": "left", "svg": "left.svg", "log": "left.log"}]})");
    const HostRun run = RunFlight(folder / "flight.json", folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const std::string svg = ReadFile(run.root / "left.svg");
    EXPECT_THAT(svg, HasSubstr("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"336\" height=\"200\""));
    const char* const labels[] = {"REC", "VES", "INT"};
    const int baselines[] = {19, 53, 86};
    for (int i = 0; i < 3; ++i) {
        EXPECT_THAT(svg, HasSubstr("<text id=\"button" + std::to_string(i) + "\" x=\"36\" y=\"" +
                                   std::to_string(baselines[i]) + "\" text-anchor=\"end\""));
        EXPECT_THAT(svg, HasSubstr(std::string(">") + labels[i] + "</text>"));
    }
    for (int i = 3; i < 12; ++i) {
        EXPECT_THAT(svg, Not(HasSubstr("id=\"button" + std::to_string(i) + "\"")));
    }
    // The display's own drawing keeps its coordinates inside the shift.
    EXPECT_THAT(svg, HasSubstr("<g transform=\"translate(40,0)\""));
    EXPECT_THAT(svg, HasSubstr("<text x=\"4\" y=\"35\" fill=\"#33FF33\""));
    // The draw log holds the display's drawing alone.
    EXPECT_THAT(ReadFile(run.root / "left.log"), Not(HasSubstr("REC")));

    // The summary: 20 rows of 32 cells; the centres 16, 50 and 83 lie in
    // rows 1, 5 and 8, which the module leaves empty. Each label is
    // right-aligned in 4 characters and a blank before the frame. The menu
    // follows: A, B and N with their lines.
    const std::vector<std::string> picture = PictureOf(run.out, "left");
    ASSERT_GE(picture.size(), 22u) << run.out;
    const std::string empty = "|" + std::string(32, ' ') + "|";
    EXPECT_EQ(picture[0], "     +" + std::string(32, '-') + "+");
    EXPECT_EQ(picture[1 + 1], " REC " + empty);
    EXPECT_EQ(picture[1 + 5], " VES " + empty);
    EXPECT_EQ(picture[1 + 8], " INT " + empty);
    EXPECT_EQ(picture[1 + 2], "     |Record Pitch" + std::string(20, ' ') + "|");
    EXPECT_THAT(run.out, HasSubstr("+\nmenu:\n  A  Record On/Off\n  B  Select Vessel\n  N  Data Interval\n"));
}

// ---- refused answers ----

TEST(Refusals, TheSummaryListsEachRefusedAnswer)
{
    // Nobody names no vessel; "abc" holds no number while none was read
    // before; -5 is not above 0. "2.5" is taken and not listed.
    const fs::path folder = FreshFolder();
    WriteFile(folder / "flight.json", R"({"vessels": [{"name": "Probe 7", "pitch_deg": [[0, 5]]}],
        "events": [)" + std::string(kStandardOpen) + R"(,
                   {"step": 0, "display": "left", "menu": "B"}, {"step": 0, "input": "Nobody"},
                   {"step": 0, "display": "left", "menu": "N"}, {"step": 0, "input": "abc"},
                   {"step": 0, "display": "left", "menu": "N"}, {"step": 0, "input": "-5"},
                   {"step": 0, "display": "left", "menu": "N"}, {"step": 0, "input": "2.5"}]})");
    const HostRun run = RunFlight(folder / "flight.json", folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("input refused: 3\n"
                                   "  Enter Vessel Name <- 'Nobody'\n"
                                   "  Enter Data Point Interval <- 'abc'\n"
                                   "  Enter Data Point Interval <- '-5'\n"));
    const auto trace = Lines(ReadFile(run.trace));
    EXPECT_EQ(CountStartingWith(trace, "input callback -> false"), 3u);
    EXPECT_EQ(CountStartingWith(trace, "input callback -> true"), 1u);
}

// ---- bounded: what the handler gives, the text picture ----

TEST(Bounded, TheHostDeletesTheDisplayTheOpenMessageGives)
{
    // Two messages 1 outside any display: each makes an instance, which the
    // host owns; every instance made is deleted by the end (LeakSanitizer
    // reports any that is not).
    const fs::path folder = FreshFolder();
    WriteFile(folder / "flight.json", R"({"vessels": [{"name": "Probe 7", "pitch_deg": [[0, 5]]}],
        "events": [{"step": 0, "message": 1}, {"step": 0, "message": 1, "display_id": 3}]})");
    const HostRun run = RunFlight(folder / "flight.json", folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.err, Not(HasSubstr("Sanitizer")));
    const auto trace = Lines(ReadFile(run.trace));
    EXPECT_EQ(CountStartingWith(trace, "MFD "), 2u);
    EXPECT_EQ(CountStartingWith(trace, "~MFD"), 2u);
}

TEST(Bounded, TheTextPictureShowsAtMost160By80Cells)
{
    // 1 x 1 character cells: a display of W x H pixels has W x H cells.
    // 160 x 80 fits whole; one more column or row, and 65535 x 65535 (4.3
    // billion cells), are cut to 160 x 80, with a note. The frame is 162
    // wide; 80 rows between its two lines.
    const fs::path folder = FreshFolder();
    auto open = [](const char* display, int w, int h) {
        return "{\"step\": 0, \"open\": \"" + std::string(display) + "\", \"width\": " + std::to_string(w) +
               ", \"height\": " + std::to_string(h) + ", \"char_width\": 1, \"char_height\": 1}";
    };
    WriteFile(folder / "flight.json", R"({"vessels": [{"name": "Probe 7", "pitch_deg": [[0, 5]]}],
        "events": [)" + open("left", 160, 80) + "," + open("right", 161, 80) + "," + open("user1", 160, 81) + "," +
                                          open("user2", 65535, 65535) + "]}");
    const auto start = std::chrono::steady_clock::now();
    const HostRun run = RunFlight(folder / "flight.json", folder);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_LT(seconds, 30.0);
    const std::string frame = "     +" + std::string(160, '-') + "+";
    struct Expected {
        const char* display;
        const char* note; // nullptr: none
    };
    const Expected cases[] = {
        {"left", nullptr},
        {"right", "(cut: 160 x 80 of the display's 161 x 80 character cells shown)"},
        {"user1", "(cut: 160 x 80 of the display's 160 x 81 character cells shown)"},
        {"user2", "(cut: 160 x 80 of the display's 65535 x 65535 character cells shown)"},
    };
    for (const Expected& c : cases) {
        SCOPED_TRACE(c.display);
        const std::vector<std::string> picture = PictureOf(run.out, c.display);
        ASSERT_GE(picture.size(), 82u);
        EXPECT_EQ(picture[0], frame);
        EXPECT_EQ(picture[81], frame);
        for (std::size_t row = 1; row <= 80; ++row) {
            EXPECT_LE(picture[row].size(), 5 + 162 + 5u);
        }
        EXPECT_EQ(picture[82], c.note != nullptr ? c.note : "menu:");
    }
}

TEST(Bounded, AScenarioLineOfAnyLengthIsReadInLittleMemoryAndQuotedEscaped)
{
#ifdef KESTREL_ADDRESS_SANITIZER
    KESTREL_EXPECTED_SKIP("AddressSanitizer reserves terabytes of address space: no address-space limit can hold it");
#endif
    // One line of 48 MiB where a block should begin, starting with an
    // escape sequence that would clear a terminal: in 64 MB of address space
    // the host reads it, refuses it (exit 2) and quotes its first 80 bytes,
    // the control byte escaped, and its length.
    const fs::path folder = FreshFolder();
    const std::size_t length = std::size_t{48} << 20;
    WriteFile(folder / "long.scn", "\x1B[2J" + std::string(length - 4, 'x') + "\n");
    WriteFile(folder / "flight.json", R"({"vessels": [{"name": "Probe 7", "pitch_deg": [[0, 5]]}],
        "events": [{"step": 0, "load": "long.scn"}]})");
    const ProgramRun run = RunProgram("/bin/sh", {"-c", "ulimit -v 65536 && exec \"$0\" \"$@\"", KESTREL_HOST, "run",
                                 (folder / "flight.json").string(), "--root", (folder / "root").string(), "--module",
                                 KESTREL_MODULE},
                                      folder);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_THAT(run.err, HasSubstr((folder / "long.scn").string() + ":1: expected 'BEGIN_MFD <display> <width> "
                                   "<height> <char width> <char height>', found '\\x1B[2J" + std::string(76, 'x') +
                                   "'... (50331648 characters)\n"));
    EXPECT_LT(run.err.size(), 1000u);
}

TEST(Bounded, AFlightFileHoldsAtMost64MiB)
{
    // An empty flight, "{}", filled with blanks to 64 MiB, is played (no
    // step, nothing written); one blank more, and it is refused unread.
    const fs::path folder = FreshFolder();
    const std::size_t most = std::size_t{64} << 20;
    WriteFile(folder / "edge.json", "{}" + std::string(most - 2, ' '));
    WriteFile(folder / "over.json", "{}" + std::string(most - 1, ' '));
    const HostRun edge = RunFlight(folder / "edge.json", folder / "edge");
    EXPECT_EQ(edge.exitCode, 0) << edge.err;
    EXPECT_THAT(edge.out, HasSubstr("steps:   0 run"));
    const HostRun over = RunFlight(folder / "over.json", folder / "over");
    EXPECT_EQ(over.exitCode, 2);
    EXPECT_EQ(over.err, "kestrel-host: " + (folder / "over.json").string() +
                            ": cannot read the flight file: it holds more than 64 MiB, more than the host reads\n");
}

TEST(Bounded, AScenarioHoldsAtMost10000ItemLines)
{
    // A block of 10,000 item lines is loaded; one line more, and the
    // scenario is refused at that line.
    const fs::path folder = FreshFolder();
    auto scenario = [](std::size_t items) {
        std::string text = "BEGIN_MFD left 256 200 8 10\n";
        for (std::size_t i = 0; i < items; ++i) {
            text += "NOTE x\n";
        }
        return text + "END_MFD\n";
    };
    WriteFile(folder / "edge.scn", scenario(10000));
    WriteFile(folder / "over.scn", scenario(10001));
    for (const char* name : {"edge", "over"}) {
        WriteFile(folder / (std::string(name) + ".json"),
                  R"({"vessels": [{"name": "Probe 7", "pitch_deg": [[0, 5]]}], "events": [{"step": 0, "load": ")" +
                      std::string(name) + R"(.scn"}]})");
    }
    const HostRun edge = RunFlight(folder / "edge.json", folder / "edge");
    EXPECT_EQ(edge.exitCode, 0) << edge.err;
    const HostRun over = RunFlight(folder / "over.json", folder / "over");
    EXPECT_EQ(over.exitCode, 2);
    EXPECT_THAT(over.err, HasSubstr((folder / "over.scn").string() +
                                    ":10002: more than 10000 item lines; a scenario holds at most that many\n"));
}

// ---- SVG text: any byte, well-formed XML ----

TEST(SvgText, AnyByteGivesWellFormedXml)
{
    // The vessel row shows a scenario's VES value: every byte from 0x01 to
    // 0xFF but the blanks the scan stops at (0x09 to 0x0D, 0x20); '&' reads
    // back as a blank. In the SVG, bytes are Windows-1252 characters:
    // printable ASCII as such (<, > and " as entities), 0x80 the euro sign
    // U+20AC, 0x9F U+0178, 0xA0 to 0xFF U+00A0 to U+00FF; control bytes and
    // the bytes Windows-1252 leaves undefined (0x81) as U+FFFD. The file is
    // plain ASCII, and an XML parser (xmllint) reads it without complaint.
    const fs::path folder = FreshFolder();
    std::string name;
    for (int b = 1; b <= 0xFF; ++b) {
        if (!((b >= 0x09 && b <= 0x0D) || b == 0x20)) {
            name += static_cast<char>(b);
        }
    }
    WriteFile(folder / "bytes.scn", "BEGIN_MFD left 256 200 8 10\nVES " + name + "\nEND_MFD\n");
    WriteFile(folder / "flight.json", R"({"vessels": [{"name": "Probe 7", "pitch_deg": [[0, 5]]}],
        "events": [{"step": 0, "load": "bytes.scn"}, {"step": 0, "snapshot": "left", "svg": "bytes.svg"}]})");
    const HostRun run = RunFlight(folder / "flight.json", folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const fs::path svg = run.root / "bytes.svg";
    const std::string text = ReadFile(svg);
    EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte == '\n' || (byte >= 0x20 && byte < 0x7F);
    }));
    const std::string check = "xmllint --noout '" + svg.string() + "' 2>'" + (folder / "xmllint.txt").string() + "'";
    EXPECT_EQ(std::system(check.c_str()), 0) << ReadFile(folder / "xmllint.txt")
                                             << "(xmllint comes with scripts/install-deps.sh: libxml2-utils)";
    const std::size_t row = text.find("<text x=\"4\" y=\"78\"");
    ASSERT_NE(row, std::string::npos);
    const std::string vessel = text.substr(row, text.find("</text>", row) - row);
    for (const char* expected : {">&#xFFFD;&#xFFFD;", "!&quot;#$% '()*", ";&lt;=&gt;?@A", "|}~&#xFFFD;&#x20AC;&#xFFFD;&#x201A;",
                                 "&#x17E;&#x178;&#xA0;&#xA1;", "&#xFE;&#xFF;"}) {
        EXPECT_THAT(vessel, HasSubstr(expected));
    }
}

// ---- help ----

struct HelpCase {
    std::vector<std::string> args;
    int exitCode;
    std::vector<std::string> says;
};

void PrintTo(const HelpCase& c, std::ostream* out)
{
    for (const std::string& arg : c.args) {
        *out << arg << " ";
    }
}

class Help : public ::testing::TestWithParam<HelpCase> {};

TEST_P(Help, NamesTheFlightFormatTheOutputsAndTheExitCodes)
{
    const HelpCase c = GetParam();
    const HostRun run = RunHost(c.args, FreshFolder());
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    for (const std::string& text : c.says) {
        EXPECT_THAT(run.out + run.err, HasSubstr(text));
    }
}

// The exit codes: 0 and 3 a flight played to its end, with every line or
// not; 2 refused or stopped.
const std::vector<std::string> kEveryHelpSays = {
    "kestrel-host/README.md", "ROOT/KestrelScribeData/",
    "  0 the flight played to its end and every line the module wrote is in its file;\n"
    "  3 the flight played to its end but lines were lost (see 'lines not written');\n"
    "  2 bad input, with a message naming the file and the problem, or a run stopped.\n",
    "keeps every\nline the module wrote before the stop", "SIGINT (Ctrl-C) or SIGTERM stops a run"};

std::vector<std::string> With(std::vector<std::string> texts, const std::string& more)
{
    texts.push_back(more);
    return texts;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, Help,
    ::testing::Values(HelpCase{{"--version"}, 0, {"kestrel-host " KESTREL_VERSION "\n"}},
                      HelpCase{{"help"}, 0, With(kEveryHelpSays, "run ")},
                      HelpCase{{"help", "run"}, 0, With(kEveryHelpSays, "Usage: kestrel-host run [OPTIONS] FLIGHT")},
                      HelpCase{{"run", "--help"}, 0, With(kEveryHelpSays, "--trace")},
                      HelpCase{{"help", "help"}, 0, kEveryHelpSays},
                      HelpCase{{"help", "batch"}, 0, With(kEveryHelpSays, "batch exits 0 once every flight of its list")},
                      HelpCase{{"help", "fly"}, 2, {"kestrel-host: help: no command 'fly' (commands: run"}}));

TEST(Help, TheFlightFormatDocumentIsThere)
{
    // The help sends users to kestrel-host/README.md for the flight format.
    const fs::path document = fs::path(KESTREL_FLIGHTS) / "../../../kestrel-host/README.md";
    EXPECT_THAT(ReadFile(document), HasSubstr("## The flight file"));
}
