#include "kestrel-host/commands/OutputCapture.h"

#include "kestrel-host/common/HostError.h"

#include <cstdio>
#include <iostream>
#include <string>

#ifdef _WIN32
#include <io.h>
#define KESTREL_DUP _dup
#define KESTREL_DUP2 _dup2
#define KESTREL_CLOSE _close
#define KESTREL_FILENO _fileno
#else
#include <unistd.h>
#define KESTREL_DUP dup
#define KESTREL_DUP2 dup2
#define KESTREL_CLOSE close
#define KESTREL_FILENO fileno
#endif

namespace {

void FlushAll()
{
    std::cout.flush();
    std::cerr.flush();
    std::fflush(stdout);
    std::fflush(stderr);
}

// Opens `file` for writing (text mode on Windows, as a console program's
// redirected output is) and puts it in place of descriptor `fd`.
void Redirect(int fd, const std::filesystem::path& file, const std::set<FileIdentity>& inputs)
{
    std::FILE* stream = OpenInPlace(file, inputs, true, "the file");
    const int result = KESTREL_DUP2(KESTREL_FILENO(stream), fd);
    std::fclose(stream);
    if (result < 0) {
        throw HostError(file.string() + ": cannot send the output there");
    }
}

void Restore(int fd, int& saved)
{
    if (saved >= 0) {
        KESTREL_DUP2(saved, fd);
        KESTREL_CLOSE(saved);
        saved = -1;
    }
}

} // namespace

OutputCapture::OutputCapture(const std::filesystem::path& out, const std::filesystem::path& err,
                             const std::set<FileIdentity>& inputs)
{
    FlushAll();
    savedOut_ = KESTREL_DUP(1);
    savedErr_ = KESTREL_DUP(2);
    try {
        Redirect(1, out, inputs);
        Redirect(2, err, inputs);
    } catch (...) {
        Restore(1, savedOut_);
        Restore(2, savedErr_);
        throw;
    }
}

OutputCapture::~OutputCapture()
{
    FlushAll();
    Restore(1, savedOut_);
    Restore(2, savedErr_);
    // A flight that wrote to a full disk leaves the streams failed; the next
    // one starts with them good, as in a new process.
    std::cout.clear();
    std::cerr.clear();
}
