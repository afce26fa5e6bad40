// The platform's file calls behind HostFiles (posix/NativeFiles.cpp,
// windows/NativeFiles.cpp).
//
// The module's data files are opened below the root folder by a relative
// path, never through a symbolic link (or other reparse point) anywhere on
// the way, and only when what is there, or what the open creates, is a plain
// file: a link, a pipe, a device or a folder gives no file, as a full disk
// does, so that nothing hangs and nothing is written outside the root.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>

// An open data file: a descriptor, or a HANDLE on Windows.
using NativeFile = std::intptr_t;
inline constexpr NativeFile kNoFile = -1;

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
    // appends (creating it if missing). kNoFile when the folder does not
    // exist, a part of the path is a link, or the file is not a plain file.
    NativeFile Open(const std::string& relative, int mode) const;

private:
    std::filesystem::path root_;
    std::intptr_t folder_ = -1; // the root's descriptor, where the platform keeps one
};

// Writes `size` bytes (a line and its newline) with one write call. If the
// system writes only part of them (a full disk), the part is taken back, so
// the file never ends in half a line. False when the line is not written.
bool WriteLine(NativeFile file, const char* bytes, std::size_t size);
void CloseFile(NativeFile file);

// Writes `content` to `path` whole or not at all: into a new file beside it,
// which then replaces `path` in one step. Throws HostError naming the path.
void WriteWholeFile(const std::filesystem::path& path, const std::string& content);

// Whether the process's standard error is a terminal (for the progress line).
bool StderrIsTerminal();
