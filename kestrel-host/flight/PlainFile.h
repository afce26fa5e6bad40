// Reading the files a flight names (the flight itself, its scenarios).
#pragma once

#include <filesystem>
#include <optional>
#include <string>

// The whole content of a plain file; none when there is no plain file at
// `path` or it cannot be read. Only a plain file is read: a pipe or a
// device could be read for ever.
std::optional<std::string> ReadPlainFile(const std::filesystem::path& path);
