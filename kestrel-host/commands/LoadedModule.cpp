#include "kestrel-host/commands/LoadedModule.h"

#include "kestrel-host/common/HostError.h"
#include "kestrel-host/common/HostText.h"
#include "kestrel-host/pictures/DrawSurface.h"
#include "kestrel-host/simulator/Trace.h"

namespace {

template <typename Fn>
Fn FindExport(const ModuleLibrary& library, const char* name, std::string& missing)
{
    void* address = library.Find(name);
    if (address == nullptr) {
        missing += (missing.empty() ? "" : ", ") + std::string(name);
    }
    return reinterpret_cast<Fn>(address);
}

} // namespace

void LoadedModule::Load(int versionCalls)
{
    HostContext& host = Host();
    TraceLine([&] { return "load " + path_.string(); });
    library_ = ModuleLibrary::Load(path_);
    DrawSurface::CaptureModuleCalls(library_->Handle());
    for (void* handle : host.initLibHandles) {
        TraceLine([&] { return std::string("InitLib handle matches module: ") + (handle == library_->Handle() ? "yes" : "no"); });
    }
    if (host.initLibHandles.empty()) {
        TraceLine([&] { return std::string("InitLib not called"); });
    }
    std::string missing;
    exports_.initModule = FindExport<InitModuleFn>(*library_, "InitModule", missing);
    exports_.exitModule = FindExport<ExitModuleFn>(*library_, "ExitModule", missing);
    exports_.preStep = FindExport<PreStepFn>(*library_, "opcPreStep", missing);
    exports_.moduleDate = FindExport<ModuleDateFn>(*library_, "ModuleDate", missing);
    exports_.version = FindExport<VersionFn>(*library_, "GetModuleVersion", missing);
    if (!missing.empty()) {
        TraceLine([&] { return "missing exports: " + missing + "; unload"; });
        library_->Unload();
        throw HostError(path_.string() + ": the module lacks the export(s) " + missing);
    }

    TraceLine([] { return std::string("call InitModule"); });
    exports_.initModule(static_cast<HINSTANCE>(library_->Handle()));
    for (const RegisteredMode& mode : host.modes) {
        modeNames_.push_back(mode.name + " (key " + Hex(mode.key) + ")");
    }
    for (int i = 0; i < versionCalls; ++i) {
        version_ = exports_.version();
        TraceLine([&] { return "call GetModuleVersion -> " + std::to_string(version_); });
    }
    const char* date = exports_.moduleDate();
    date_ = date == nullptr ? "(null)" : date;
    TraceLine([&] { return "call ModuleDate -> " + date_; });
}

const RegisteredMode& LoadedModule::Mode() const
{
    const auto& modes = Host().modes;
    if (modes.empty() || modes.front().msgproc == nullptr) {
        throw HostError(path_.string() + ": the module registered no display mode");
    }
    return modes.front();
}

void LoadedModule::Unload(bool callExit)
{
    if (library_ == nullptr || library_->Handle() == nullptr) {
        return;
    }
    if (callExit && exports_.exitModule != nullptr) {
        TraceLine([] { return std::string("call ExitModule"); });
        exports_.exitModule(static_cast<HINSTANCE>(library_->Handle()));
    }
    TraceLine([] { return std::string("unload"); });
    library_->Unload();
    TraceLine([] { return std::string("unloaded"); });
}
