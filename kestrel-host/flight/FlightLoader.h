// Reading a flight file. LoadFlight reads and checks all of it before
// anything runs; every problem is a HostError naming the file and what is
// wrong.
#pragma once

#include "kestrel-host/flight/Flight.h"
#include "kestrel-host/flight/PathRules.h"

#include <filesystem>
#include <string>

// `root` is the folder output paths are relative to (to match a `load` with an
// earlier `save` of the same file); `paths`, what the run reads and writes
// besides (the flight file itself, the trace), which the flight's own paths
// are checked against. A flight file holds at most kMostFlightBytes.
Flight LoadFlight(const std::filesystem::path& file, const std::filesystem::path& root, RunPaths paths = {});
// The same for the flight's text, as if read from `file` (which names it in
// messages and is the folder input paths are relative to).
Flight ParseFlight(const std::string& text, const std::filesystem::path& file, const std::filesystem::path& root,
                   RunPaths paths = {});

// 64 MiB: a flight is read whole, and its JSON kept in memory while it is
// checked.
inline constexpr std::size_t kMostFlightBytes = std::size_t{64} << 20;
