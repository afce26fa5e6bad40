// kestrel-host run: plays a flight file through the module.
#pragma once

#include "kestrel-host/flight/PathRules.h"
#include "kestrel-host/simulator/NativeFiles.h"

#include <filesystem>
#include <optional>
#include <set>

struct RunOptions {
    std::filesystem::path flight;
    std::optional<std::filesystem::path> root;   // default: the current folder
    std::optional<std::filesystem::path> module; // default: next to the program
    std::optional<std::filesystem::path> trace;
    std::filesystem::path programFolder;
    double pace = 0; // simulated seconds a wall second; 0: as fast as it can
    // A flight of a batch: the paths of the whole list, its trace among
    // them, which the flight's own paths are checked against.
    const RunPaths* batch = nullptr;
    // And the files the batch reads (its list, its flights, the module), by
    // identity, which nothing the flight writes may reach.
    const std::set<FileIdentity>* batchInputs = nullptr;
};

// Returns the exit code: 0, the flight played to its end and every line the
// module wrote reached its file; 3, it played to its end but lines were lost
// (the summary says how many and why); 2 (after a message on stderr), it was
// refused before its first step or stopped on the way, also by SIGINT or
// SIGTERM (Interruption() then names the signal).
int RunFlight(const RunOptions& options);
