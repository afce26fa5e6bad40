// kestrel-host batch against kestrel-host run: every flight of a batch must
// leave exactly what the same flight leaves when played by a process of its
// own (exit code, output, messages, files, trace), whatever the flights
// before it did.
#include "tests/e2e/HostRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

// The contents of every file under `folder`, by relative path.
std::vector<std::pair<std::string, std::string>> Contents(const fs::path& folder)
{
    std::vector<std::pair<std::string, std::string>> contents;
    for (const std::string& file : FilesUnder(folder)) {
        contents.emplace_back(file, ReadFile(folder / file));
    }
    return contents;
}

} // namespace

TEST(Batch, EachFlightLeavesWhatItLeavesInAProcessOfItsOwn)
{
    // Chosen so that state left behind by one flight shows in a later one:
    // the second three-lines would find the recorder already on, a vessel
    // twice or a data file begun (module or host not fresh); bad-json stops
    // on bad input between two good flights; scenario-save leaves a display
    // open with an input box answered; entry-edges counts InitLib calls,
    // registrations and version calls, which a module kept loaded or a host
    // not cleared would get wrong.
    const std::vector<std::string> flights = {"three-lines.json", "scenario-save.json", "bad-json.json",
                                              "three-lines.json", "entry-edges.json"};
    const fs::path folder = FreshFolder();
    const fs::path list = folder / "list.txt";
    {
        std::ofstream out(list, std::ios::binary);
        for (std::size_t i = 0; i < flights.size(); ++i) {
            const fs::path root = folder / "batch" / std::to_string(i);
            out << Flight(flights[i]).string() << "\t" << root.string() << "\t" << root.string() << ".trace\n";
        }
    }
    // What a batch before left beside the first root, longer than what this
    // one writes there: emptied first.
    fs::create_directories(folder / "batch");
    for (const char* suffix : {".out", ".err", ".code", ".trace"}) {
        WriteFile(folder / "batch" / (std::string("0") + suffix), "left by a batch before, and longer\n" + std::string(50000, 'x'));
    }
    const HostRun batch = RunHost({"batch", list.string(), "--module", KESTREL_MODULE}, folder);
    ASSERT_EQ(batch.exitCode, 0) << batch.err;
    EXPECT_THAT(batch.out, HasSubstr("5 flight(s) played, 4 with exit 0, 1 with another exit code"));

    for (std::size_t i = 0; i < flights.size(); ++i) {
        SCOPED_TRACE(flights[i] + " (flight " + std::to_string(i + 1) + " of the batch)");
        const HostRun single = RunFlight(Flight(flights[i]), folder / ("single" + std::to_string(i)));
        const fs::path root = folder / "batch" / std::to_string(i);
        EXPECT_EQ(ReadFile(root.string() + ".code"), std::to_string(single.exitCode) + "\n");
        EXPECT_EQ(ReadFile(root.string() + ".out"), single.out);
        EXPECT_EQ(ReadFile(root.string() + ".err"), single.err);
        EXPECT_EQ(Contents(root), Contents(single.root));
        EXPECT_EQ(ReadFile(root.string() + ".trace"), ReadFile(single.trace));
    }
    // The bad flight reported its problem and was not the end of the batch.
    EXPECT_THAT(ReadFile(folder / "batch" / "2.err"), HasSubstr("bad-json.json"));
    EXPECT_EQ(ReadFile(folder / "batch" / "2.code"), "2\n");
}

// A list the batch refuses: exit 2, a message naming the list (and the
// line) and the problem, no flight played. '@' stands for the case's
// folder, % for a flight file's path.
struct BadList {
    const char* name;
    std::string list; // written to @/list.txt; empty: the LIST argument is `argument`
    const char* argument;
    std::string message;
    const char* module = KESTREL_MODULE; // --module ('@' as above)
    const char* link = nullptr;          // @/link made a symbolic link to `target` ('@' as above)
    const char* target = nullptr;
};

void PrintTo(const BadList& c, std::ostream* out)
{
    *out << c.name;
}

class BadLists : public ::testing::TestWithParam<BadList> {};

// A list of `count` lines, the three-line flight on roots r1, r2, ...
std::string Roots(int count)
{
    std::string list;
    for (int i = 1; i <= count; ++i) {
        list += "%\t@/r" + std::to_string(i) + "\n";
    }
    return list;
}

TEST_P(BadLists, PlayNothing)
{
    const BadList& c = GetParam();
    const fs::path folder = FreshFolder();
    const std::string flight = Flight("three-lines.json").string();
    const std::string here = folder.string();
    auto expand = [&](const std::string& text) {
        std::string expanded;
        expanded.reserve(text.size() + 64);
        for (const char at : text) {
            if (at == '@') {
                expanded += here;
            } else if (at == '%') {
                expanded += flight;
            } else {
                expanded += at;
            }
        }
        return expanded;
    };
    if (!c.list.empty()) {
        WriteFile(folder / "list.txt", expand(c.list));
    }
    if (c.link != nullptr) {
        fs::create_symlink(expand(c.target), folder / c.link);
    }
    const HostRun batch = RunHost({"batch", !c.list.empty() ? (folder / "list.txt").string() : c.argument, "--module",
                                   expand(c.module)},
                                  folder);
    EXPECT_EQ(batch.exitCode, 2);
    EXPECT_THAT(batch.err, HasSubstr(expand(c.message)));
    EXPECT_EQ(batch.out, "");
    EXPECT_FALSE(fs::exists(folder / "first"));
    EXPECT_FALSE(fs::exists(folder / "first.code"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadLists,
    ::testing::Values(
        // Line 3 has no tab; line 1, a comment, is skipped.
        BadList{"ABadLine", "# flight, tab, root\n%\t@/first\n% @/first2\n", nullptr,
                "list.txt:3: expected FLIGHT<tab>ROOT"},
        BadList{"AFolder", "", "/tmp", "/tmp: cannot read the flight list: it is a folder, not a file"},
        BadList{"ADevice", "", "/dev/null",
                "/dev/null: cannot read the flight list: it is not a plain file (a device or a pipe)"},
        BadList{"NoFlight", "# only a comment\n\n", nullptr, "list.txt: the flight list holds no flight"},
        BadList{"AControlCharacter", "%\t@/first\n%\t@/sec\x01ond\n", nullptr,
                "list.txt:2: ROOT: '@/sec\\x01ond' holds a control character (\\x01)"},
        // Every path of the list against all the others.
        BadList{"ATraceOnAnotherLinesOutput", "%\t@/first\n%\t@/second\t@/first.out\n", nullptr,
                "list.txt:2: TRACE: '@/first.out' is also written as line 1's ROOT.out"},
        BadList{"TwoLinesOnOneRoot", "%\t@/first\n%\t@/first/\n", nullptr,
                "list.txt:2: ROOT: '@/first.out' is also written as line 1's ROOT.out"},
        BadList{"ATraceOverAFlight", "@/f.json\t@/first\n%\t@/second\t@/f.json\n", nullptr,
                "list.txt:2: TRACE: '@/f.json' is read by this run as line 1's FLIGHT"},
        BadList{"ATraceOverTheList", "%\t@/first\t@/list.txt\n", nullptr,
                "list.txt:1: TRACE: '@/list.txt' is read by this run as the flight list"},
        BadList{"AnOutputInAnotherRootsDataFolder", "%\t@/first\n%\t@/first/KestrelScribeData/x\n", nullptr,
                "list.txt:2: ROOT: '@/first/KestrelScribeData/x.out' lies in the data folder "
                "@/first/KestrelScribeData"},
        // In any data folder, a root of the list's or not, as in a run.
        BadList{"ARootInADataFolderOfNoRootOfTheList", "%\t@/r/KestrelScribeData/x\n", nullptr,
                "list.txt:1: ROOT: '@/r/KestrelScribeData/x.out' lies in the data folder @/r/KestrelScribeData"},
        // ROOTs as Windows finds them: "d." and "e " are "d" and "e".
        BadList{"ARootWithATrailingDot", "%\t@/d\n%\t@/d.\n", nullptr,
                "list.txt:2: ROOT: '@/d.' has a name ending in a dot or a blank"},
        BadList{"ARootWithATrailingBlank", "%\t@/e \n", nullptr,
                "list.txt:1: ROOT: '@/e ' has a name ending in a dot or a blank"},
        // The module is read by every flight.
        BadList{"AnOutputOnTheModule", "%\t@/m3\n", nullptr,
                "list.txt:1: ROOT: '@/m3.out' is read by this run as the module (--module)", "@/m3.out"},
        // An output that is a link into a data file (one the list's first
        // flight writes).
        BadList{"AnOutputThatIsALinkIntoADataFile", "%\t@/r0\n%\t@/b1\n", nullptr,
                "list.txt:2: ROOT: '@/b1.err' lies in the data folder @/r0/KestrelScribeData (where links on the way "
                "lead)",
                KESTREL_MODULE, "b1.err", "@/r0/KestrelScribeData/Probe 7_613815001.txt"},
        BadList{"AFourthField", "%\t@/first\t@/t\t@/x\n", nullptr,
                "list.txt:1: expected FLIGHT<tab>ROOT or FLIGHT<tab>ROOT<tab>TRACE"},
        // Lines of at most 3 * 4096 characters: a comment of that length is
        // skipped, one a character longer refused.
        BadList{"TheLongestLine", "#" + std::string(12287, 'x') + "\n", nullptr, "list.txt: the flight list holds no flight"},
        BadList{"ALineOneTooLong", "#" + std::string(12288, 'x') + "\n", nullptr,
                "list.txt:1: a line of 12289 characters; a line holds three paths, at most 12288 characters"},
        // At most 10000 flights: the 10000th is taken (so the list fails at
        // the bad line after it), the 10001st refused.
        BadList{"TheLastFlightThatFits", Roots(10000) + "bad\n", nullptr,
                "list.txt:10001: expected FLIGHT<tab>ROOT or FLIGHT<tab>ROOT<tab>TRACE"},
        BadList{"OneFlightTooMany", Roots(10001), nullptr,
                "list.txt:10001: more than 10000 flights; a list holds at most that many"}),
    [](const ::testing::TestParamInfo<BadList>& param) { return std::string(param.param.name); });

// A flight's outputs written in place (ROOT.out, .err, .code and TRACE) are
// never written through another name of a file: each planted as a hard link
// to a data file an earlier run wrote, the data file keeps its three lines,
// and the batch says why, where its messages go.
struct LinkedOutput {
    const char* suffix;  // of the link beside ROOT "@/b"
    const char* errFile; // where the message goes: "" the batch's standard error, else that file beside ROOT
    const char* what;    // what the message calls the file
    int code;            // the flight's exit code, in the batch's line
};

void PrintTo(const LinkedOutput& c, std::ostream* out)
{
    *out << c.suffix;
}

class LinkedOutputs : public ::testing::TestWithParam<LinkedOutput> {};

TEST_P(LinkedOutputs, AreRefusedAndTheDataFileKeepsItsLines)
{
    const LinkedOutput& c = GetParam();
    const fs::path folder = FreshFolder();
    const HostRun first = RunFlight(Flight("three-lines.json"), folder / "first");
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const fs::path data = first.root / "KestrelScribeData/Probe 7_613815001.txt";
    const std::string lines = ReadFile(data);
    ASSERT_EQ(Lines(lines).size(), 3u);
    const fs::path root = folder / "b";
    fs::create_hard_link(data, root.string() + c.suffix);
    WriteFile(folder / "list.txt", Flight("three-lines.json").string() + "\t" + root.string() + "\t" + root.string() +
                                       ".trace\n");
    const HostRun batch = RunHost({"batch", (folder / "list.txt").string(), "--module", KESTREL_MODULE}, folder);
    EXPECT_EQ(batch.exitCode, 0) << batch.err;
    EXPECT_THAT(batch.out, HasSubstr("three-lines.json: exit " + std::to_string(c.code) + "\n"));
    const std::string message = root.string() + c.suffix + ": cannot write " + c.what +
                                ": the file has another name too (a hard link), which writing it would change as well\n";
    EXPECT_THAT(std::string(c.errFile).empty() ? batch.err : ReadFile(root.string() + c.errFile), HasSubstr(message));
    EXPECT_EQ(ReadFile(data), lines);
}

INSTANTIATE_TEST_SUITE_P(Table, LinkedOutputs,
                         ::testing::Values(LinkedOutput{".out", "", "the file", 2}, LinkedOutput{".err", "", "the file", 2},
                                           LinkedOutput{".code", "", "the exit code", 0},
                                           LinkedOutput{".trace", ".err", "the trace file", 2}),
                         [](const ::testing::TestParamInfo<LinkedOutput>& param) {
                             return std::string(param.param.suffix + 1);
                         });

TEST(BatchInputs, AreNeverWrittenByAFlightsModule)
{
    // The list lies in its flight's root; the probe plug-in (ProbeModule.cpp)
    // opens it to write: refused as a file the run reads, the list intact.
    const fs::path folder = FreshFolder();
    const fs::path root = folder / "r";
    fs::create_directories(root);
    WriteFile(folder / "probe.json", R"({"vessels": [{"name": "open list.txt 1 0;write a;close", "pitch_deg": [[0, 0]]}],
                                        "steps": [{"dt": 1.0, "count": 1}]})");
    const std::string list = (folder / "probe.json").string() + "\t" + root.string() + "\n";
    WriteFile(root / "list.txt", list);
    const HostRun batch = RunHost({"batch", (root / "list.txt").string(), "--module", KESTREL_PROBE_MODULE}, folder);
    EXPECT_EQ(batch.exitCode, 0) << batch.err;
    EXPECT_THAT(batch.out, HasSubstr("probe.json: exit 3\n"));
    EXPECT_THAT(ReadFile(folder / "r.out"), HasSubstr("lines not written: 1\n  a file the run reads: 1\n"));
    EXPECT_EQ(ReadFile(root / "list.txt"), list);
}
