#include "kestrel-host/ModuleLoader.h"

#include "kestrel-host/HostError.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace fs = std::filesystem;

std::unique_ptr<ModuleLibrary> ModuleLibrary::Load(const fs::path& path)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        throw HostError(path.string() + ": no such module file");
    }
#ifdef _WIN32
    HMODULE handle = ::LoadLibraryW(path.wstring().c_str());
    if (handle == nullptr) {
        throw HostError(path.string() + ": cannot load the module (error " + std::to_string(::GetLastError()) + ")");
    }
    return std::unique_ptr<ModuleLibrary>(new ModuleLibrary(reinterpret_cast<void*>(handle)));
#else
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = ::dlerror();
        throw HostError(path.string() + ": cannot load the module: " + (why != nullptr ? why : "unknown error"));
    }
    return std::unique_ptr<ModuleLibrary>(new ModuleLibrary(handle));
#endif
}

ModuleLibrary::~ModuleLibrary()
{
    Unload();
}

void* ModuleLibrary::Find(const char* name) const
{
    if (handle_ == nullptr) {
        return nullptr;
    }
#ifdef _WIN32
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
    return ::dlsym(handle_, name);
#endif
}

void ModuleLibrary::Unload()
{
    if (handle_ == nullptr) {
        return;
    }
#ifdef _WIN32
    ::FreeLibrary(static_cast<HMODULE>(handle_));
#else
    ::dlclose(handle_);
#endif
    handle_ = nullptr;
}

std::string PluginFileName()
{
#ifdef _WIN32
    return "KestrelScribeMFD.dll";
#else
    return "KestrelScribeMFD.so";
#endif
}

fs::path ProgramFolder(const char* argv0)
{
    std::error_code ec;
#ifdef _WIN32
    wchar_t buffer[32768];
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer, 32768);
    if (n > 0 && n < 32768) {
        return fs::path(std::wstring(buffer, n)).parent_path();
    }
#else
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        return self.parent_path();
    }
#endif
    return fs::absolute(fs::path(argv0 == nullptr ? "" : argv0), ec).parent_path();
}
