// Every data file the end-to-end and fault-injection flights and the example
// ascent make, read by
// kestrel-records: the flights are played here, each by kestrel-host in a
// folder of its own, so the test depends on no other test's leftovers.
#include "tests/records/ToolRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

TEST(FlightRecords, CheckReadsEveryFileTheFlightsMake)
{
    const fs::path work = FreshFolder();
    std::vector<std::string> dataFiles;
    std::size_t flights = 0;
    for (const fs::path folder : {KESTREL_E2E_FLIGHTS, KESTREL_FAULT_FLIGHTS, KESTREL_EXAMPLE_FLIGHTS}) {
        std::vector<fs::path> flightFiles;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().extension() == ".json") {
                flightFiles.push_back(entry.path());
            }
        }
        std::sort(flightFiles.begin(), flightFiles.end());
        std::size_t filesBefore = dataFiles.size();
        for (const fs::path& flight : flightFiles) {
            // Broken flights exit with 2 and write nothing; the others leave
            // their records in the root's data folder (3: some lines lost).
            const fs::path root = work / folder.parent_path().filename() / flight.stem();
            const ToolRun run = RunTool(KESTREL_HOST, {"run", flight.string(), "--root", root.string(), "--module", KESTREL_MODULE},
                                        root.parent_path() / (flight.stem().string() + "-output"), 300);
            ASSERT_TRUE(run.exitCode == 0 || run.exitCode == 2 || run.exitCode == 3) << flight << ": " << run.exitCode << "\n" << run.err;
            ++flights;
            if (fs::exists(root / "KestrelScribeData")) {
                for (const auto& entry : fs::directory_iterator(root / "KestrelScribeData")) {
                    dataFiles.push_back(entry.path().string());
                }
            }
        }
        // Each folder's flights make records; a folder whose flights made none means
        // the flights were not played.
        EXPECT_GT(dataFiles.size(), filesBefore) << folder;
    }
    ASSERT_FALSE(dataFiles.empty());

    // kestrel-records COMMAND OPTIONS... FILES...
    auto overAll = [&](std::vector<std::string> args) {
        args.insert(args.end(), dataFiles.begin(), dataFiles.end());
        return args;
    };
    const ToolRun check = RunTool(KESTREL_RECORDS, overAll({"check"}), work / "check");
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    EXPECT_THAT(check.out, HasSubstr("checked " + std::to_string(dataFiles.size()) + " files: " +
                                     std::to_string(dataFiles.size()) + " good, 0 with bad lines\n"));

    // And each can be charted and exported.
    const ToolRun plot = RunTool(KESTREL_RECORDS, overAll({"plot", "-o", (work / "all.svg").string()}), work / "plot");
    EXPECT_EQ(plot.exitCode, 0) << plot.err;
    const ToolRun exported =
        RunTool(KESTREL_RECORDS, overAll({"export", "-o", (work / "all.csv").string()}), work / "export");
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    std::cout << "played " << flights << " flights; checked, charted and exported " << dataFiles.size()
              << " data files\n";
}

} // namespace
