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

TEST(Batch, AListWithABadLinePlaysNothing)
{
    const fs::path folder = FreshFolder();
    const fs::path list = folder / "list.txt";
    const fs::path root = folder / "first";
    std::ofstream(list, std::ios::binary) << "# flight, tab, root\n"
                                          << Flight("three-lines.json").string() << "\t" << root.string() << "\n"
                                          << Flight("three-lines.json").string() << " " << root.string() << "2\n";
    const HostRun batch = RunHost({"batch", list.string(), "--module", KESTREL_MODULE}, folder);
    EXPECT_EQ(batch.exitCode, 2);
    // Line 3 has no tab; line 1, a comment, is skipped.
    EXPECT_THAT(batch.err, HasSubstr("list.txt:3: expected FLIGHT<tab>ROOT"));
    EXPECT_FALSE(fs::exists(root));
    EXPECT_FALSE(fs::exists(root.string() + ".code"));
}
