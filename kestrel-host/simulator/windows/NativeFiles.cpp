// The host's file calls with Windows handles. A data file's folders are
// checked one at a time for reparse points (symbolic links, junctions), the
// file itself is opened with FILE_FLAG_OPEN_REPARSE_POINT, so that a link is
// opened as itself and refused rather than followed, and only a disk file
// that is neither a folder nor a reparse point is written.
#include "kestrel-host/simulator/NativeFiles.h"

#include "kestrel-host/common/HostError.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <io.h>
#include <process.h>

#include <algorithm>
#include <cstdio>

namespace fs = std::filesystem;

namespace {

HANDLE AsHandle(NativeFile file)
{
    return reinterpret_cast<HANDLE>(file);
}

bool PlainFolder(const fs::path& folder)
{
    const DWORD attributes = ::GetFileAttributesW(folder.wstring().c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

std::string ErrorText(DWORD error)
{
    return "Windows error " + std::to_string(error);
}

} // namespace

NativeRoot::~NativeRoot() = default;

void NativeRoot::Set(const fs::path& root)
{
    // The root itself may be a link: it is the folder the user named.
    const DWORD attributes = ::GetFileAttributesW(root.wstring().c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        throw HostError(root.string() + ": cannot open the root folder");
    }
    root_ = root;
    folder_ = 0;
}

NativeFile NativeRoot::Open(const std::string& relative, int mode) const
{
    if (folder_ < 0) {
        return kNoFile;
    }
    // Each folder below the root on the way to the file.
    fs::path path = root_;
    std::size_t start = 0;
    for (std::size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', start)) {
        path /= fs::path(relative.substr(start, slash - start));
        if (!PlainFolder(path)) {
            return kNoFile;
        }
        start = slash + 1;
    }
    path /= fs::path(relative.substr(start));
    const HANDLE file = ::CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return kNoFile;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool plain = ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, &info) &&
                       (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    // Mode 1 empties the file; mode 2 writes at its end.
    const LARGE_INTEGER zero{};
    const bool placed = plain && (mode == 1 ? ::SetEndOfFile(file) != 0
                                            : ::SetFilePointerEx(file, zero, nullptr, FILE_END) != 0);
    if (!placed) {
        ::CloseHandle(file);
        return kNoFile;
    }
    return reinterpret_cast<NativeFile>(file);
}

bool WriteLine(NativeFile file, const char* bytes, std::size_t size)
{
    const HANDLE handle = AsHandle(file);
    LARGE_INTEGER start{};
    const LARGE_INTEGER zero{};
    ::SetFilePointerEx(handle, zero, &start, FILE_CURRENT);
    DWORD written = 0;
    if (::WriteFile(handle, bytes, static_cast<DWORD>(size), &written, nullptr) && written == size) {
        return true;
    }
    if (written > 0) {
        // Part of the line went in: take it back.
        ::SetFilePointerEx(handle, start, nullptr, FILE_BEGIN);
        ::SetEndOfFile(handle);
    }
    return false;
}

void CloseFile(NativeFile file)
{
    ::CloseHandle(AsHandle(file));
}

void WriteWholeFile(const fs::path& path, const std::string& content)
{
    const fs::path temporary =
        path.parent_path() / ("." + path.filename().string() + "." + std::to_string(::_getpid()) + ".kestrel-tmp");
    const std::wstring temporaryName = temporary.wstring();
    auto fail = [&](const std::string& what, DWORD error) {
        ::DeleteFileW(temporaryName.c_str());
        throw HostError(path.string() + ": cannot write the file: " + what + ": " + ErrorText(error));
    };
    ::DeleteFileW(temporaryName.c_str()); // one left by a run that was killed
    const HANDLE file = ::CreateFileW(temporaryName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        fail("cannot make " + temporary.filename().string(), ::GetLastError());
    }
    std::size_t done = 0;
    while (done < content.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, content.data() + done, chunk, &written, nullptr) || written == 0) {
            const DWORD error = ::GetLastError();
            ::CloseHandle(file);
            fail("writing", error);
        }
        done += written;
    }
    if (!::CloseHandle(file)) {
        fail("writing", ::GetLastError());
    }
    if (!::MoveFileExW(temporaryName.c_str(), path.wstring().c_str(), MOVEFILE_REPLACE_EXISTING)) {
        fail("replacing it", ::GetLastError());
    }
}

bool StderrIsTerminal()
{
    return ::_isatty(::_fileno(stderr)) != 0;
}
