// What kestrel-records asks of the operating system about the files it reads
// and writes: what a name leads to, whether two names are one file, files it
// writes, renames over or keeps for itself, and the one temporary file an
// interruption must not leave behind. POSIX systems in posix/FileSystem.cpp,
// Windows in windows/FileSystem.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

enum class NodeKind { Missing, RegularFile, Folder, CharacterDevice, Fifo, Socket, BlockDevice, Other };

// Which file a name leads to: two names of one file give equal ids.
struct NodeId {
    bool known = false;
    std::uint64_t device = 0;
    std::uint64_t number = 0;
    bool SameAs(const NodeId& other) const
    {
        return known && other.known && device == other.device && number == other.number;
    }
};

struct Node {
    NodeKind kind = NodeKind::Missing; // Missing also for a link that leads nowhere
    NodeId id;
    std::string problem; // why the system could not tell (then kind is Other)
};

// What `path` leads to, symbolic links followed. Reads nothing: a FIFO is
// not opened.
Node LookAt(const std::string& path);

// Where the chain of symbolic links that starts at `path` ends: the name a
// file written "at `path`" goes by. `path` itself when it is no link.
// Throws RecordsError for a chain that goes round.
std::string FollowLinks(const std::string& path);

// The file standard output goes to; not known when the system cannot say.
NodeId StandardOutputId();
// The file standard input comes from; not known when the system cannot say
// or it is a terminal (or another device), which may be read while
// standard output goes to it.
NodeId StandardInputId();
// The name of the file standard output goes to, as the system knows it;
// "" when the system cannot say.
std::string StandardOutputPath();

// Whether this program's user could open the existing file at `path` to
// write it in place; false with the reason in LastSystemError().
bool MayWriteInPlace(const std::string& path);

// Makes a write past the file size limit (ulimit -f) fail as a write does,
// with its reason, where it would otherwise end the program without a word.
void WritesPastTheSizeLimitFail();

// A file open for writing, or a scratch file of our own open for both.
// Closed when it goes.
class SystemFile {
public:
    SystemFile() = default;
    ~SystemFile()
    {
        Close();
        ReleaseMark();
    }
    SystemFile(SystemFile&& other) noexcept : handle_(other.handle_), mark_(other.mark_), owned_(other.owned_)
    {
        other.handle_ = kNone;
        other.mark_ = kNone;
    }
    SystemFile& operator=(SystemFile&& other) noexcept
    {
        if (this != &other) {
            Close();
            ReleaseMark();
            handle_ = other.handle_;
            mark_ = other.mark_;
            owned_ = other.owned_;
            other.handle_ = kNone;
            other.mark_ = kNone;
        }
        return *this;
    }
    SystemFile(const SystemFile&) = delete;
    SystemFile& operator=(const SystemFile&) = delete;

    bool IsOpen() const { return handle_ != kNone; }
    // false on failure, with the reason in LastSystemError().
    bool Write(std::string_view bytes);
    bool Rewind();
    // Bytes read into `buffer`: 0 at the end, -1 on failure.
    long long Read(char* buffer, std::size_t size);
    // Closes it for writing, with what the system says of the bytes
    // written; a temporary file stays marked as held (below).
    bool Close();
    // A temporary file no longer marked as held: once it has its final name.
    void ReleaseMark();

    // Standard output, written as it is (never closed here).
    static SystemFile StandardOutput();
    // An existing character device or FIFO opened to write, neither created
    // nor cut short: waits, as a FIFO does, for a reader. Not open when
    // `path` is something else by the time it is opened.
    static SystemFile OpenDevice(const std::string& path);
    // A new file at `path` for a run's output until it is renamed: marked as
    // held by a running program from before it has its name until
    // ReleaseMark() or the program ends, and removed by an interruption
    // until RemoveOnInterrupt("") (see below). When `like` names a file, the
    // new one takes its mode, and its owner where the system lets it,
    // before it has its name. Not open on failure; `exists` tells whether
    // `path` was there already.
    static SystemFile CreateTemporary(const std::string& path, const std::string& like, bool& exists);
    // A scratch file no name leads to: it goes with the program, however
    // the program ends.
    static SystemFile CreateScratch();

private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t handle_ = kNone;
    std::intptr_t mark_ = kNone; // holds the temporary file's mark past Close()
    bool owned_ = true;
};

// Why the last call above failed, in words.
std::string LastSystemError();
// Whether that failure was the folder's: it does not let a file be made in
// it (its permissions, a read-only disk) or it is not there.
bool LastFailureIsTheFolders();

// Renames `from` to `to`, replacing what `to` names.
bool RenameOver(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);

// Removes each file in `folder` whose name `isOurs` accepts and that no
// running program holds (see CreateTemporary): what a run that was killed
// left. Only a plain file of this program's user with no other name, and
// never one of `keep` (the files a run reads), whatever its name.
void RemoveAbandoned(const std::string& folder, const std::function<bool(std::string_view name)>& isOurs,
                     const std::vector<NodeId>& keep);

// The file an interruption (SIGINT, SIGTERM, SIGHUP; on Windows the
// console's Ctrl-C, Ctrl-Break and close) removes before the program ends
// as that interruption ends a program; "" for none.
void RemoveOnInterrupt(const std::string& path);
