// The platform's file calls behind HostFiles (posix/NativeFiles.cpp,
// windows/NativeFiles.cpp).
//
// The module's data files are opened below the root folder by a relative
// path, never through a symbolic link (or other reparse point) anywhere on
// the way, and only when what is there, or what the open creates, is a plain
// file: a link, a pipe, a device or a folder gives no file, as a full disk
// does, so that nothing hangs and nothing is written outside the root.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

// An open data file: a descriptor, or a HANDLE on Windows.
using NativeFile = std::intptr_t;
inline constexpr NativeFile kNoFile = -1;

// Why a data file gave no file, or a line was not written.
enum class FileProblem {
    None,
    OutsideRoot,  // an absolute path, a drive, a ".." part
    NotRoot,      // a path root other than the root folder
    UnknownMode,  // neither 1 nor 2
    Failing,      // the flight's "files": "fail"
    NoFolder,     // a folder on the way is missing, or is a file
    Link,         // a symbolic link (reparse point) on the way
    NotPlainFile, // a folder, a pipe, a device
    HardLink,     // a plain file with another name besides this one
    RunInput,     // a file the run reads (the flight, a scenario, the module)
    Refused,      // no permission, a read-only disk
    DiskFull,
    TooLarge,     // beyond the largest file the process may write
    NameTooLong,
    Other,        // another system error
};

// The system's own words for an error number (errno, or on Windows
// GetLastError's), for a problem of no other kind.
std::string SystemErrorText(int error);

// One file, whatever name it was opened by (a link to it, a name the file
// system folds to it): the device and file number, or on Windows the volume
// and the file index.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    auto operator<=>(const FileIdentity&) const = default;
};

// What opening a data file gave.
struct OpenedFile {
    NativeFile file = kNoFile;
    FileIdentity identity;
    std::uint64_t size = 0; // when opened (after mode 1 emptied it)
    FileProblem problem = FileProblem::None;
    int error = 0;
};

// What a data file held before the run first wrote to it.
struct FileLines {
    std::uint64_t lines = 0; // its line ends, and one more for a last line without one
    bool endsWithLineEnd = true;
};

class NativeRoot {
public:
    NativeRoot() = default;
    ~NativeRoot();
    NativeRoot(const NativeRoot&) = delete;
    NativeRoot& operator=(const NativeRoot&) = delete;
    // A new host (a batch's next flight) takes the place of the old one: the
    // old root goes with the object moved from.
    NativeRoot(NativeRoot&& other) noexcept { *this = std::move(other); }
    NativeRoot& operator=(NativeRoot&& other) noexcept
    {
        std::swap(root_, other.root_);
        std::swap(folder_, other.folder_);
        std::swap(inputs_, other.inputs_);
        return *this;
    }

    // Takes the folder the relative paths below start from; throws HostError
    // when it cannot be opened.
    void Set(const std::filesystem::path& root);
    // The files the run reads: a data file that is one of them is refused,
    // whatever name reaches it.
    void SetInputs(std::set<FileIdentity> inputs) { inputs_ = std::move(inputs); }

    // `relative`: '/'-separated, with no "..", "." or empty part (HostFiles
    // checks). mode 1 makes the file empty (creating it if missing), 2
    // appends (creating it if missing). No file, and why, when the folder
    // does not exist, a part of the path is a link, the file is not a plain
    // file, it has another name too (a hard link, which may lead anywhere,
    // out of the root or onto an input), it is one of the run's inputs, or
    // the system refuses. Nothing is emptied before all of that is known.
    OpenedFile Open(const std::string& relative, int mode) const;
    // The lines of the file at `relative`, read through a new open of it
    // for reading only; false when that is not the file `identity` names.
    bool ReadLines(const std::string& relative, FileIdentity identity, FileLines& lines) const;

private:
    std::filesystem::path root_;
    std::intptr_t folder_ = -1; // the root's descriptor, where the platform keeps one
    std::set<FileIdentity> inputs_;
};

// Which file is at `path` now (a link followed); none when there is none.
std::optional<FileIdentity> IdentityAt(const std::filesystem::path& path);
// The files at `paths` that exist, by identity.
inline std::set<FileIdentity> IdentitiesAt(const std::vector<std::filesystem::path>& paths)
{
    std::set<FileIdentity> identities;
    for (const std::filesystem::path& path : paths) {
        if (const auto identity = IdentityAt(path)) {
            identities.insert(*identity);
        }
    }
    return identities;
}

// Opens one of the host's own outputs that is written in place, as it goes
// (the trace, a batch's ROOT.out, ROOT.err and ROOT.code): made if missing,
// emptied if there. Refused, before anything is emptied, when the name is a
// symbolic link (or other reparse point), or what is there is a plain file
// with another name too (a hard link: writing it would write that other
// file) or one of `inputs`. A device or a pipe (/dev/null, /dev/full) is
// written as it is. `text`: Windows' text mode, as a console program's
// redirected output. Throws HostError naming the path, `what` it is ("the
// trace file") and the problem.
std::FILE* OpenInPlace(const std::filesystem::path& path, const std::set<FileIdentity>& inputs, bool text,
                       const std::string& what);

// Writes `size` bytes (a line and its newline) with one write call. If the
// system writes only part of them (a full disk), the part is taken back, so
// the file never ends in half a line. False, with the reason, when the line
// is not written.
bool WriteLine(NativeFile file, const char* bytes, std::size_t size, FileProblem& problem, int& error);
void CloseFile(NativeFile file);

// Writes `content` to `path` whole or not at all: into a new file beside it
// (common/Platform.h's TemporaryName), which then replaces `path` in one
// step. A temporary file of that name left by a killed run is removed first.
// Throws HostError naming the path.
void WriteWholeFile(const std::filesystem::path& path, const std::string& content);

// Whether the process's standard error is a terminal (for the progress line).
bool StderrIsTerminal();
