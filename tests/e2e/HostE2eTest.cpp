// End-to-end tests: the real kestrel-host with the real KestrelScribeMFD
// plug-in, on the flight files in tests/e2e/flights. The expected values are
// worked out by hand from the recorder's and display's rules, in the comments
// beside them.
#include "tests/e2e/HostRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Index of the first line equal to `line` at or after `from`; -1 if none.
long IndexOf(const std::vector<std::string>& lines, const std::string& line, long from = 0)
{
    for (auto i = static_cast<std::size_t>(from); i < lines.size(); ++i) {
        if (lines[i] == line) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

} // namespace

// ---- the plug-in's entry points: registration, handler, version, unload ----

// entry-edges.json: GetModuleVersion called 3 times, messages 2 and 0 sent to
// the handler, then "left" opened with the raw packed size
// 512 | 256 << 16 = 0x01000200 = 16777728, and redrawn after 2 steps.
class EntryEdges : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        run_ = new HostRun(RunFlight(Flight("entry-edges.json"), FreshFolder()));
        trace_ = new std::vector<std::string>(Lines(ReadFile(run_->trace)));
    }
    static void TearDownTestSuite()
    {
        delete run_;
        delete trace_;
    }
    static HostRun* run_;
    static std::vector<std::string>* trace_;
};
HostRun* EntryEdges::run_ = nullptr;
std::vector<std::string>* EntryEdges::trace_ = nullptr;

TEST_F(EntryEdges, RunSucceeds)
{
    EXPECT_EQ(run_->exitCode, 0) << run_->err;
}

TEST_F(EntryEdges, MessageOtherThanOneGivesZeroAndCreatesNothing)
{
    // Width and height absent: the host packs its default 256 x 200 display,
    // 256 | 200 << 16 = 0x00C80100.
    EXPECT_TRUE(Contains(*trace_, "call msgproc 2 0 0xC80100 -> 0"));
    EXPECT_TRUE(Contains(*trace_, "call msgproc 0 1 0xC80100 -> 0"));
    EXPECT_THAT(run_->out, HasSubstr("message: msgproc 2 0 0xC80100 -> 0\n"));
    // Only the one open constructs an MFD.
    EXPECT_EQ(StartingWith(*trace_, "MFD ").size(), 1u);
}

TEST_F(EntryEdges, PackedSizeOpensA512By256Display)
{
    EXPECT_TRUE(Contains(*trace_, "call msgproc 1 0 0x1000200 (open left)"));
    // Low 16 bits 512 wide, high 16 bits 256 high; char cell derived from the
    // size: 512 / 32 = 16, 256 / 20 = 12.
    ASSERT_EQ(StartingWith(*trace_, "MFD ").size(), 1u);
    EXPECT_EQ(StartingWith(*trace_, "MFD ")[0], "MFD 512x256 cell 16x12 vessel 'Probe 7'");
    EXPECT_THAT(run_->out, HasSubstr("display left (512x256, char cell 16x12):\n"));
    // The redraw uses H = 256, cw = 16, ch = 12: x = 16 * 0.5 = 8;
    // row 1 at 12 * 2.7 = 32.4 -> 32; row 8 at 256 - 6 * 12 - 2 = 182;
    // row 9 at 256 - 5 * 12 - 2 = 194.
    const auto log = Lines(ReadFile(run_->root / "left.log"));
    EXPECT_TRUE(Contains(log, "text 8 32 Record Pitch"));
    EXPECT_TRUE(Contains(log, "text 8 182 Time  0.0"));
    EXPECT_TRUE(Contains(log, "text 8 194 Pitch 0.0"));
}

TEST_F(EntryEdges, VersionIsCachedDate2IntCalledOnce)
{
    // Date2Int("Aug 30 2010") is yymmdd = 100830; three GetModuleVersion
    // calls, one Date2Int.
    const auto versions = StartingWith(*trace_, "call GetModuleVersion");
    ASSERT_EQ(versions.size(), 3u);
    for (const std::string& line : versions) {
        EXPECT_EQ(line, "call GetModuleVersion -> 100830");
    }
    const auto dates = StartingWith(*trace_, "Date2Int ");
    ASSERT_EQ(dates.size(), 1u);
    EXPECT_EQ(dates[0], "Date2Int Aug 30 2010 -> 100830");
    EXPECT_THAT(run_->out, HasSubstr("version: 100830\n"));
    EXPECT_THAT(run_->out, HasSubstr("mode KestrelScribeMFD (key 0x19)"));
}

TEST_F(EntryEdges, InitLibIsGivenTheModulesOwnHandle)
{
    EXPECT_EQ(StartingWith(*trace_, "InitLib").size(), 1u);
    EXPECT_TRUE(Contains(*trace_, "InitLib handle matches module: yes"));
}

TEST_F(EntryEdges, HostExitThenDetachUnregistersOnce)
{
    // The host calls ExitModule, which unregisters mode 1; the detach calls
    // ExitModule again, which must unregister nothing.
    EXPECT_TRUE(Contains(*trace_, "oapiRegisterMFDMode KestrelScribeMFD 0x19 -> 1"));
    const auto unregisters = StartingWith(*trace_, "oapiUnregisterMFDMode");
    ASSERT_EQ(unregisters.size(), 1u);
    EXPECT_EQ(unregisters[0], "oapiUnregisterMFDMode 1");
    const long exit = IndexOf(*trace_, "call ExitModule");
    ASSERT_GE(exit, 0);
    EXPECT_EQ(IndexOf(*trace_, "oapiUnregisterMFDMode 1"), exit + 1);
    EXPECT_EQ(IndexOf(*trace_, "unload"), exit + 2);
    EXPECT_EQ(IndexOf(*trace_, "unloaded"), exit + 3);
}

TEST(Detach, WithoutTheHostsExitUnregistersOnceAtUnload)
{
    // detach-only.json: "host_calls_exit": false, so only the detach routine
    // calls ExitModule: one unregister, inside the unload.
    const HostRun run = RunFlight(Flight("detach-only.json"), FreshFolder());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto trace = Lines(ReadFile(run.trace));
    EXPECT_EQ(IndexOf(trace, "call ExitModule"), -1);
    const auto unregisters = StartingWith(trace, "oapiUnregisterMFDMode");
    ASSERT_EQ(unregisters.size(), 1u);
    EXPECT_EQ(unregisters[0], "oapiUnregisterMFDMode 1");
    const long unload = IndexOf(trace, "unload");
    ASSERT_GE(unload, 0);
    EXPECT_EQ(IndexOf(trace, "oapiUnregisterMFDMode 1"), unload + 1);
    EXPECT_EQ(IndexOf(trace, "unloaded"), unload + 2);
    EXPECT_TRUE(Contains(trace, "InitLib handle matches module: yes"));
}

// ---- the records of a file begun after a time-axis reset ----

TEST(Records, ThreeLinesFromAFreshTimeAxis)
{
    // three-lines.json: Probe 7 pitch 5, 7.5, 9, 9.5 degrees at 0, 10, 20,
    // 30 s; recording switched on by button 0 before step 0; 31 steps of
    // 1 s (t = 0 .. 30 at the calls). Samples at elapsed 0 (span 0: no line),
    // 10, 20, 30. The first line is written at t = 10, when the clock reads
    // 61381.5 + 10 / 86400 = 61381.500115..., so the stamp is
    // trunc(613815001.157...) = 613815001.
    const HostRun run = RunFlight(Flight("three-lines.json"), FreshFolder());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string data = "KestrelScribeData/Probe 7_613815001.txt";
    EXPECT_EQ(FilesUnder(run.root), std::vector<std::string>{data});
    EXPECT_EQ(ReadFile(run.root / data), "0.0=pitch(5.00, 7.50, 10.0)\n"
                                         "10.0=pitch(7.50, 9.00, 10.0)\n"
                                         "20.0=pitch(9.00, 9.50, 10.0)\n");
    EXPECT_THAT(run.out, HasSubstr("steps:   31 run"));
    EXPECT_THAT(run.out, HasSubstr("data files written: 1\n  " + data + ": 3 lines\ndisplay left ("));
    // Each line: one append open, one write, one close.
    const auto trace = Lines(ReadFile(run.trace));
    EXPECT_EQ(StartingWith(trace, "oapiOpenFile KestrelScribeData\\Probe 7_613815001.txt 2 0 -> file").size(), 3u);

    // The same flight again on the same root (as a second host would): the
    // file holds six lines, of which this run wrote three.
    const HostRun again = RunFlight(Flight("three-lines.json"), run.root.parent_path());
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(Lines(ReadFile(run.root / data)).size(), 6u);
    EXPECT_THAT(again.out, HasSubstr("data files written: 1\n  " + data + ": 3 lines (the file held 3 lines before)\n"));
}

// ---- the scenario ----

TEST(Scenario, SavedAndRestored)
{
    // scenario-save.json: focus GL-01; record on (button 0); vessel box
    // (key 0x30 = 48) answered "Probe 7"; interval box (menu N) answered
    // "2.5". The block: REC 1, INT 2.50 ("%0.2f"), VES Probe&7 (blank as &).
    const fs::path folder = FreshFolder();
    const HostRun save = RunFlight(Flight("scenario-save.json"), folder / "save");
    ASSERT_EQ(save.exitCode, 0) << save.err;
    const std::string expected = "# kestrel-host scenario\n"
                                 "BEGIN_MFD left 256 200 8 10\n"
                                 "REC 1\n"
                                 "INT 2.50\n"
                                 "VES Probe&7\n"
                                 "END_MFD\n";
    EXPECT_EQ(ReadFile(save.root / "saved.scn"), expected);
    // The vessel change reset the time axis at step 1; no sample has had a
    // positive span since, so no data file.
    EXPECT_EQ(FilesUnder(save.root), std::vector<std::string>{"saved.scn"});

    // scenario-restore.json loads saved.scn from its own folder, with GL-01
    // as the focus: the block read replaces the focus name.
    const fs::path restoreFolder = folder / "restore";
    fs::create_directories(restoreFolder);
    fs::copy_file(Flight("scenario-restore.json"), restoreFolder / "restore.json");
    fs::copy_file(save.root / "saved.scn", restoreFolder / "saved.scn");
    const HostRun restore = RunFlight(restoreFolder / "restore.json", restoreFolder);
    ASSERT_EQ(restore.exitCode, 0) << restore.err;
    const auto trace = Lines(ReadFile(restore.trace));
    EXPECT_TRUE(Contains(trace, "oapiReadScenario_nextline -> VES Probe&7"));
    EXPECT_TRUE(Contains(trace, "oapiReadScenario_nextline -> (end)"));
    // Redraw with cw 8, ch 10: "On" (recording 1) at 10 * 3.7 = 37 in the
    // value colour, the name with its blank at 7 * 10 = 70, the interval at
    // 10 * 10.3 = 103.
    const auto log = Lines(ReadFile(restore.root / "restored.log"));
    EXPECT_TRUE(Contains(log, "text 4 37 On"));
    EXPECT_TRUE(Contains(log, "text 4 70 Probe 7"));
    EXPECT_TRUE(Contains(log, "text 4 103 2.5 Seconds"));
    EXPECT_EQ(ReadFile(restore.root / "resaved.scn"), expected);
}

// ---- a redraw's draw log ----

TEST(Redraw, DrawLogAndSnapshot)
{
    // redraw.json: 256 x 200, cw 8, ch 10, recording off. x = 8 * 0.5 = 4;
    // rows 1-4 at 10*2.7 = 27, 10*9.3 = 93, 6*10 = 60, 10*3.7 = 37; colour
    // switch; rows 6-9 at 7*10 = 70, 10*10.3 = 103, 200-60-2 = 138,
    // 200-50-2 = 148.
    const HostRun run = RunFlight(Flight("redraw.json"), FreshFolder());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(run.root / "shots/left.log"), "font 0\n"
                                                      "title KestrelScribeMFD\n"
                                                      "font 0\n"
                                                      "color 0x33FF33\n"
                                                      "text 4 27 Record Pitch\n"
                                                      "text 4 93 Sample Interval\n"
                                                      "text 4 60 Vessel\n"
                                                      "text 4 37 Off\n"
                                                      "color 0x33FFFF\n"
                                                      "text 4 70 Probe 7\n"
                                                      "text 4 103 10.0 Seconds\n"
                                                      "text 4 138 Time  0.0\n"
                                                      "text 4 148 Pitch 0.0\n");
    // The SVG: black background, the title, labels in #33FF33 (COLORREF
    // 0x33FF33 is R 0x33 G 0xFF B 0x33), values in #FFFF33 (0x33FFFF is
    // R 0xFF G 0xFF B 0x33); the baseline sits 0.8 ch below the text's top.
    const std::string svg = ReadFile(run.root / "shots/left.svg");
    EXPECT_THAT(svg, HasSubstr("width=\"256\" height=\"200\" fill=\"#000000\""));
    EXPECT_THAT(svg, HasSubstr(">KestrelScribeMFD</text>"));
    EXPECT_THAT(svg, HasSubstr("<text x=\"4\" y=\"35\" fill=\"#33FF33\""));
    EXPECT_THAT(svg, HasSubstr(">Record Pitch</text>"));
    EXPECT_THAT(svg, HasSubstr("<text x=\"4\" y=\"78\" fill=\"#FFFF33\""));
    EXPECT_THAT(svg, HasSubstr(">Probe 7</text>"));
}

// ---- input boxes, focus and reopening ----

TEST(InputBoxes, StayOpenAfterTheirDisplayCloses)
{
    // closed-box.json: the interval box, then the vessel box, are opened on
    // "left", which is then closed. `null` cancels the vessel box (opened
    // last) with no call; "2.5" then answers the interval box of the deleted
    // display. Probe 7, the focus, is removed: "right" opens with no focus.
    // Reopening "right" at 320 x 240 replaces its instance; char cell
    // 320/32 = 10, 240/20 = 12; the interval row at 12 * 10.3 = 123.6 -> 123,
    // x = 5.
    const HostRun run = RunFlight(Flight("closed-box.json"), FreshFolder());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto trace = Lines(ReadFile(run.trace));
    EXPECT_TRUE(Contains(trace, "input Enter Vessel Name cancelled"));
    EXPECT_TRUE(Contains(trace, "call input callback Enter Data Point Interval <- 2.5"));
    EXPECT_EQ(StartingWith(trace, "call input callback").size(), 1u);
    EXPECT_TRUE(Contains(trace, "input callback -> true"));
    EXPECT_TRUE(Contains(trace, "oapiGetFocusObject -> null"));
    EXPECT_EQ(StartingWith(trace, "delete right").size(), 2u);
    EXPECT_THAT(run.out, HasSubstr("display right (320x240, char cell 10x12):\n"));
    const auto log = Lines(ReadFile(run.root / "right.log"));
    EXPECT_TRUE(Contains(log, "text 5 123 2.5 Seconds"));
}

// ---- bad input found before the run: exit 2, a message naming the file and the problem, no data ----

struct BadFlight {
    const char* file;
    const char* problem;
};

void PrintTo(const BadFlight& bad, std::ostream* out)
{
    *out << bad.file;
}

class BadInput : public ::testing::TestWithParam<BadFlight> {};

TEST_P(BadInput, ExitsWith2NamesTheProblemWritesNothing)
{
    const BadFlight bad = GetParam();
    const fs::path folder = FreshFolder();
    const HostRun run = RunFlight(Flight(bad.file), folder);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_THAT(run.err, HasSubstr("kestrel-host: " + Flight(bad.file).string() + ": "));
    EXPECT_THAT(run.err, HasSubstr(bad.problem));
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(FilesUnder(run.root), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(run.root / "KestrelScribeData"));
}

INSTANTIATE_TEST_SUITE_P(
    Flights, BadInput,
    ::testing::Values(BadFlight{"bad-json.json", "not valid JSON"},
                      BadFlight{"bad-action.json", "events[0] (step 0): unknown action 'jump'"},
                      BadFlight{"bad-display.json", "unknown display 'middle'"},
                      BadFlight{"bad-vessel.json", "unknown vessel 'Nobody'"},
                      BadFlight{"bad-order.json", "events out of order: step 2 comes after step 5"},
                      // A plain JSON parse keeps the last of two equal keys.
                      BadFlight{"bad-duplicate-key.json", ": the key 'steps' is given twice"},
                      BadFlight{"bad-duplicate-event-key.json", "events[1]: the key 'button' is given twice"},
                      // Names have any length from one character, any byte
                      // but NUL, which would end the name the host hands over.
                      BadFlight{"bad-vessel-empty.json", "vessels[0].name: a vessel name needs at least one character"},
                      BadFlight{"bad-vessel-nul.json",
                                "vessels[0].name: the vessel name \"Pro\\u0000be 7\" holds a NUL character"}),
    [](const ::testing::TestParamInfo<BadFlight>& param) {
        std::string name = fs::path(param.param.file).stem().string();
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

TEST(BadInputWhileRunning, AStrayInputStopsTheRunAndEveryLineWrittenBeforeItStays)
{
    // bad-input.json: Probe 7's pitch goes linearly from 5 degrees at 0 s to
    // 9.5 at 30 s (0.15 a second); recording on before step 0; 31 steps of
    // 1 s, interval 10: samples at 0 (5.00, no line), 10 (6.50), 20 (8.00),
    // 30 (9.50), the first line at t = 10 (stamp ...001). Then, after the
    // last step, an input with no box open: the run stops with exit 2, and
    // the three lines stay in the file, byte for byte.
    const HostRun run = RunFlight(Flight("bad-input.json"), FreshFolder());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    const std::string data = "KestrelScribeData/Probe 7_613815001.txt";
    EXPECT_EQ(run.err, "kestrel-host: " + Flight("bad-input.json").string() +
                           ": events[2] (step 31): 'input' with no open input box\n"
                           "kestrel-host: the run stopped after 31 of 31 steps; the lines the module wrote before the "
                           "stop are kept, in " + run.root.string() + ":\n  " + data + ": 3 lines\n");
    EXPECT_EQ(FilesUnder(run.root), std::vector<std::string>{data});
    EXPECT_EQ(ReadFile(run.root / data), "0.0=pitch(5.00, 6.50, 10.0)\n"
                                         "10.0=pitch(6.50, 8.00, 10.0)\n"
                                         "20.0=pitch(8.00, 9.50, 10.0)\n");
}

TEST(BadModule, MissingModuleFile)
{
    const fs::path folder = FreshFolder();
    const std::string missing = (folder / "nowhere" / "KestrelScribeMFD.so").string();
    const HostRun run = RunFlight(Flight("three-lines.json"), folder, missing);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_THAT(run.err, HasSubstr("kestrel-host: " + missing + ": no such module file"));
    EXPECT_FALSE(fs::exists(run.root));
}

TEST(BadModule, ModuleLackingExports)
{
    const fs::path folder = FreshFolder();
    const HostRun run = RunFlight(Flight("three-lines.json"), folder, KESTREL_NO_EXPORTS_MODULE);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_THAT(run.err, HasSubstr(std::string(KESTREL_NO_EXPORTS_MODULE) +
                                   ": the module lacks the export(s) ExitModule, opcPreStep, ModuleDate, GetModuleVersion"));
    EXPECT_EQ(FilesUnder(run.root), std::vector<std::string>{});
    // Nothing of the module was called.
    EXPECT_EQ(IndexOf(Lines(ReadFile(run.trace)), "call InitModule"), -1);
}

// ---- a line pairs two samples of one vessel ----

TEST(Records, ASecondVesselsFileBeginsWithItsOwnTwoSamples)
{
    // second-vessel.json: Probe 7 (pitch 10) recorded from step 0 with steps
    // of 1 s; before step 15 the focus goes to GL-01 (pitch 50 up to t = 20,
    // then linear to 55 at t = 30) and "right" is opened, which points the
    // recorder at GL-01 on the same time axis. Samples at 0 (seed), 10 (a
    // line for Probe 7, first line: stamp trunc((61381.5 + 10 / 86400) *
    // 10000) = 613815001), 20 (GL-01's first sample: a seed only, since the
    // last one was Probe 7's), 30 (GL-01's line from 20, the stamp kept).
    const HostRun run = RunFlight(Flight("second-vessel.json"), FreshFolder());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(FilesUnder(run.root), (std::vector<std::string>{"KestrelScribeData/GL-01_613815001.txt",
                                                              "KestrelScribeData/Probe 7_613815001.txt"}));
    EXPECT_EQ(ReadFile(run.root / "KestrelScribeData/Probe 7_613815001.txt"), "0.0=pitch(10.00, 10.00, 10.0)\n");
    EXPECT_EQ(ReadFile(run.root / "KestrelScribeData/GL-01_613815001.txt"), "20.0=pitch(50.00, 55.00, 10.0)\n");
    EXPECT_THAT(run.out, HasSubstr("data files written: 2\n  KestrelScribeData/GL-01_613815001.txt: 1 line\n"
                                   "  KestrelScribeData/Probe 7_613815001.txt: 1 line\n"));

    // The two names made one file (a hard link): a file with another name
    // is never written, as that name may lead anywhere (out of the root,
    // onto an input). Probe 7's line of t = 10 is lost (its append and its
    // write refused); no line has reached a file, so the stamp follows the
    // clock, and GL-01's line of t = 30 goes to a file of its own, stamped
    // trunc(30 / 8.64) = 3: ..._613815003.txt. The two names stay empty.
    const fs::path linked = FreshFolder("linked");
    fs::create_directories(linked / "root/KestrelScribeData");
    WriteFile(linked / "root/KestrelScribeData/Probe 7_613815001.txt", "");
    fs::create_hard_link(linked / "root/KestrelScribeData/Probe 7_613815001.txt",
                         linked / "root/KestrelScribeData/GL-01_613815001.txt");
    const HostRun one = RunFlight(Flight("second-vessel.json"), linked);
    EXPECT_EQ(one.exitCode, 3) << one.err;
    EXPECT_EQ(ReadFile(one.root / "KestrelScribeData/GL-01_613815001.txt"), "");
    EXPECT_EQ(ReadFile(one.root / "KestrelScribeData/GL-01_613815003.txt"), "20.0=pitch(50.00, 55.00, 10.0)\n");
    EXPECT_THAT(one.out, HasSubstr("data files written: 1\n  KestrelScribeData/GL-01_613815003.txt: 1 line\n"
                                   "lines not written: 1\n  file with another name (a hard link): 1\n"));
}
