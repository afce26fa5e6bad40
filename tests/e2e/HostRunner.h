// Runs kestrel-host as a subprocess, in a folder the test gives it
// (FreshFolder, tests/support/WorkFolder.h).
#pragma once

#include "tests/support/Subprocess.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WorkFolder.h"

#include <filesystem>
#include <string>
#include <vector>

struct HostRun : ProgramRun {
    std::filesystem::path root;  // the run's --root
    std::filesystem::path trace; // the run's --trace file
};

// The path of a flight file in tests/e2e/flights.
std::filesystem::path Flight(const std::string& file);

// kestrel-host run FLIGHT --root ROOT --module MODULE --trace ROOT/../trace;
// the root itself is made by the host.
HostRun RunFlight(const std::filesystem::path& flight, const std::filesystem::path& folder,
                  const std::string& module = KESTREL_MODULE);
// kestrel-host ARGS... with stdout and stderr kept in `folder`.
HostRun RunHost(const std::vector<std::string>& args, const std::filesystem::path& folder);

// kestrel-host ARGS... started in the background (tests/support/Subprocess.h).
pid_t StartHost(const std::vector<std::string>& args, const std::filesystem::path& folder);
