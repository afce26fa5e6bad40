// One fault case: a flight from tests/faults/flights played by kestrel-host
// in a folder of its own, and the checks every case shares.
#pragma once

#include "tests/e2e/HostRunner.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct FaultRun {
    std::string flight;               // file name in flights/
    std::filesystem::path folder;     // the case's folder; the run's root is folder/run/root
    std::vector<std::string> before;  // every entry under `folder` before the run
    HostRun host;
    std::vector<std::string> trace;

    // A file the run wrote, relative to the root.
    std::string Output(const std::string& relative) const;
    // Every file in the data folder: name -> content.
    std::map<std::string, std::string> DataFiles() const;
};

// Plays flights/FLIGHT in the running test's fresh folder (or in the one
// named `folder` inside it, for a test that plays several), with LC_ALL set
// to `locale` for the host when one is given.
FaultRun PlayFlight(const std::string& flight, const std::optional<std::string>& locale = std::nullopt,
                    const std::string& folder = "");

// The checks every case shares, as test failures: exit code 0 (or the one
// given: 3 for a run that lost lines); nothing on
// stderr from a sanitizer; no file or folder new under the case's folder
// but the runner's own outputs, files directly inside the root's data
// folder, and the outputs (save, snapshot) the flight asks for.
void ExpectCleanRun(const FaultRun& run, int exitCode = 0);

// Every file and folder under `folder`, relative to it, '/'-separated, sorted.
std::vector<std::string> EntriesUnder(const std::filesystem::path& folder);
