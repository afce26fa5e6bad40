// The trace: one line per host operation the module calls and per call the
// host makes into the module, written as it happens (run --trace FILE).
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

class Trace {
public:
    void Open(const std::filesystem::path& file); // throws HostError
    bool On() const { return out_.is_open(); }
    void Line(const std::string& text);

private:
    std::ofstream out_;
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
