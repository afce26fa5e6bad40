// Loading the plug-in: dlopen/dlsym (posix/ModuleLoader.cpp), or
// LoadLibrary/GetProcAddress on Windows (windows/ModuleLoader.cpp).
#pragma once

#include <filesystem>
#include <memory>
#include <string>

class ModuleLibrary {
public:
    // Loads the library (its attach routine runs inside); throws HostError
    // naming the path when it cannot be loaded.
    static std::unique_ptr<ModuleLibrary> Load(const std::filesystem::path& path);
    ~ModuleLibrary();
    ModuleLibrary(const ModuleLibrary&) = delete;
    ModuleLibrary& operator=(const ModuleLibrary&) = delete;

    // The module's instance handle, as its own attach routine sees it.
    void* Handle() const { return handle_; }
    // An export by name; null when the library has none of that name.
    void* Find(const char* name) const;
    // Unloads the library (its detach routine runs inside).
    void Unload();

private:
    explicit ModuleLibrary(void* handle) : handle_(handle) {}
    void* handle_;
};

// The plug-in's file name on this platform: KestrelScribeMFD.so or .dll.
std::string PluginFileName();
// The folder of the running program (where the plug-in is built).
std::filesystem::path ProgramFolder(const char* argv0);
