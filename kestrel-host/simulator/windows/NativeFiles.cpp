// The host's file calls with Windows handles. A data file's folders are
// checked one at a time for reparse points (symbolic links, junctions), the
// file itself is opened with FILE_FLAG_OPEN_REPARSE_POINT, so that a link is
// opened as itself and refused rather than followed, and only a disk file
// that is neither a folder nor a reparse point is written.
#include "kestrel-host/simulator/NativeFiles.h"

#include "kestrel-host/common/HostError.h"
#include "kestrel-host/common/Platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <process.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace fs = std::filesystem;

namespace {

HANDLE AsHandle(NativeFile file)
{
    return reinterpret_cast<HANDLE>(file);
}

// Why a folder on the way cannot be passed: none when it is a plain folder.
FileProblem FolderProblem(const fs::path& folder)
{
    const DWORD attributes = ::GetFileAttributesW(folder.wstring().c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return FileProblem::NoFolder;
    }
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? FileProblem::Link : FileProblem::None;
}

FileProblem ProblemOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY:
        return FileProblem::NoFolder;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return FileProblem::Refused;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return FileProblem::DiskFull;
    case ERROR_FILE_TOO_LARGE:
        return FileProblem::TooLarge;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW:
        return FileProblem::NameTooLong;
    default:
        return FileProblem::Other;
    }
}

std::string ErrorText(DWORD error)
{
    return "Windows error " + std::to_string(error);
}

// The file at `relative` below `root`, each folder on the way a plain folder.
FileProblem PathBelow(const fs::path& root, const std::string& relative, fs::path& path)
{
    path = root;
    std::size_t start = 0;
    for (std::size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', start)) {
        path /= fs::path(relative.substr(start, slash - start));
        const FileProblem problem = FolderProblem(path);
        if (problem != FileProblem::None) {
            return problem;
        }
        start = slash + 1;
    }
    path /= fs::path(relative.substr(start));
    return FileProblem::None;
}

// Whether an open handle is a plain disk file, and which; `links`, the
// names it has.
bool PlainFile(HANDLE file, FileIdentity& identity, std::uint64_t& size, DWORD* links = nullptr)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return false;
    }
    identity.device = info.dwVolumeSerialNumber;
    identity.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (links != nullptr) {
        *links = info.nNumberOfLinks;
    }
    return true;
}

} // namespace

std::string SystemErrorText(int error)
{
    return ErrorText(static_cast<DWORD>(error));
}

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

OpenedFile NativeRoot::Open(const std::string& relative, int mode) const
{
    OpenedFile opened;
    auto fail = [&](FileProblem problem, DWORD error) {
        opened.problem = problem;
        opened.error = static_cast<int>(error);
        return opened;
    };
    if (folder_ < 0) {
        return fail(FileProblem::Other, ERROR_INVALID_HANDLE);
    }
    fs::path path;
    const FileProblem onTheWay = PathBelow(root_, relative, path);
    if (onTheWay != FileProblem::None) {
        return fail(onTheWay, 0);
    }
    const HANDLE file = ::CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return fail(ProblemOf(error), error);
    }
    DWORD links = 1;
    if (!PlainFile(file, opened.identity, opened.size, &links)) {
        ::CloseHandle(file);
        return fail(FileProblem::NotPlainFile, 0);
    }
    if (links > 1 || inputs_.contains(opened.identity)) {
        ::CloseHandle(file);
        return fail(links > 1 ? FileProblem::HardLink : FileProblem::RunInput, 0);
    }
    // Mode 1 empties the file; mode 2 writes at its end.
    const LARGE_INTEGER zero{};
    const bool placed = mode == 1 ? ::SetEndOfFile(file) != 0 : ::SetFilePointerEx(file, zero, nullptr, FILE_END) != 0;
    if (!placed) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(file);
        return fail(ProblemOf(error), error);
    }
    if (mode == 1) {
        opened.size = 0;
    }
    opened.file = reinterpret_cast<NativeFile>(file);
    return opened;
}

bool NativeRoot::ReadLines(const std::string& relative, FileIdentity identity, FileLines& lines) const
{
    fs::path path;
    if (folder_ < 0 || PathBelow(root_, relative, path) != FileProblem::None) {
        return false;
    }
    const HANDLE file = ::CreateFileW(path.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    FileIdentity found;
    std::uint64_t size = 0;
    bool same = PlainFile(file, found, size) && found == identity;
    lines = FileLines{};
    char last = '\n';
    std::vector<char> buffer(1 << 16);
    while (same) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            same = false;
        }
        if (got == 0) {
            break;
        }
        lines.lines += static_cast<std::uint64_t>(std::count(buffer.begin(), buffer.begin() + got, '\n'));
        last = buffer[got - 1];
    }
    ::CloseHandle(file);
    lines.endsWithLineEnd = last == '\n';
    lines.lines += lines.endsWithLineEnd ? 0 : 1;
    return same;
}

bool WriteLine(NativeFile file, const char* bytes, std::size_t size, FileProblem& problem, int& error)
{
    const HANDLE handle = AsHandle(file);
    LARGE_INTEGER start{};
    const LARGE_INTEGER zero{};
    ::SetFilePointerEx(handle, zero, &start, FILE_CURRENT);
    DWORD written = 0;
    if (::WriteFile(handle, bytes, static_cast<DWORD>(size), &written, nullptr) && written == size) {
        return true;
    }
    DWORD failure = ::GetLastError();
    if (failure == ERROR_SUCCESS) {
        failure = ERROR_DISK_FULL; // written short: the disk is full
    }
    error = static_cast<int>(failure);
    problem = ProblemOf(failure);
    if (written > 0) {
        // Part of the line went in: take it back.
        ::SetFilePointerEx(handle, start, nullptr, FILE_BEGIN);
        ::SetEndOfFile(handle);
    }
    return false;
}

std::optional<FileIdentity> IdentityAt(const fs::path& path)
{
    const HANDLE file = ::CreateFileW(path.wstring().c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    FileIdentity identity;
    std::uint64_t size = 0;
    const bool plain = PlainFile(file, identity, size);
    ::CloseHandle(file);
    return plain ? std::optional<FileIdentity>(identity) : std::nullopt;
}

std::FILE* OpenInPlace(const fs::path& path, const std::set<FileIdentity>& inputs, bool text, const std::string& what)
{
    auto fail = [&](const std::string& why) -> std::FILE* { throw HostError(path.string() + ": cannot write " + what + ": " + why); };
    const HANDLE file = ::CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_PATH_NOT_FOUND) {
            return fail("its folder " + path.parent_path().string() + " does not exist");
        }
        return fail(ErrorText(error));
    }
    if (::GetFileType(file) == FILE_TYPE_DISK) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(file, &info)) {
            const DWORD error = ::GetLastError();
            ::CloseHandle(file);
            return fail(ErrorText(error));
        }
        const FileIdentity identity{info.dwVolumeSerialNumber,
                                    (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
        std::string refused;
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            refused = "it is a symbolic link (a reparse point), which the host does not follow for its own outputs";
        } else if (info.nNumberOfLinks > 1) {
            refused = "the file has another name too (a hard link), which writing it would change as well";
        } else if (inputs.contains(identity)) {
            refused = "it is a file this run reads";
        } else if (!::SetEndOfFile(file)) {
            refused = ErrorText(::GetLastError());
        }
        if (!refused.empty()) {
            ::CloseHandle(file);
            return fail(refused);
        }
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(file), text ? _O_TEXT : _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(file);
        return fail("cannot use the file");
    }
    std::FILE* stream = ::_fdopen(fd, text ? "w" : "wb");
    if (stream == nullptr) {
        ::_close(fd);
        return fail("cannot use the file");
    }
    return stream;
}

void CloseFile(NativeFile file)
{
    ::CloseHandle(AsHandle(file));
}

void WriteWholeFile(const fs::path& path, const std::string& content)
{
    const fs::path temporary =
        path.parent_path() / TemporaryName(path.filename().string(), static_cast<std::uint32_t>(::_getpid()));
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
