#include "kestrel-records/outputs/FileSystem.h"

#include "kestrel-records/common/RecordsError.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

int g_lastError = 0;

bool Failed()
{
    g_lastError = errno;
    return false;
}

int Fd(std::intptr_t handle)
{
    return static_cast<int>(handle);
}

NodeKind KindOf(mode_t mode)
{
    if (S_ISREG(mode)) {
        return NodeKind::RegularFile;
    }
    if (S_ISDIR(mode)) {
        return NodeKind::Folder;
    }
    if (S_ISCHR(mode)) {
        return NodeKind::CharacterDevice;
    }
    if (S_ISFIFO(mode)) {
        return NodeKind::Fifo;
    }
    if (S_ISSOCK(mode)) {
        return NodeKind::Socket;
    }
    if (S_ISBLK(mode)) {
        return NodeKind::BlockDevice;
    }
    return NodeKind::Other;
}

NodeId IdOf(const struct stat& status)
{
    return NodeId{true, static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

// The signals that end a run from outside, held back while the name of the
// file to remove changes, so the handler sees either name whole.
class InterruptsHeld {
public:
    InterruptsHeld()
    {
        sigset_t set;
        sigemptyset(&set);
        for (const int signal : kSignals) {
            sigaddset(&set, signal);
        }
        sigprocmask(SIG_BLOCK, &set, &before_);
    }
    ~InterruptsHeld() { sigprocmask(SIG_SETMASK, &before_, nullptr); }
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;

    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

private:
    sigset_t before_;
};

char* volatile g_removeOnInterrupt = nullptr;

extern "C" void OnInterrupt(int signal)
{
    if (g_removeOnInterrupt != nullptr) {
        ::unlink(g_removeOnInterrupt);
    }
    // Ended as the signal ends a program: the shell sees 128 + the signal.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void SetRemoveOnInterrupt(const std::string& path)
{
    static bool installed = false;
    if (!installed && !path.empty()) {
        installed = true;
        for (const int signal : InterruptsHeld::kSignals) {
            struct sigaction action {};
            sigaction(signal, nullptr, &action);
            if (action.sa_handler == SIG_IGN) {
                continue; // started to ignore it (nohup): it still does
            }
            action.sa_handler = OnInterrupt;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESTART;
            sigaction(signal, &action, nullptr);
        }
    }
    char* before = g_removeOnInterrupt;
    g_removeOnInterrupt = path.empty() ? nullptr : ::strdup(path.c_str());
    std::free(before);
}

} // namespace

Node LookAt(const std::string& path)
{
    Node node;
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            node.kind = NodeKind::Other;
            node.problem = std::strerror(errno);
        }
        return node;
    }
    node.kind = KindOf(status.st_mode);
    node.id = IdOf(status);
    return node;
}

std::string FollowLinks(const std::string& path)
{
    std::string at = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat status {};
        if (::lstat(at.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            return at;
        }
        std::string target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(at.c_str(), target.data(), target.size());
        if (length < 0) {
            return at;
        }
        target.resize(static_cast<std::size_t>(length));
        const std::size_t slash = at.rfind('/');
        at = target.front() == '/' || slash == std::string::npos ? target : at.substr(0, slash + 1) + target;
    }
    throw RecordsError(path + ": its symbolic links go round");
}

NodeId StandardOutputId()
{
    struct stat status {};
    return ::fstat(1, &status) == 0 ? IdOf(status) : NodeId{};
}

NodeId StandardInputId()
{
    struct stat status {};
    return ::fstat(0, &status) == 0 && !S_ISCHR(status.st_mode) ? IdOf(status) : NodeId{};
}

std::string StandardOutputPath()
{
    // Linux names each open file in /proc; elsewhere, or for a file no
    // name leads to any more, it cannot be told.
    std::string path(PATH_MAX, '\0');
    const ssize_t length = ::readlink("/proc/self/fd/1", path.data(), path.size());
    if (length <= 0 || path.front() != '/') {
        return "";
    }
    path.resize(static_cast<std::size_t>(length));
    return LookAt(path).id.SameAs(StandardOutputId()) ? path : "";
}

bool MayWriteInPlace(const std::string& path)
{
    // As the system would judge an open for writing by this program's
    // effective user and groups.
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 || Failed();
}

void WritesPastTheSizeLimitFail()
{
    // SIGXFSZ would end the program where it stands, its temporary file
    // left behind; ignored, the write fails with EFBIG ("File too large").
    ::signal(SIGXFSZ, SIG_IGN);
}

bool SystemFile::Write(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t wrote = ::write(Fd(handle_), bytes.data(), bytes.size());
        if (wrote < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Failed();
        }
        bytes.remove_prefix(static_cast<std::size_t>(wrote));
    }
    return true;
}

bool SystemFile::Rewind()
{
    return ::lseek(Fd(handle_), 0, SEEK_SET) == 0 || Failed();
}

long long SystemFile::Read(char* buffer, std::size_t size)
{
    while (true) {
        const ssize_t got = ::read(Fd(handle_), buffer, size);
        if (got >= 0) {
            return got;
        }
        if (errno != EINTR) {
            Failed();
            return -1;
        }
    }
}

bool SystemFile::Close()
{
    if (handle_ == kNone) {
        return true;
    }
    const int fd = Fd(handle_);
    handle_ = kNone;
    return !owned_ || ::close(fd) == 0 || Failed();
}

void SystemFile::ReleaseMark()
{
    if (mark_ != kNone) {
        ::close(Fd(mark_));
        mark_ = kNone;
    }
}

SystemFile SystemFile::StandardOutput()
{
    SystemFile file;
    file.handle_ = 1;
    file.owned_ = false;
    return file;
}

SystemFile SystemFile::OpenDevice(const std::string& path)
{
    SystemFile file;
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        Failed();
        return file;
    }
    file.handle_ = fd;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !(S_ISCHR(status.st_mode) || S_ISFIFO(status.st_mode))) {
        g_lastError = 0;
        file.Close();
    }
    return file;
}

SystemFile SystemFile::CreateTemporary(const std::string& path, const std::string& like, bool& exists)
{
    SystemFile file;
    exists = false;
    const InterruptsHeld held;
    struct stat old {};
    const bool haveOld = !like.empty() && ::stat(like.c_str(), &old) == 0;
    // Readable by no one else until it has the old file's mode.
    const mode_t mode = haveOld ? 0600 : 0666;
    // The lock marks the file as a running program's until it is released
    // or the program ends, however it ends.
    auto mark = [&](int fd) {
        ::flock(fd, LOCK_EX | LOCK_NB);
        if (haveOld) {
            // The old file's owner and group where the system lets it (the
            // group alone where it lets only that); its set-id bits only
            // with both.
            const bool owners = ::fchown(fd, old.st_uid, old.st_gid) == 0;
            if (!owners && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
                // our own group, then, as any new file's
            }
            ::fchmod(fd, old.st_mode & (owners ? 07777 : 0777));
        }
    };
    int fd = -1;
#ifdef O_TMPFILE
    // Made without a name, marked, and only then named: another run never
    // finds it unmarked and takes it for a killed run's.
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int nameless = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (nameless >= 0) {
        mark(nameless);
        const std::string self = "/proc/self/fd/" + std::to_string(nameless);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            fd = nameless;
        } else {
            const int error = errno;
            ::close(nameless);
            if (error == EEXIST) {
                exists = true;
                g_lastError = error;
                return file;
            }
            // No /proc, or a file system that cannot name it: made by name.
        }
    }
#endif
    if (fd < 0) {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        exists = fd < 0 && errno == EEXIST;
        if (fd < 0) {
            Failed();
            return file;
        }
        mark(fd);
    }
    file.handle_ = fd;
    // The mark outlives the closing of the file for writing, until the file
    // has its final name.
    file.mark_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    SetRemoveOnInterrupt(path);
    return file;
}

SystemFile SystemFile::CreateScratch()
{
    SystemFile file;
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/kestrel-records-XXXXXX";
    const InterruptsHeld held;
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        Failed();
        return file;
    }
    ::unlink(name.c_str());
    file.handle_ = fd;
    return file;
}

std::string LastSystemError()
{
    return g_lastError == 0 ? std::string("it changed while it was opened") : std::string(std::strerror(g_lastError));
}

bool LastFailureIsTheFolders()
{
    return g_lastError == EACCES || g_lastError == EPERM || g_lastError == EROFS || g_lastError == ENOENT ||
           g_lastError == ENOTDIR;
}

bool RenameOver(const std::string& from, const std::string& to)
{
    return ::rename(from.c_str(), to.c_str()) == 0 || Failed();
}

bool RemoveFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 || Failed();
}

void RemoveAbandoned(const std::string& folder, const std::function<bool(std::string_view name)>& isOurs,
                     const std::vector<NodeId>& keep)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> entries(::opendir(folder.c_str()), &::closedir);
    if (!entries) {
        return;
    }
    while (const dirent* entry = ::readdir(entries.get())) {
        if (!isOurs(entry->d_name)) {
            continue;
        }
        const std::string path = folder + "/" + entry->d_name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat status {};
        bool left = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink == 1 &&
                    status.st_uid == ::geteuid();
        for (const NodeId& input : keep) {
            left = left && !input.SameAs(IdOf(status));
        }
        if (left && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // Still the file looked at, not one put in its place since.
            struct stat now {};
            if (::lstat(path.c_str(), &now) == 0 && IdOf(now).SameAs(IdOf(status))) {
                ::unlink(path.c_str());
            }
        }
        ::close(fd);
    }
}

void RemoveOnInterrupt(const std::string& path)
{
    const InterruptsHeld held;
    SetRemoveOnInterrupt(path);
}
