// Fault injection through the real host: each case is a flight in
// tests/faults/flights played by kestrel-host with the real plug-in. Every
// case checks the exit code, sanitizer silence and that nothing was written
// outside the data folder (ExpectCleanRun), then the exact records, scenario
// items and drawings, worked out by hand from the recorder's and display's
// rules in the comments beside them.
//
// Stamps: the flights' clock reads 61381.5 + t / 86400 days at simulated
// time t, so a file begun at t is stamped trunc((61381.5 + t / 86400) *
// 10000) = 613815000 + trunc(t / 8.64); no t used lies near a multiple of
// 8.64.
//
// The standard display is 256 x 200 with an 8 x 10 character cell: x = 8 *
// 0.5 = 4; rows at 10 * 2.7 = 27, 10 * 9.3 = 93, 6 * 10 = 60, 10 * 3.7 = 37
// (Off/On), 7 * 10 = 70 (vessel), 10 * 10.3 = 103 (interval), 200 - 60 - 2 =
// 138 (Time), 200 - 50 - 2 = 148 (Pitch).
#include "tests/faults/FaultRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Files = std::map<std::string, std::string>;

namespace {

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The callback results of the input boxes, in order ("true"/"false").
std::vector<std::string> CallbackResults(const std::vector<std::string>& trace)
{
    std::vector<std::string> results;
    for (const std::string& line : StartingWith(trace, "input callback -> ")) {
        results.push_back(line.substr(std::string("input callback -> ").size()));
    }
    return results;
}

std::string Scenario(const std::string& items)
{
    return "# kestrel-host scenario\nBEGIN_MFD left 256 200 8 10\n" + items + "END_MFD\n";
}

// The draw log of one redraw: rows 1 to 9 at x and y[0..8]; "Off" for
// recording 0, "On" for 1, neither otherwise.
std::string DrawLog(int x, const std::array<int, 9>& y, int recording, const std::string& vessel,
                    const std::string& interval, const std::string& time, const std::string& pitch)
{
    auto row = [&](int i, const std::string& text) {
        return "text " + std::to_string(x) + " " + std::to_string(y[static_cast<std::size_t>(i)]) + " " + text + "\n";
    };
    std::string log = "font 0\ntitle KestrelScribeMFD\nfont 0\ncolor 0x33FF33\n";
    log += row(0, "Record Pitch") + row(1, "Sample Interval") + row(2, "Vessel");
    if (recording == 0) {
        log += row(3, "Off");
    }
    log += "color 0x33FFFF\n";
    if (recording == 1) {
        log += row(4, "On");
    }
    log += row(5, vessel) + row(6, interval) + row(7, time) + row(8, pitch);
    return log;
}

constexpr std::array<int, 9> kStandardRows = {27, 93, 60, 37, 37, 70, 103, 138, 148};

} // namespace

// ---- the data folder cannot be written, then can again ----

TEST(FileFaults, NoLineWhileOpensFailAndTheStampFollowsTheClockUntilALineIsWritten)
{
    // files-fail.json: Probe 7's pitch is t degrees; recording on before
    // step 0; steps of 1 s, interval 10: samples at t = 0 (span 0: no line),
    // 10, 20, ... File opens fail before steps 0 to 24 and 45 to 54.
    //  t = 10, 20: both opens fail: no write, no close, fileStarted stays 0,
    //    so the stamp follows the clock: trunc(10 / 8.64 = 1.16) -> ...001,
    //    trunc(20 / 8.64 = 2.31) -> ...002. The samples are still taken
    //    (lastTime 20, lastPitch 20 after t = 20).
    //  t = 30: the first line, 20 -> 30, begins the file of that step:
    //    trunc(30 / 8.64 = 3.47) -> ...003, and freezes the stamp.
    //  t = 40: 30 -> 40 into the same file.
    //  t = 50: both opens fail: the line 40 -> 50 is lost; the file stays
    //    begun, so the name keeps ...003 (the clock would give ...005).
    //  t = 60: 50 -> 60, spanning from the sample of t = 50.
    // The lines of t = 10, 20 and 50 are lost: the run ends with exit 3, and
    // its summary says so; it lists the file with the three lines it wrote.
    const FaultRun run = PlayFlight("files-fail.json");
    ExpectCleanRun(run, 3);
    EXPECT_THAT(run.host.out, HasSubstr("data files written: 1\n  KestrelScribeData/Probe 7_613815003.txt: 3 lines\n"
                                        "lines not written: 3\n  files made to fail by the flight: 3\n"));
    EXPECT_EQ(run.DataFiles(), (Files{{"Probe 7_613815003.txt", "20.0=pitch(20.00, 30.00, 10.0)\n"
                                                                "30.0=pitch(30.00, 40.00, 10.0)\n"
                                                                "50.0=pitch(50.00, 60.00, 10.0)\n"}}));
    const std::string name = "oapiOpenFile KestrelScribeData\\Probe 7_";
    EXPECT_THAT(StartingWith(run.trace, "oapiOpenFile"),
                ElementsAre(name + "613815001.txt 2 0 -> null", name + "613815001.txt 1 0 -> null",
                            name + "613815002.txt 2 0 -> null", name + "613815002.txt 1 0 -> null",
                            name + "613815003.txt 2 0 -> file", name + "613815003.txt 2 0 -> file",
                            name + "613815003.txt 2 0 -> null", name + "613815003.txt 1 0 -> null",
                            name + "613815003.txt 2 0 -> file"));
    // Nothing is written to or closed on a file that was not opened.
    EXPECT_EQ(CountStartingWith(run.trace, "oapiWriteLine"), 3u);
    EXPECT_EQ(CountStartingWith(run.trace, "oapiCloseFile 2"), 3u);
    EXPECT_EQ(CountStartingWith(run.trace, "oapiCloseFile"), 3u);
}

// ---- the vessel removed mid-recording and added back ----

TEST(VesselFaults, NoReadingWhileTheVesselIsGoneAndOneLineSpansTheGap)
{
    // vessel-gone.json: Probe 7's pitch is t degrees; recording on; steps of
    // 1 s, interval 10. Removed before step 15; added back before step 35
    // with a constant pitch of 50.
    //  t = 0 seed; t = 10: 0 -> 10 (file ...001, frozen).
    //  t = 20, 30: the lookup finds nothing: no pitch query, no line, the
    //    last sample stays (10, 10), the schedule moves on (30, 40).
    //  t = 40: back: span 40 - 10 = 30, pitch 50.
    //  t = 50: span 10.
    const FaultRun run = PlayFlight("vessel-gone.json");
    ExpectCleanRun(run);
    EXPECT_EQ(run.DataFiles(), (Files{{"Probe 7_613815001.txt", "0.0=pitch(0.00, 10.00, 10.0)\n"
                                                                "10.0=pitch(10.00, 50.00, 30.0)\n"
                                                                "40.0=pitch(50.00, 50.00, 10.0)\n"}}));
    EXPECT_EQ(CountStartingWith(run.trace, "oapiGetObjectByName Probe 7 -> null"), 2u);
    // Samples at 0, 10, 40, 50 query the pitch, always of a live vessel.
    EXPECT_EQ(CountStartingWith(run.trace, "oapiGetPitch"), 4u);
    EXPECT_EQ(CountStartingWith(run.trace, "oapiGetPitch 'Probe 7'"), 4u);
    // While gone, the display shows the last real sample.
    const auto gone = Lines(run.Output("gone.log"));
    EXPECT_TRUE(Contains(gone, "text 4 138 Time  10.0"));
    EXPECT_TRUE(Contains(gone, "text 4 148 Pitch 10.0"));
    const auto back = Lines(run.Output("back.log"));
    EXPECT_TRUE(Contains(back, "text 4 138 Time  50.0"));
    EXPECT_TRUE(Contains(back, "text 4 148 Pitch 50.0"));
}

// ---- input boxes answered after their display closed ----

TEST(DisplayFaults, BoxesAnsweredAfterTheirDisplayClosedStillApplyAndTouchNoDeletedInstance)
{
    // box-after-close.json: on "left": record on, the vessel box (key B),
    // the interval box (key N); then "left" is closed. Probe 7 (pitch t):
    // t = 0 seed, t = 10: 0 -> 10 (...001).
    // Before step 12 the interval box (opened last) gets "2.5": accepted,
    // interval 2.5 (nextSample stays 20); then the vessel box "GL-01": a new
    // vessel, so the time axis restarts (elapsed 0, nextSample 0). GL-01's
    // pitch is -t:
    //  t = 12: elapsed 0, seed -12; next 2.5
    //  t = 15: elapsed 3: span 3, file ...001 (15 / 8.64 = 1.74); next 5
    //  t = 17: elapsed 5: span 2; next 7.5
    //  t = 20: elapsed 8: span 3; next 10
    // The sanitizer build shows that nothing reads the deleted instance.
    const FaultRun run = PlayFlight("box-after-close.json");
    ExpectCleanRun(run);
    EXPECT_EQ(run.DataFiles(), (Files{{"Probe 7_613815001.txt", "0.0=pitch(0.00, 10.00, 10.0)\n"},
                                      {"GL-01_613815001.txt", "0.0=pitch(-12.00, -15.00, 3.0)\n"
                                                              "3.0=pitch(-15.00, -17.00, 2.0)\n"
                                                              "5.0=pitch(-17.00, -20.00, 3.0)\n"}}));
    EXPECT_THAT(CallbackResults(run.trace), ElementsAre("true", "true"));
    // No redraw is asked for on the deleted display.
    EXPECT_EQ(CountStartingWith(run.trace, "InvalidateDisplay"), 0u);
}

TEST(DisplayFaults, DisplayOpenedWithNoFocusKeepsTheNameAndQueriesNoNullHandle)
{
    // no-focus.json: no vessel exists when "left" opens: the name stays
    // empty. Probe 7 is added and focused; "right" opens and takes its name.
    // Probe 7 is removed (no focus); "user1" opens and keeps "Probe 7".
    // Recording on, interval 10, 12 steps of 1 s: lookups at elapsed 0 and
    // 10 find nothing: no pitch query, no data file.
    const FaultRun run = PlayFlight("no-focus.json");
    ExpectCleanRun(run);
    EXPECT_TRUE(Contains(Lines(run.Output("empty.log")), "text 4 70 "));
    EXPECT_TRUE(Contains(Lines(run.Output("kept.log")), "text 4 70 Probe 7"));
    EXPECT_EQ(CountStartingWith(run.trace, "oapiGetFocusObject -> null"), 2u);
    EXPECT_THAT(StartingWith(run.trace, "oapiGetObjectName"), ElementsAre("oapiGetObjectName 'Probe 7' 256"));
    EXPECT_EQ(CountStartingWith(run.trace, "oapiGetObjectByName Probe 7 -> null"), 2u);
    EXPECT_EQ(CountStartingWith(run.trace, "oapiGetPitch"), 0u);
    EXPECT_EQ(run.DataFiles(), Files{});
}

// ---- vessel names of 255, 256 and 5000 characters ----

TEST(NameFaults, LongNamesFromTheInputBox)
{
    // long-names.json: Probe 7 (focus, pitch 5) and a vessel named by 255
    // digits (pitch t). Recording on; Probe 7: t = 0 seed, then a line at
    // each of t = 10, 20, 30 and 40 (file ...001).
    // Before step 12 the vessel box gets 256 digits (the 255-digit name and
    // one more, so a name cut to 255 would find that vessel), then 5000
    // digits; before step 22 the 255 digits. All three are refused: the data
    // file name, 18 ("KestrelScribeData\") + name + 1 + up to 11 (stamp) + 4,
    // fits 255 characters only for names of up to 221. Nothing changes, so
    // Probe 7 goes on being recorded.
    const FaultRun run = PlayFlight("long-names.json");
    ExpectCleanRun(run);
    const std::string name255 = Digits(255);
    EXPECT_THAT(CallbackResults(run.trace), ElementsAre("false", "false", "false"));
    EXPECT_EQ(run.DataFiles(), (Files{{"Probe 7_613815001.txt", "0.0=pitch(5.00, 5.00, 10.0)\n"
                                                                "10.0=pitch(5.00, 5.00, 10.0)\n"
                                                                "20.0=pitch(5.00, 5.00, 10.0)\n"
                                                                "30.0=pitch(5.00, 5.00, 10.0)\n"}}));
    EXPECT_EQ(CountStartingWith(run.trace, "oapiOpenFile"), 4u);
    EXPECT_EQ(CountStartingWith(run.trace, "oapiGetPitch '" + name255 + "'"), 0u);

    const auto refused = Lines(run.Output("refused.log"));
    EXPECT_TRUE(Contains(refused, "text 4 70 Probe 7"));
    EXPECT_TRUE(Contains(refused, "text 4 138 Time  10.0"));
    // The snapshot at step 45 (named for the answer the box once took).
    const auto end = Lines(run.Output("accepted.log"));
    EXPECT_TRUE(Contains(end, "text 4 70 Probe 7"));
    EXPECT_TRUE(Contains(end, "text 4 138 Time  40.0"));
    EXPECT_TRUE(Contains(end, "text 4 148 Pitch 5.0"));
    EXPECT_EQ(run.Output("long.scn"), Scenario("REC 1\nINT 10.00\nVES Probe&7\n"));
}

TEST(NameFaults, LongNamesFromAScenarioKeepTheFirst255Characters)
{
    // long-names-scenario.json loads blocks "REC 0", "INT 7.25", then VES
    // with 256, 5000 and 255 digits, saving after each. The name keeps the
    // first 255 digits each time, and the interval read before it is intact.
    // The redraw shows 7.25 with one decimal: an exact tie, away from zero:
    // 7.3.
    const FaultRun run = PlayFlight("long-names-scenario.json");
    ExpectCleanRun(run);
    const std::string name255 = Digits(255);
    const std::string expected = Scenario("REC 0\nINT 7.25\nVES " + name255 + "\n");
    for (const char* saved : {"s256.scn", "s5000.scn", "s255.scn"}) {
        EXPECT_EQ(run.Output(saved), expected) << saved;
    }
    const auto log = Lines(run.Output("s255.log"));
    EXPECT_TRUE(Contains(log, "text 4 70 " + name255));
    EXPECT_TRUE(Contains(log, "text 4 103 7.3 Seconds"));
    EXPECT_EQ(run.DataFiles(), Files{});
}

// ---- names a file name cannot hold ----

TEST(NameFaults, UnsafeCharactersBecomeUnderscoresInTheFileNameOnly)
{
    // unsafe-names.json, three vessels of constant pitch 1, 2 and 3:
    //   A = a\b/c:d*e?f"g<h>i|j k, B = ..\..\x, C = bell<BEL>tab<TAB>.
    // A is recorded from t = 0: line at t = 10 (...001). B is chosen before
    // step 12: seed at 12, line at 22 (22 / 8.64 = 2.55: ...002). C before
    // step 25: seed at 25, line at 35 (35 / 8.64 = 4.05: ...004). In the file
    // names each of \ / : * ? " < > | and each control character becomes _,
    // the blank stays; every file lies in the data folder. The name itself
    // keeps its characters (display, scenario with the blank as &).
    const FaultRun run = PlayFlight("unsafe-names.json");
    ExpectCleanRun(run);
    EXPECT_EQ(run.DataFiles(), (Files{{"a_b_c_d_e_f_g_h_i_j k_613815001.txt", "0.0=pitch(1.00, 1.00, 10.0)\n"},
                                      {".._.._x_613815002.txt", "0.0=pitch(2.00, 2.00, 10.0)\n"},
                                      {"bell_tab__613815004.txt", "0.0=pitch(3.00, 3.00, 10.0)\n"}}));
    EXPECT_TRUE(Contains(Lines(run.Output("a.log")), "text 4 70 a\\b/c:d*e?f\"g<h>i|j k"));
    EXPECT_TRUE(Contains(Lines(run.Output("b.log")), "text 4 70 ..\\..\\x"));
    EXPECT_TRUE(Contains(Lines(run.Output("c.log")), "text 4 70 bell\atab\t"));
    EXPECT_EQ(run.Output("names.scn"), Scenario("REC 1\nINT 10.00\nVES a\\b/c:d*e?f\"g<h>i|j&k\n"));
}

// ---- interval texts ----

TEST(IntervalFaults, EachTextIsRefusedReadOrReappliesTheLastNumber)
{
    // interval-texts.json answers the interval box with each text below and
    // saves the scenario after it; "load" reads int7.scn (INT 7), so that a
    // re-applied number shows. The scan reads only sign, digits, point and
    // exponent; a number beyond single precision is refused and leaves the
    // last number parsed as it was; a text with no number re-applies the last
    // number parsed (refused while that is 0 or below or none was parsed).
    struct Step {
        const char* text; // nullptr: load int7.scn
        const char* result;
        const char* interval; // INT as saved after the step
    };
    const Step steps[] = {
        {"", "false", "10.00"},       // no number, none parsed yet
        {"   ", "false", "10.00"},    // blanks: no number
        {"inf", "false", "10.00"},    // letters hold no number
        {"nan", "false", "10.00"},
        {"-inf", "false", "10.00"},   // a sign with no digit
        {"1e39", "false", "10.00"},   // beyond single precision (3.4e38)
        {"2.5junk", "true", "2.50"},  // reads 2.5, stops at j
        {nullptr, nullptr, "7.00"},
        {"inf", "true", "2.50"},      // re-applies 2.5
        {nullptr, nullptr, "7.00"},
        {"nan", "true", "2.50"},
        {nullptr, nullptr, "7.00"},
        {"-inf", "true", "2.50"},
        {nullptr, nullptr, "7.00"},
        {"", "true", "2.50"},
        {nullptr, nullptr, "7.00"},
        {" \t ", "true", "2.50"},
        {nullptr, nullptr, "7.00"},
        {"1e39", "false", "7.00"},    // refused; the last number stays 2.5 ...
        {"", "true", "2.50"},         // ... as this shows
        {nullptr, nullptr, "7.00"},
        {"0x10", "false", "7.00"},    // reads 0, stops at x
        {"", "false", "7.00"},        // the last number is now 0
        {"2.5junk", "true", "2.50"},
        {"-0", "false", "2.50"},      // -0 is not above 0
        {"", "false", "2.50"},        // the last number is now -0
        {"2.5junk", "true", "2.50"},
        {"1e-50", "false", "2.50"},   // below single precision: 0
        {"", "false", "2.50"},
        {"2.5junk", "true", "2.50"},
    };
    const FaultRun run = PlayFlight("interval-texts.json");
    ExpectCleanRun(run);

    std::vector<std::string> results, intervals, expectedResults, expectedIntervals;
    for (const std::string& line : StartingWith(run.trace, "oapiWriteScenario_string INT ")) {
        intervals.push_back(line.substr(std::string("oapiWriteScenario_string INT ").size()));
    }
    for (const Step& step : steps) {
        if (step.result != nullptr) {
            expectedResults.push_back(step.result);
        }
        expectedIntervals.push_back(step.interval);
    }
    EXPECT_EQ(CallbackResults(run.trace), expectedResults);
    EXPECT_EQ(intervals, expectedIntervals);

    // Then recording with interval 2.5, steps of 1 s, Probe 7's pitch t:
    // elapsed 0 seed; 3 >= 2.5: span 3 (next 5); 5: span 2 (next 7.5); 8:
    // span 3. The first line at t = 3: 3 / 8.64 = 0.35: ...000.
    EXPECT_EQ(run.DataFiles(), (Files{{"Probe 7_613815000.txt", "0.0=pitch(0.00, 3.00, 3.0)\n"
                                                                "3.0=pitch(3.00, 5.00, 2.0)\n"
                                                                "5.0=pitch(5.00, 8.00, 3.0)\n"}}));
}

// ---- broken scenario blocks ----

TEST(ScenarioFaults, GarbageOverlongLinesBigNumbersAndMissingItems)
{
    // scenario-garbage.json loads each block below (focus Probe 7, whose
    // name the constructor sets before the block is read) and saves after it.
    const FaultRun run = PlayFlight("scenario-garbage.json");
    ExpectCleanRun(run);

    // garbage.scn: a line of bytes 0xFF 0xFE 0x01 (no key); "REC" then a NUL
    // byte and " 1" (the line ends at the NUL: no value, REC stays 0); a NUL
    // then "REC 1" (an empty line); "INT<TAB>3.5<0xFF>" (3.5); "VES Pro<0xE9>be"
    // (taken byte for byte); "re" (too short) and an empty line.
    EXPECT_EQ(run.Output("s1.scn"), Scenario("REC 0\nINT 3.50\nVES Pro\xe9" "be\n"));

    // bigints.scn: REC 99999999999 (beyond int: refused), REC -2147483648
    // (the smallest int: taken), REC 2147483648 (refused), INT 1e400 (beyond
    // double: refused, 3.5 stays). With that switch neither Off nor On is
    // drawn, and the record toggle leaves it alone.
    const std::string bigints = Scenario("REC -2147483648\nINT 3.50\nVES Probe&7\n");
    EXPECT_EQ(run.Output("s2.scn"), bigints);
    EXPECT_EQ(run.Output("bigints.log"),
              DrawLog(4, kStandardRows, -1, "Probe 7", "3.5 Seconds", "Time  0.0", "Pitch 0.0"));
    EXPECT_EQ(run.Output("s3.scn"), bigints);

    // huge-interval.scn: INT 1e300 and nothing else. Its "%0.2f" text has
    // 301 + 3 characters, more than the 255 a line holds: rather than cut,
    // the item is written in the shortest exponent form that reads back as
    // the same double, 1e+300. The display row holds the first 255
    // characters: 1e300 is 1.00000000000000005250...e300, whose 17
    // significant digits round up (18th digit 5) to 10000000000000001, then
    // 238 zeros.
    EXPECT_EQ(run.Output("s4.scn"), Scenario("REC -2147483648\nINT 1e+300\nVES Probe&7\n"));
    EXPECT_TRUE(Contains(Lines(run.Output("huge.log")), "text 4 103 10000000000000001" + std::string(238, '0')));

    // overlong.scn: 300 blanks and tabs, then "INT", 1016 blanks, "4.25":
    // 1023 bytes after the indentation the host drops, which fill its
    // 1024-byte line buffer with the terminator (the scan skips the blanks:
    // 4.25); "INT", 1020 blanks, "9": 1024 bytes, cut to 1023, so the 9 is
    // lost and 4.25 stays; REC 1; VES with 6000 digits (cut by the host to
    // 1023 bytes, of which the module keeps 255); a line of 20000 Z (no key).
    EXPECT_EQ(run.Output("s5.scn"), Scenario("REC 1\nINT 4.25\nVES " + Digits(255) + "\n"));

    // missing.scn: an empty block for "left", and for "right" REC, INT and
    // VES with no values: nothing read; the name is the focus vessel's, as
    // each constructor set it.
    const std::string items = "REC 1\nINT 4.25\nVES Probe&7\n";
    EXPECT_EQ(run.Output("s6.scn"), "# kestrel-host scenario\nBEGIN_MFD left 256 200 8 10\n" + items +
                                        "END_MFD\nBEGIN_MFD right 256 200 8 10\n" + items + "END_MFD\n");

    // Recording is on (REC 1 from overlong.scn), interval 4.25, steps of 1 s,
    // Probe 7's pitch t: elapsed 0 seed (next 4.25); 5: span 5 (next 8.5);
    // 9: span 4. The first line at t = 5: 5 / 8.64 = 0.58: ...000.
    EXPECT_EQ(run.DataFiles(), (Files{{"Probe 7_613815000.txt", "0.0=pitch(0.00, 5.00, 5.0)\n"
                                                                "5.0=pitch(5.00, 9.00, 4.0)\n"}}));
}

// ---- tiny displays and zero character sizes ----

struct TinyCase {
    const char* log;
    int x;
    std::array<int, 9> y;
};

void PrintTo(const TinyCase& c, std::ostream* out)
{
    *out << c.log;
}

class TinyDisplays : public ::testing::TestWithParam<TinyCase> {
protected:
    static void SetUpTestSuite() { run_ = std::make_unique<FaultRun>(PlayFlight("tiny-display.json")); }
    static void TearDownTestSuite() { run_.reset(); }
    static std::unique_ptr<FaultRun> run_;
};
std::unique_ptr<FaultRun> TinyDisplays::run_;

TEST_P(TinyDisplays, RowsFollowTheTruncationsAndThe32BitArithmetic)
{
    ExpectCleanRun(*run_);
    const TinyCase& c = GetParam();
    EXPECT_EQ(run_->Output(c.log), DrawLog(c.x, c.y, 0, "Probe 7", "10.0 Seconds", "Time  0.0", "Pitch 0.0"));
    EXPECT_EQ(run_->DataFiles(), Files{});
}

INSTANTIATE_TEST_SUITE_P(
    Flight, TinyDisplays,
    ::testing::Values(
        // 1 x 1, cell derived 1 / 32 and 1 / 20, at least 1: 1 x 1. x = 0.5 -> 0;
        // 2.7 -> 2, 9.3 -> 9, 6, 3.7 -> 3, 7, 10.3 -> 10; 1 - 6 - 2 = -7, 1 - 5 - 2 = -6.
        TinyCase{"tiny.log", 0, {2, 9, 6, 3, 3, 7, 10, -7, -6}},
        // 1 x 1 with a 0 x 0 cell: every product 0; rows 8 and 9 at 1 - 0 - 2 = -1.
        TinyCase{"zero.log", 0, {0, 0, 0, 0, 0, 0, 0, -1, -1}},
        // 1 x 1 with a 3 x 65535 cell: x = 1.5 -> 1; 65535 * 2.7 = 176944.5 -> 176944,
        // * 9.3 = 609475.5 -> 609475, 6 * 65535 = 393210, * 3.7 = 242479.5 -> 242479,
        // 7 * 65535 = 458745, * 10.3 = 675010.5 -> 675010; 1 - 393210 - 2 = -393211,
        // 1 - 327675 - 2 = -327676.
        TinyCase{"tall.log", 1, {176944, 609475, 393210, 242479, 242479, 458745, 675010, -393211, -327676}},
        // packed size 0: 0 x 0, cell at least 1 x 1: rows 1-7 as 1 x 1; 0 - 6 - 2 = -8, 0 - 5 - 2 = -7.
        TinyCase{"empty.log", 0, {2, 9, 6, 3, 3, 7, 10, -8, -7}}),
    [](const ::testing::TestParamInfo<TinyCase>& param) {
        const std::string log = param.param.log;
        return log.substr(0, log.find('.'));
    });

// ---- a decimal comma in the process locale ----

namespace {

bool HasLocale(const std::string& wanted)
{
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen("locale -a 2>/dev/null", "r"), ::pclose);
    if (!pipe) {
        return false;
    }
    char line[256];
    while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::string name = line;
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) {
            name.pop_back();
        }
        if (name == wanted) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST(LocaleFaults, ADecimalCommaChangesNoRecordScenarioOrParsing)
{
    if (!HasLocale("de_DE.utf8")) {
        GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed (scripts/install-deps.sh generates it)";
    }
    // locale.json restores locale.scn (REC 1, INT 0.75, VES Probe&7), then
    // runs 9 steps of 0.5 s; Probe 7's pitch is 1.3 + 0.2 t degrees.
    //  elapsed 0 seed (1.3), next 0.75
    //  1.0: span 1.0, pitch 1.5, next 1.5
    //  1.5: span 0.5, pitch 1.6, next 2.25
    //  2.5: span 1.0, pitch 1.8, next 3.0
    //  3.0: span 0.5, pitch 1.9, next 3.75
    //  4.0: span 1.0, pitch 2.1
    // First line at t = 1: ...000. After the steps the interval box gets
    // "2.5" (2.5) and then "3,25" (reads 3, stops at the comma), each saved.
    const Files records = {{"Probe 7_613815000.txt", "0.0=pitch(1.30, 1.50, 1.0)\n"
                                                     "1.0=pitch(1.50, 1.60, 0.5)\n"
                                                     "1.5=pitch(1.60, 1.80, 1.0)\n"
                                                     "2.5=pitch(1.80, 1.90, 0.5)\n"
                                                     "3.0=pitch(1.90, 2.10, 1.0)\n"}};
    const std::pair<const char*, const char*> runs[] = {{"C", "."}, {"de_DE.UTF-8", ","}};
    std::vector<std::string> logs;
    for (const auto& [locale, point] : runs) {
        SCOPED_TRACE(locale);
        const FaultRun run = PlayFlight("locale.json", locale, locale);
        ExpectCleanRun(run);
        // The module really ran in that locale.
        ASSERT_FALSE(run.trace.empty());
        EXPECT_EQ(run.trace.front(), std::string("locale ") + locale + ", decimal point '" + point + "'");
        EXPECT_EQ(run.DataFiles(), records);
        EXPECT_THAT(CallbackResults(run.trace), ElementsAre("true", "true"));
        EXPECT_EQ(run.Output("a.scn"), Scenario("REC 1\nINT 2.50\nVES Probe&7\n"));
        EXPECT_EQ(run.Output("b.scn"), Scenario("REC 1\nINT 3.00\nVES Probe&7\n"));
        // The display: "On", the interval 3.0, the last sample (4.0, 2.1).
        logs.push_back(run.Output("left.log"));
    }
    ASSERT_EQ(logs.size(), 2u);
    EXPECT_EQ(logs[0], DrawLog(4, kStandardRows, 1, "Probe 7", "3.0 Seconds", "Time  4.0", "Pitch 2.1"));
    EXPECT_EQ(logs[1], logs[0]);
}

// ---- a flight no double can hold ----

TEST(FlightFaults, ANumberBeyondDoubleRangeIsBadInputNotACrash)
{
    // bad-number.json: clock_mjd 1e999 lies beyond the largest double
    // (about 1.8e308). The host refuses the flight, exit 2, before the module
    // is loaded: no root folder is made, no data written.
    const FaultRun run = PlayFlight("bad-number.json");
    EXPECT_EQ(run.host.exitCode, 2);
    EXPECT_THAT(run.host.err, ::testing::HasSubstr("kestrel-host: " + Flight("bad-number.json").string() +
                                                   ": not valid JSON: "));
    EXPECT_THAT(run.host.err, ::testing::HasSubstr("1e999"));
    EXPECT_EQ(run.host.out, "");
    EXPECT_FALSE(std::filesystem::exists(run.host.root));
}

TEST(FlightFaults, ADeeplyNestedFlightIsBadInputNotACrash)
{
    // A million nested arrays where the flight's object belongs. The message
    // names the value by its kind instead of writing it out (which would
    // recurse a million levels deep).
    const std::filesystem::path folder = FreshFolder();
    const std::filesystem::path flight = folder / "deep.json";
    std::ofstream(flight) << std::string(1000000, '[') << std::string(1000000, ']');
    const HostRun run = RunFlight(flight, folder / "run");
    EXPECT_EQ(run.exitCode, 2) << run.err.substr(0, 400);
    EXPECT_EQ(run.err, "kestrel-host: " + flight.string() + ": expected an object, found a large array\n");
    EXPECT_FALSE(std::filesystem::exists(run.root));
}
