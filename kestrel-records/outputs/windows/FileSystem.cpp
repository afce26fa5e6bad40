#include "kestrel-records/outputs/FileSystem.h"

#include "kestrel-records/common/RecordsError.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <random>

namespace {

DWORD g_lastError = 0;

bool Failed()
{
    g_lastError = GetLastError();
    return false;
}

HANDLE Handle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

std::intptr_t Native(HANDLE handle)
{
    return reinterpret_cast<std::intptr_t>(handle);
}

bool IsPipeName(const std::string& path)
{
    // \\.\pipe\NAME: opening one to look at it would take up an instance.
    return path.size() > 9 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/') &&
           path[2] == '.' && (path[3] == '\\' || path[3] == '/') && _strnicmp(path.c_str() + 4, "pipe", 4) == 0 &&
           (path[8] == '\\' || path[8] == '/');
}

NodeId IdOf(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &information)) {
        return NodeId{};
    }
    return NodeId{true, information.dwVolumeSerialNumber,
                  (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

std::atomic<char*> g_removeOnInterrupt{nullptr};

BOOL WINAPI OnInterrupt(DWORD)
{
    if (char* path = g_removeOnInterrupt.load()) {
        // Our own handle lets it go: the file goes when the program ends.
        DeleteFileA(path);
    }
    return FALSE; // and the program ends as the event ends a program
}

} // namespace

Node LookAt(const std::string& path)
{
    Node node;
    if (IsPipeName(path)) {
        node.kind = NodeKind::Fifo;
        return node;
    }
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE handle = CreateFileA(path.c_str(), 0, share, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            // The console (CON) opens only for reading or writing; neither
            // an existing file nor a device is changed by an open alone.
            handle = CreateFileA(path.c_str(), GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr);
            if (handle == INVALID_HANDLE_VALUE) {
                error = GetLastError(); // what stands in the way of writing it
            }
        }
        if (handle == INVALID_HANDLE_VALUE && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            node.kind = NodeKind::Other;
            // A name is never an invalid handle: only the console is, when
            // the program was started without one (detached, or under
            // Wine with no terminal).
            node.problem = error == ERROR_INVALID_HANDLE
                               ? "there is no console to write to: this program was started without one; Windows error 6"
                               : "Windows error " + std::to_string(error);
        }
        if (handle == INVALID_HANDLE_VALUE) {
            return node;
        }
    }
    switch (GetFileType(handle)) {
    case FILE_TYPE_CHAR:
        node.kind = NodeKind::CharacterDevice;
        break;
    case FILE_TYPE_PIPE:
        node.kind = NodeKind::Fifo;
        break;
    case FILE_TYPE_DISK: {
        BY_HANDLE_FILE_INFORMATION information{};
        if (!GetFileInformationByHandle(handle, &information)) {
            node.kind = NodeKind::Other; // a volume or a disk itself
        } else {
            node.kind = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? NodeKind::Folder
                                                                                      : NodeKind::RegularFile;
            node.id = IdOf(handle);
        }
        break;
    }
    default:
        node.kind = NodeKind::Other;
    }
    CloseHandle(handle);
    return node;
}

std::string FollowLinks(const std::string& path)
{
    const HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return path;
    }
    char final[MAX_PATH + 8];
    const DWORD length = GetFinalPathNameByHandleA(handle, final, sizeof final, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(handle);
    if (length == 0 || length >= sizeof final) {
        return path;
    }
    std::string resolved(final, length);
    // "\\?\C:\..." is "C:\...".
    if (resolved.rfind("\\\\?\\", 0) == 0 && resolved.size() > 6 && resolved[5] == ':') {
        resolved.erase(0, 4);
    }
    return resolved;
}

NodeId StandardOutputId()
{
    return IdOf(GetStdHandle(STD_OUTPUT_HANDLE));
}

NodeId StandardInputId()
{
    return IdOf(GetStdHandle(STD_INPUT_HANDLE));
}

std::string StandardOutputPath()
{
    const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) {
        return "";
    }
    char final[MAX_PATH + 8];
    const DWORD length = GetFinalPathNameByHandleA(handle, final, sizeof final, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= sizeof final) {
        return "";
    }
    std::string path(final, length);
    if (path.rfind("\\\\?\\", 0) == 0 && path.size() > 6 && path[5] == ':') {
        path.erase(0, 4);
    }
    return path;
}

bool MayWriteInPlace(const std::string& path)
{
    // Opened to write as it is (neither cut short nor created), then closed.
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return Failed();
    }
    CloseHandle(handle);
    return true;
}

void WritesPastTheSizeLimitFail()
{
    // Windows has no such signal: a write that fails says why.
}

bool SystemFile::Write(std::string_view bytes)
{
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(bytes.size() < (1u << 30) ? bytes.size() : (1u << 30));
        DWORD wrote = 0;
        if (!WriteFile(Handle(handle_), bytes.data(), chunk, &wrote, nullptr)) {
            return Failed();
        }
        bytes.remove_prefix(wrote);
    }
    return true;
}

bool SystemFile::Rewind()
{
    LARGE_INTEGER start{};
    return SetFilePointerEx(Handle(handle_), start, nullptr, FILE_BEGIN) || Failed();
}

long long SystemFile::Read(char* buffer, std::size_t size)
{
    DWORD got = 0;
    if (!ReadFile(Handle(handle_), buffer, static_cast<DWORD>(size < (1u << 30) ? size : (1u << 30)), &got, nullptr)) {
        Failed();
        return -1;
    }
    return got;
}

bool SystemFile::Close()
{
    if (handle_ == kNone) {
        return true;
    }
    const HANDLE handle = Handle(handle_);
    handle_ = kNone;
    return !owned_ || CloseHandle(handle) || Failed();
}

void SystemFile::ReleaseMark()
{
    if (mark_ != kNone) {
        CloseHandle(Handle(mark_));
        mark_ = kNone;
    }
}

SystemFile SystemFile::StandardOutput()
{
    SystemFile file;
    file.handle_ = Native(GetStdHandle(STD_OUTPUT_HANDLE));
    file.owned_ = false;
    return file;
}

SystemFile SystemFile::OpenDevice(const std::string& path)
{
    SystemFile file;
    const HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Failed();
        return file;
    }
    file.handle_ = Native(handle);
    const DWORD type = GetFileType(handle);
    if (type != FILE_TYPE_CHAR && type != FILE_TYPE_PIPE) {
        g_lastError = 0;
        file.Close();
    }
    return file;
}

SystemFile SystemFile::CreateTemporary(const std::string& path, const std::string& like, bool& exists)
{
    SystemFile file;
    // The old file's attributes that a new file can take (read-only is
    // refused before); its owner and permissions are the folder's to give,
    // as for any new file there.
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    if (!like.empty()) {
        const DWORD old = GetFileAttributesA(like.c_str());
        if (old != INVALID_FILE_ATTRIBUTES) {
            attributes = old & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
            if (attributes == 0) {
                attributes = FILE_ATTRIBUTE_NORMAL;
            }
        }
    }
    // Shared for deletion only: another run can open it (to see whether a
    // run left it) only once no running program holds it, and the
    // interruption handler can remove it while it is open.
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW, attributes, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Failed();
        exists = g_lastError == ERROR_FILE_EXISTS || g_lastError == ERROR_ALREADY_EXISTS;
        return file;
    }
    exists = false;
    file.handle_ = Native(handle);
    // A second handle holds it past Close(), until it has its final name.
    HANDLE mark = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &mark, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        file.mark_ = Native(mark);
    }
    RemoveOnInterrupt(path);
    return file;
}

SystemFile SystemFile::CreateScratch()
{
    SystemFile file;
    char folder[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length > MAX_PATH) {
        Failed();
        return file;
    }
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = std::string(folder) + "kestrel-records-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(random()) + ".tmp";
        const HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            file.handle_ = Native(handle);
            return file;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            Failed();
            return file;
        }
    }
    Failed();
    return file;
}

std::string LastSystemError()
{
    if (g_lastError == 0) {
        return "it changed while it was opened";
    }
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, g_lastError, 0,
                                  text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == '.')) {
        --length;
    }
    const std::string code = "Windows error " + std::to_string(g_lastError);
    return length == 0 ? code : std::string(text, length) + ", " + code;
}

bool LastFailureIsTheFolders()
{
    return g_lastError == ERROR_ACCESS_DENIED || g_lastError == ERROR_PATH_NOT_FOUND || g_lastError == ERROR_WRITE_PROTECT;
}

bool RenameOver(const std::string& from, const std::string& to)
{
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) || Failed();
}

bool RemoveFile(const std::string& path)
{
    return DeleteFileA(path.c_str()) || Failed();
}

void RemoveAbandoned(const std::string& folder, const std::function<bool(std::string_view name)>& isOurs,
                     const std::vector<NodeId>& keep)
{
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
            !isOurs(found.cFileName)) {
            continue;
        }
        // A running program holds its file without sharing reading: this
        // open succeeds only on a file no one holds, which is then removed
        // as it is closed, when it has no other name and is no input.
        const std::string path = folder + "\\" + found.cFileName;
        const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            continue;
        }
        BY_HANDLE_FILE_INFORMATION information{};
        bool left = GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &information) &&
                    (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
                    information.nNumberOfLinks == 1;
        const NodeId id = IdOf(handle);
        for (const NodeId& input : keep) {
            left = left && !input.SameAs(id);
        }
        if (left) {
            FILE_DISPOSITION_INFO remove{};
            remove.DeleteFile = TRUE;
            SetFileInformationByHandle(handle, FileDispositionInfo, &remove, sizeof remove);
        }
        CloseHandle(handle);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void RemoveOnInterrupt(const std::string& path)
{
    static bool installed = false;
    if (!installed && !path.empty()) {
        installed = true;
        SetConsoleCtrlHandler(OnInterrupt, TRUE);
    }
    // The handler runs on a thread of its own and may be reading the name
    // before: that name is left to the end of the program, not freed.
    g_removeOnInterrupt.store(path.empty() ? nullptr : _strdup(path.c_str()));
}
