// The trace: one line per host operation the module calls and per call the
// host makes into the module, written as it happens (run --trace FILE).
// A line that cannot be written (a full disk) ends the trace, and the run
// then stops with the reason (Problem).
#pragma once

#include "kestrel-host/simulator/NativeFiles.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

class Trace {
public:
    // Makes the file's folder and opens it in place (NativeFiles.h's
    // OpenInPlace: never through a link at its name, never a file with
    // another name or one of `inputs`). Throws HostError naming the file and
    // why it cannot be written.
    void Open(const std::filesystem::path& file, const std::set<FileIdentity>& inputs);
    bool On() const { return file_ != nullptr; }
    void Line(const std::string& text);
    // Why the trace stopped: empty while every line has been written.
    const std::string& Problem() const { return problem_; }

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    std::filesystem::path path_;
    std::string problem_;
};

Trace& TheTrace();

// Writes a line only when tracing; `describe` builds it and runs only then.
template <typename Describe>
void TraceLine(Describe describe)
{
    if (TheTrace().On()) {
        TheTrace().Line(describe());
    }
}
