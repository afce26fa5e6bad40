// The host's own outputs (a saved scenario, a snapshot's SVG picture, draw
// log or BMP file): written when their event runs, each whole or not at
// all, where the flight's path names them under the root folder.
#pragma once

#include <filesystem>
#include <string>

// Writes `content` to `path` (relative to `root`), after checking the path
// again as the disk stands now (flight/OutputPaths.h), making its folders.
// Throws HostError naming the path and the problem.
void WriteOutput(const std::filesystem::path& root, const std::filesystem::path& path, const std::string& content);
