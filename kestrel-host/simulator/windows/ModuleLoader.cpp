// Loading the plug-in with LoadLibrary and GetProcAddress.
#include "kestrel-host/simulator/ModuleLoader.h"

#include "kestrel-host/common/HostError.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace fs = std::filesystem;

std::unique_ptr<ModuleLibrary> ModuleLibrary::Load(const fs::path& path)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        throw HostError(path.string() + ": no such module file");
    }
    // Its attach routine runs inside: InitLib and its own GetProcAddress.
    HMODULE handle = ::LoadLibraryW(path.wstring().c_str());
    if (handle == nullptr) {
        throw HostError(path.string() + ": cannot load the module (Windows error " + std::to_string(::GetLastError()) +
                        ")");
    }
    return std::unique_ptr<ModuleLibrary>(new ModuleLibrary(reinterpret_cast<void*>(handle)));
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
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void ModuleLibrary::Unload()
{
    if (handle_ == nullptr) {
        return;
    }
    ::FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
}

std::string PluginFileName()
{
    return "KestrelScribeMFD.dll";
}

fs::path ProgramFolder(const char* argv0)
{
    std::error_code ec;
    std::wstring buffer(32768, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n > 0 && n < buffer.size()) {
        buffer.resize(n);
        return fs::path(buffer).parent_path();
    }
    return fs::absolute(fs::path(argv0 == nullptr ? "" : argv0), ec).parent_path();
}
