// Reading the files a run is given (a flight, its scenarios, a batch list),
// in bounded memory. Only a plain file is read: a pipe or a device could be
// read for ever, a folder not at all. Both readers stop, throwing
// StoppedBySignal (common/StopSignal.h), as soon as SIGINT or SIGTERM has
// come, however large the file.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The whole content of a plain file of at most `most` bytes. None when
// there is no plain file at `path`, it cannot be read or it is larger; then
// `problem` says which ("it is a folder", "it holds more than 64 MiB", ...).
std::optional<std::string> ReadPlainFile(const std::filesystem::path& path, std::size_t most, std::string& problem);

// A line of a file as ReadPlainLines hands it over.
struct PlainLine {
    std::size_t number = 0;  // from 1
    std::string_view kept;   // its first bytes, at most the `keep` asked for
    std::size_t length = 0;  // of the whole line, without its line end
    bool cutText = false;    // what was cut off holds more than blanks and tabs
};

// Each line of a plain file in turn, without its line end ("\n" or "\r\n",
// or none on the last line); of a long line only the first `keep` bytes are
// kept, after its leading blanks and tabs when `unindent` (then `length`
// counts from there too). False, with `problem` as ReadPlainFile gives it,
// when the file cannot be read; `onLine` may stop the reading by throwing.
bool ReadPlainLines(const std::filesystem::path& path, std::size_t keep, bool unindent,
                    const std::function<void(const PlainLine&)>& onLine, std::string& problem);
