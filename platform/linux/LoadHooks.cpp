// Gives a shared library the load and unload notifications a Windows DLL
// gets: DllMain(handle, DLL_PROCESS_ATTACH) when the library is loaded, after
// the C++ runtime's own start-up, and DllMain(handle, DLL_PROCESS_DETACH)
// when it is unloaded, before the runtime shuts down.
//
// The handle is the library's own dlopen handle, so GetProcAddress on it
// finds the library's exports, as GetProcAddress on a DLL's instance handle
// does. Linked into the module's shared library only, never into a program
// that links the module's code directly.
#include "platform/WinApi.h"

#include <dlfcn.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

HINSTANCE ownHandle = nullptr;

HINSTANCE FindOwnHandle()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&FindOwnHandle), &info) == 0 || info.dli_fname == nullptr) {
        return nullptr;
    }
    // RTLD_NOLOAD only looks the library up; the reference it adds is given
    // back at once so that the host's dlclose still unloads the library.
    void* handle = ::dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (handle != nullptr) {
        ::dlclose(handle);
    }
    return handle;
}

__attribute__((constructor)) void OnLibraryLoad()
{
    ownHandle = FindOwnHandle();
    DllMain(ownHandle, DLL_PROCESS_ATTACH, nullptr);
}

__attribute__((destructor)) void OnLibraryUnload()
{
    DllMain(ownHandle, DLL_PROCESS_DETACH, nullptr);
}

} // namespace
