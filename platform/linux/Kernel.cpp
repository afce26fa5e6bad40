// Folder creation and symbol lookup with the Windows calling shapes.
#include "platform/WinApi.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

BOOL CreateDirectoryA(const char* path, LPSECURITY_ATTRIBUTES /*security*/)
{
    if (path == nullptr || *path == '\0') {
        return FALSE;
    }
    // A Windows path separates folders with backslashes.
    std::string local(path);
    for (char& c : local) {
        if (c == '\\') {
            c = '/';
        }
    }
    // Like its Windows namesake, this creates the last folder only and fails
    // when that folder exists already.
    return ::mkdir(local.c_str(), 0777) == 0 ? TRUE : FALSE;
}

FARPROC GetProcAddress(HMODULE module, const char* name)
{
    if (module == nullptr || name == nullptr) {
        return nullptr;
    }
    void* symbol = ::dlsym(module, name);
    // A data pointer from dlsym is a code address here; POSIX guarantees
    // the conversion for function symbols.
    return reinterpret_cast<FARPROC>(symbol);
}
