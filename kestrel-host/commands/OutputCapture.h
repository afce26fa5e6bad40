// Sends everything the program writes to its standard output and standard
// error, through C++ streams and C stdio alike, into two files for as long as
// the capture lives, as a shell's redirections would for a process of its own.
#pragma once

#include "kestrel-host/simulator/NativeFiles.h"

#include <filesystem>
#include <set>

class OutputCapture {
public:
    // Each file is opened in place as NativeFiles.h's OpenInPlace opens it
    // (never through a link at its name, never a file with another name or
    // one of `inputs`). Throws HostError naming the file that cannot be
    // written and why.
    OutputCapture(const std::filesystem::path& out, const std::filesystem::path& err,
                  const std::set<FileIdentity>& inputs);
    ~OutputCapture(); // puts the program's own output and error back
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

private:
    int savedOut_ = -1;
    int savedErr_ = -1;
};
