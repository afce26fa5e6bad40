// Loading the plug-in with dlopen and dlsym.
#include "kestrel-host/simulator/ModuleLoader.h"

#include "kestrel-host/common/HostError.h"

#include <dlfcn.h>

namespace fs = std::filesystem;

std::unique_ptr<ModuleLibrary> ModuleLibrary::Load(const fs::path& path)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        throw HostError(path.string() + ": no such module file");
    }
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = ::dlerror();
        throw HostError(path.string() + ": cannot load the module: " + (why != nullptr ? why : "unknown error"));
    }
    return std::unique_ptr<ModuleLibrary>(new ModuleLibrary(handle));
}

ModuleLibrary::~ModuleLibrary()
{
    Unload();
}

void* ModuleLibrary::Find(const char* name) const
{
    return handle_ == nullptr ? nullptr : ::dlsym(handle_, name);
}

void ModuleLibrary::Unload()
{
    if (handle_ == nullptr) {
        return;
    }
    ::dlclose(handle_);
    handle_ = nullptr;
}

std::string PluginFileName()
{
    return "KestrelScribeMFD.so";
}

fs::path ProgramFolder(const char* argv0)
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        return self.parent_path();
    }
    return fs::absolute(fs::path(argv0 == nullptr ? "" : argv0), ec).parent_path();
}
