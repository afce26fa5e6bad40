// Reading a flight file. LoadFlight reads and checks all of it before
// anything runs; every problem is a HostError naming the file and what is
// wrong.
#pragma once

#include "kestrel-host/flight/Flight.h"

#include <filesystem>
#include <string>

// `root` is the folder output paths are relative to (to match a `load` with an
// earlier `save` of the same file).
Flight LoadFlight(const std::filesystem::path& file, const std::filesystem::path& root);
// The same for the flight's text, as if read from `file` (which names it in
// messages and is the folder input paths are relative to).
Flight ParseFlight(const std::string& text, const std::filesystem::path& file, const std::filesystem::path& root);
