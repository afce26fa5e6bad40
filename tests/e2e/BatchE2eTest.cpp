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
    const char* list; // written to @/list.txt; nullptr: the LIST argument is `argument`
    const char* argument;
    const char* message;
};

void PrintTo(const BadList& c, std::ostream* out)
{
    *out << c.name;
}

class BadLists : public ::testing::TestWithParam<BadList> {};

TEST_P(BadLists, PlayNothing)
{
    const BadList& c = GetParam();
    const fs::path folder = FreshFolder();
    auto expand = [&](std::string text) {
        for (std::size_t at = text.find_first_of("@%"); at != std::string::npos; at = text.find_first_of("@%", at)) {
            const std::string by = text[at] == '@' ? folder.string() : Flight("three-lines.json").string();
            text.replace(at, 1, by);
            at += by.size();
        }
        return text;
    };
    if (c.list != nullptr) {
        WriteFile(folder / "list.txt", expand(c.list));
    }
    const HostRun batch = RunHost({"batch", c.list != nullptr ? (folder / "list.txt").string() : c.argument, "--module",
                                   KESTREL_MODULE},
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
        BadList{"AFolder", nullptr, "/tmp", "/tmp: cannot read the flight list: it is a folder, not a file"},
        BadList{"ADevice", nullptr, "/dev/null",
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
                "@/first/KestrelScribeData"}),
    [](const ::testing::TestParamInfo<BadList>& param) { return std::string(param.param.name); });
