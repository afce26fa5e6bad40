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
#include <filesystem>
#include <string>
#include <utility>

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
        return *this;
    }

    // Takes the folder the relative paths below start from; throws HostError
    // when it cannot be opened.
    void Set(const std::filesystem::path& root);

    // `relative`: '/'-separated, with no "..", "." or empty part (HostFiles
    // checks). mode 1 makes the file empty (creating it if missing), 2
    // appends (creating it if missing). No file, and why, when the folder
    // does not exist, a part of the path is a link, the file is not a plain
    // file, or the system refuses.
    OpenedFile Open(const std::string& relative, int mode) const;
    // The lines of the file at `relative`, read through a new open of it
    // for reading only; false when that is not the file `identity` names.
    bool ReadLines(const std::string& relative, FileIdentity identity, FileLines& lines) const;

private:
    std::filesystem::path root_;
    std::intptr_t folder_ = -1; // the root's descriptor, where the platform keeps one
};

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
