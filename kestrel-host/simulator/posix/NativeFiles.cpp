// The host's file calls with POSIX descriptors. Data files are opened with
// openat2 where the kernel has it (Linux 5.6 and later): one call resolves
// the whole path below the root and refuses any symbolic link or a way out
// of the root. Elsewhere the folders are walked one at a time with
// O_NOFOLLOW.
#include "kestrel-host/simulator/NativeFiles.h"

#include "kestrel-host/common/HostError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/openat2.h>
#include <sys/syscall.h>
#endif

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// O_NONBLOCK: opening a pipe with no reader fails at once instead of
// waiting for one; it changes nothing for a plain file.
constexpr int kDataFlags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
constexpr mode_t kNewFileMode = 0666; // less the umask, as fopen gives

#if defined(__linux__) && defined(SYS_openat2)
// Cleared when the kernel (or a sandbox) refuses openat2.
std::atomic<bool> haveOpenat2{true};

int OpenBeneath(int folder, const char* relative, int flags)
{
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags);
    how.mode = kNewFileMode;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    long fd;
    do {
        fd = ::syscall(SYS_openat2, folder, relative, &how, sizeof how);
    } while (fd < 0 && errno == EINTR);
    return static_cast<int>(fd);
}
#endif

// The same by walking the folders: each opened with O_NOFOLLOW from the one
// before. The caller has made sure that no part is "..", "." or empty.
int OpenByWalking(int root, const std::string& relative, int flags)
{
    int folder = root;
    std::size_t start = 0;
    for (std::size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', start)) {
        const std::string part = relative.substr(start, slash - start);
        const int next = ::openat(folder, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (folder != root) {
            ::close(folder);
        }
        if (next < 0) {
            return -1;
        }
        folder = next;
        start = slash + 1;
    }
    int fd;
    do {
        fd = ::openat(folder, relative.c_str() + start, flags, kNewFileMode);
    } while (fd < 0 && errno == EINTR);
    if (folder != root) {
        ::close(folder);
    }
    return fd;
}

} // namespace

NativeRoot::~NativeRoot()
{
    if (folder_ >= 0) {
        ::close(static_cast<int>(folder_));
    }
}

void NativeRoot::Set(const std::filesystem::path& root)
{
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        throw HostError(root.string() + ": cannot open the root folder: " + std::strerror(errno));
    }
    if (folder_ >= 0) {
        ::close(static_cast<int>(folder_));
    }
    root_ = root;
    folder_ = fd;
}

NativeFile NativeRoot::Open(const std::string& relative, int mode) const
{
    if (folder_ < 0) {
        return kNoFile;
    }
    // The file is made empty only once it is known to be a plain file.
    const int flags = kDataFlags | (mode == 2 ? O_APPEND : 0);
    const int root = static_cast<int>(folder_);
    int fd = -1;
#if defined(__linux__) && defined(SYS_openat2)
    if (haveOpenat2.load(std::memory_order_relaxed)) {
        fd = OpenBeneath(root, relative.c_str(), flags);
        if (fd < 0 && (errno == ENOSYS || errno == EPERM)) {
            haveOpenat2.store(false, std::memory_order_relaxed);
            fd = OpenByWalking(root, relative, flags);
        }
    } else {
        fd = OpenByWalking(root, relative, flags);
    }
#else
    fd = OpenByWalking(root, relative, flags);
#endif
    if (fd < 0) {
        return kNoFile;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || (mode == 1 && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        return kNoFile;
    }
    return fd;
}

// One write call per line: a process killed at any moment has made the call
// or has not. Linux cuts a write to a plain file short only when the disk is
// full (the part is taken back below) or, for a fatal signal, at a page
// boundary inside the call, a window of a few nanoseconds in the one line
// of every hundred or so that crosses one.
bool WriteLine(NativeFile file, const char* bytes, std::size_t size)
{
    const int fd = static_cast<int>(file);
    ssize_t written;
    do {
        written = ::write(fd, bytes, size);
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(size)) {
        return true;
    }
    if (written > 0) {
        // Part of the line went in: the rest cannot follow in the same call,
        // so the part is taken back. The file's end is where the part ends.
        struct stat info {};
        if (::fstat(fd, &info) == 0 && info.st_size >= written) {
            if (::ftruncate(fd, info.st_size - written) != 0) {
                return false;
            }
        }
    }
    return false;
}

void CloseFile(NativeFile file)
{
    ::close(static_cast<int>(file));
}

void WriteWholeFile(const std::filesystem::path& path, const std::string& content)
{
    const std::filesystem::path temporary =
        path.parent_path() / ("." + path.filename().string() + "." + std::to_string(::getpid()) + ".kestrel-tmp");
    auto fail = [&](const std::string& what) {
        const int error = errno;
        ::unlink(temporary.c_str());
        throw HostError(path.string() + ": cannot write the file: " + what + ": " + std::strerror(error));
    };
    ::unlink(temporary.c_str()); // one left by a run that was killed
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kNewFileMode);
    if (fd < 0) {
        fail("cannot make " + temporary.filename().string());
    }
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ::close(fd);
            fail("writing");
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        fail("writing");
    }
    // rename replaces a link at `path` itself, never what it points to.
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        fail("replacing it");
    }
}

bool StderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}
