// Where the host's own outputs (a saved scenario, a snapshot's SVG picture,
// draw log or BMP file) may go: a relative path that names a file and stays
// inside the root folder once ".." and symbolic links are resolved, lies
// outside the data folder (names compared as Windows finds them,
// PathRules.h), where only the module writes, holds no name that Windows
// takes for something else, and fits the file system together with the
// temporary name it is first written to (common/Platform.h).
#pragma once

#include "kestrel-host/flight/PathRules.h"

#include <filesystem>
#include <optional>
#include <string>

// What is wrong with `path` as an output under `root`, as the disk stands
// now (the root need not exist yet), as a message that quotes the path
// ("'../x.scn' leads out of the root folder"); nothing when it may be
// written.
std::optional<std::string> OutputPathProblem(const std::filesystem::path& path, const std::filesystem::path& root);
