#include "kestrel-host/simulator/Trace.h"

#include "kestrel-host/common/HostError.h"
#include "kestrel-host/simulator/NativeFiles.h"

#include <cerrno>
#include <cstring>

namespace {

std::string Why(int error, const std::filesystem::path& file)
{
    if (error == ENOENT) {
        return "its folder " + file.parent_path().string() + " does not exist";
    }
    return error != 0 ? std::strerror(error) : "a write error";
}

} // namespace

void Trace::Open(const std::filesystem::path& file, const std::set<FileIdentity>& inputs)
{
    // Its folder is made as every output's is.
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    if (ec) {
        throw HostError(file.string() + ": cannot write the trace file: cannot make its folder " +
                        file.parent_path().string() + ": " + ec.message());
    }
    file_.reset(OpenInPlace(file, inputs, false, "the trace file"));
    path_ = file;
}

void Trace::Line(const std::string& text)
{
    errno = 0;
    std::FILE* file = file_.get();
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fputc('\n', file) == EOF ||
        std::fflush(file) != 0) {
        problem_ = path_.string() + ": cannot write the trace file: " + Why(errno, path_);
        file_.reset(); // what could not be written is dropped with it
    }
}

Trace& TheTrace()
{
    static Trace trace;
    return trace;
}
