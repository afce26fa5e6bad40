// Where the host's own outputs (a saved scenario, a snapshot's SVG picture,
// draw log or BMP file) may go: a relative path that names a file and stays
// inside the root folder once ".." and symbolic links are resolved, and
// lies outside the data folder, where only the module writes.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

// The module's data folder, directly in the root. Matched without regard to
// the case of its letters, as Windows finds it.
inline constexpr char kDataFolder[] = "KestrelScribeData";

// What is wrong with `path` as an output under `root`, as the disk stands
// now (the root need not exist yet), as a message that quotes the path
// ("'../x.scn' leads out of the root folder"); nothing when it may be
// written.
std::optional<std::string> OutputPathProblem(const std::filesystem::path& path, const std::filesystem::path& root);
