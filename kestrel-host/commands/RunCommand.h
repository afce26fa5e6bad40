// kestrel-host run: plays a flight file through the module.
#pragma once

#include <filesystem>
#include <optional>

struct RunOptions {
    std::filesystem::path flight;
    std::optional<std::filesystem::path> root;   // default: the current folder
    std::optional<std::filesystem::path> module; // default: next to the program
    std::optional<std::filesystem::path> trace;
    std::filesystem::path programFolder;
};

// Returns the exit code: 0, or 2 (after a message on stderr) for bad input.
int RunFlight(const RunOptions& options);
