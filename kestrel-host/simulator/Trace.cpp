#include "kestrel-host/simulator/Trace.h"

#include "kestrel-host/common/HostError.h"

void Trace::Open(const std::filesystem::path& file)
{
    out_.open(file, std::ios::binary | std::ios::trunc);
    if (!out_) {
        throw HostError(file.string() + ": cannot write the trace file");
    }
}

void Trace::Line(const std::string& text)
{
    out_ << text << '\n';
    out_.flush();
}

Trace& TheTrace()
{
    static Trace trace;
    return trace;
}
