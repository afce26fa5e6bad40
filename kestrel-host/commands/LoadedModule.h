// The module as a run holds it: its library loaded (its attach routine runs
// inside), its five exports found, InitModule called and what the module
// says of itself asked (GetModuleVersion, ModuleDate); at the end ExitModule
// called, where the flight lets the host do so, and the library unloaded.
// Each call is traced.
#pragma once

#include "host/HostApi.h"
#include "kestrel-host/simulator/HostContext.h"
#include "kestrel-host/simulator/ModuleLoader.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// The module's exports, as the host calls them.
typedef void (*InitModuleFn)(HINSTANCE);
typedef void (*ExitModuleFn)(HINSTANCE);
typedef void (*PreStepFn)(double, double, double);
typedef const char* (*ModuleDateFn)();
typedef int (*VersionFn)();

struct ModuleExports {
    InitModuleFn initModule = nullptr;
    ExitModuleFn exitModule = nullptr;
    PreStepFn preStep = nullptr;
    ModuleDateFn moduleDate = nullptr;
    VersionFn version = nullptr;
};

class LoadedModule {
public:
    explicit LoadedModule(const std::filesystem::path& path) : path_(path) {}

    // Loads the library, has its drawing calls recorded, finds the exports,
    // calls InitModule, then GetModuleVersion `versionCalls` times and
    // ModuleDate. Throws HostError naming the module when it cannot be
    // loaded or lacks an export (it is unloaded again then).
    void Load(int versionCalls);
    // The display mode the module registered; HostError when it registered none.
    const RegisteredMode& Mode() const;
    void PreStep(double simt, double simdt, double mjd) const { exports_.preStep(simt, simdt, mjd); }
    // Calls ExitModule when `callExit` (and the export is there) and unloads
    // the library; nothing when no library is loaded.
    void Unload(bool callExit);

    const std::filesystem::path& Path() const { return path_; }
    // Each mode registered at InitModule: its name and key.
    const std::vector<std::string>& ModeNames() const { return modeNames_; }
    const std::string& Date() const { return date_; }
    int Version() const { return version_; }

private:
    std::filesystem::path path_;
    std::unique_ptr<ModuleLibrary> library_;
    ModuleExports exports_;
    std::vector<std::string> modeNames_;
    std::string date_;
    int version_ = 0;
};
