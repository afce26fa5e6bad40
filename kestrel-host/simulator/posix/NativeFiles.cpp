// The host's file calls with POSIX descriptors. Data files are opened with
// openat2 where the kernel has it (Linux 5.6 and later): one call resolves
// the whole path below the root and refuses any symbolic link or a way out
// of the root. Elsewhere the folders are walked one at a time with
// O_NOFOLLOW.
#include "kestrel-host/simulator/NativeFiles.h"

#include "kestrel-host/common/HostError.h"
#include "kestrel-host/common/Platform.h"

#include <fcntl.h>
#include <sys/resource.h>
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
constexpr int kReadFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
constexpr mode_t kNewFileMode = 0666; // less the umask, as fopen gives

#if defined(__linux__) && defined(SYS_openat2)
// Cleared when the kernel (or a sandbox) refuses openat2.
std::atomic<bool> haveOpenat2{true};

int OpenBeneath(int folder, const char* relative, int flags)
{
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags);
    how.mode = (flags & O_CREAT) != 0 ? kNewFileMode : 0;
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
        const int error = errno;
        if (folder != root) {
            ::close(folder);
        }
        if (next < 0) {
            errno = error;
            return -1;
        }
        folder = next;
        start = slash + 1;
    }
    int fd;
    do {
        fd = ::openat(folder, relative.c_str() + start, flags, kNewFileMode);
    } while (fd < 0 && errno == EINTR);
    const int error = errno;
    if (folder != root) {
        ::close(folder);
    }
    errno = error;
    return fd;
}

int OpenBelow(int root, const std::string& relative, int flags)
{
#if defined(__linux__) && defined(SYS_openat2)
    if (haveOpenat2.load(std::memory_order_relaxed)) {
        const int fd = OpenBeneath(root, relative.c_str(), flags);
        if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) {
            return fd;
        }
        haveOpenat2.store(false, std::memory_order_relaxed);
    }
#endif
    return OpenByWalking(root, relative, flags);
}

FileProblem ProblemOf(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return FileProblem::NoFolder;
    case ELOOP:
        return FileProblem::Link;
    case EXDEV:
        return FileProblem::OutsideRoot;
    case EISDIR:
    case ENXIO:
    case EAGAIN:
        return FileProblem::NotPlainFile;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return FileProblem::Refused;
    case ENOSPC:
    case EDQUOT:
        return FileProblem::DiskFull;
    case EFBIG:
        return FileProblem::TooLarge;
    case ENAMETOOLONG:
        return FileProblem::NameTooLong;
    default:
        return FileProblem::Other;
    }
}

FileIdentity IdentityOf(const struct stat& info)
{
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

} // namespace

std::string SystemErrorText(int error)
{
    return std::strerror(error);
}

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

OpenedFile NativeRoot::Open(const std::string& relative, int mode) const
{
    OpenedFile opened;
    auto fail = [&](int error) {
        opened.problem = ProblemOf(error);
        opened.error = error;
        return opened;
    };
    if (folder_ < 0) {
        return fail(EBADF);
    }
    // The file is made empty only once it is known to be a plain file.
    const int fd = OpenBelow(static_cast<int>(folder_), relative, kDataFlags | (mode == 2 ? O_APPEND : 0));
    if (fd < 0) {
        return fail(errno);
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(error);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return fail(EISDIR);
    }
    const FileProblem problem = info.st_nlink > 1                       ? FileProblem::HardLink
                                : inputs_.contains(IdentityOf(info)) ? FileProblem::RunInput
                                                                      : FileProblem::None;
    if (problem != FileProblem::None) {
        ::close(fd);
        opened.problem = problem;
        return opened;
    }
    if (mode == 1 && info.st_size > 0) {
        if (::ftruncate(fd, 0) != 0) {
            const int error = errno;
            ::close(fd);
            return fail(error);
        }
        info.st_size = 0;
    }
    opened.file = fd;
    opened.identity = IdentityOf(info);
    opened.size = static_cast<std::uint64_t>(info.st_size);
    return opened;
}

bool NativeRoot::ReadLines(const std::string& relative, FileIdentity identity, FileLines& lines) const
{
    if (folder_ < 0) {
        return false;
    }
    const int fd = OpenBelow(static_cast<int>(folder_), relative, kReadFlags);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    bool same = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && IdentityOf(info) == identity;
    lines = FileLines{};
    char last = '\n';
    char buffer[1 << 16];
    while (same) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            same = false;
        }
        if (got <= 0) {
            break;
        }
        for (ssize_t i = 0; i < got; ++i) {
            lines.lines += buffer[i] == '\n' ? 1 : 0;
        }
        last = buffer[got - 1];
    }
    ::close(fd);
    lines.endsWithLineEnd = last == '\n';
    lines.lines += lines.endsWithLineEnd ? 0 : 1;
    return same;
}

// One write call per line: a process killed at any moment has made the call
// or has not. Linux cuts a write to a plain file short only when the disk is
// full or the file reaches the largest size the process may write (the part
// is taken back below) or, for a fatal signal, at a page boundary inside the
// call, a window of a few nanoseconds in the one line of every hundred or so
// that crosses one.
bool WriteLine(NativeFile file, const char* bytes, std::size_t size, FileProblem& problem, int& error)
{
    const int fd = static_cast<int>(file);
    ssize_t written;
    do {
        written = ::write(fd, bytes, size);
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(size)) {
        return true;
    }
    if (written < 0) {
        error = errno;
        problem = ProblemOf(error);
        return false;
    }
    // Part of the line went in: the rest cannot follow in the same call,
    // so the part is taken back. The file's end is where the part ends.
    struct stat info {};
    error = ENOSPC;
    if (::fstat(fd, &info) == 0 && info.st_size >= written) {
        struct rlimit limit {};
        if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
            static_cast<rlim_t>(info.st_size) >= limit.rlim_cur) {
            error = EFBIG; // the largest file this process may write
        }
        if (::ftruncate(fd, info.st_size - written) != 0) {
            error = errno;
        }
    }
    problem = ProblemOf(error);
    return false;
}

std::optional<FileIdentity> IdentityAt(const std::filesystem::path& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return IdentityOf(info);
}

std::FILE* OpenInPlace(const std::filesystem::path& path, const std::set<FileIdentity>& inputs, bool /*text*/,
                       const std::string& what)
{
    auto fail = [&](const std::string& why) -> std::FILE* { throw HostError(path.string() + ": cannot write " + what + ": " + why); };
    // O_NONBLOCK: a pipe with no reader fails at once rather than waiting.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, kNewFileMode);
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP) {
            return fail("it is a symbolic link, which the host does not follow for its own outputs");
        }
        if (error == ENOENT) {
            return fail("its folder " + path.parent_path().string() + " does not exist");
        }
        return fail(std::strerror(error));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(std::strerror(error));
    }
    if (S_ISREG(info.st_mode)) {
        if (info.st_nlink > 1) {
            ::close(fd);
            return fail("the file has another name too (a hard link), which writing it would change as well");
        }
        if (inputs.contains(IdentityOf(info))) {
            ::close(fd);
            return fail("it is a file this run reads");
        }
        if (::ftruncate(fd, 0) != 0) {
            const int error = errno;
            ::close(fd);
            return fail(std::strerror(error));
        }
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* stream = ::fdopen(fd, "wb");
    if (stream == nullptr) {
        const int error = errno;
        ::close(fd);
        return fail(std::strerror(error));
    }
    return stream;
}

void CloseFile(NativeFile file)
{
    ::close(static_cast<int>(file));
}

void WriteWholeFile(const std::filesystem::path& path, const std::string& content)
{
    const std::filesystem::path temporary =
        path.parent_path() / TemporaryName(path.filename().string(), static_cast<std::uint32_t>(::getpid()));
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
