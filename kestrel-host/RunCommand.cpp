#include "kestrel-host/RunCommand.h"

#include "kestrel-host/DrawSurface.h"
#include "kestrel-host/Flight.h"
#include "kestrel-host/HostContext.h"
#include "kestrel-host/HostError.h"
#include "kestrel-host/ModuleLoader.h"
#include "kestrel-host/Scenario.h"
#include "kestrel-host/Snapshot.h"
#include "kestrel-host/Trace.h"

#include <charconv>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

typedef void (*InitModuleFn)(HINSTANCE);
typedef void (*ExitModuleFn)(HINSTANCE);
typedef void (*PreStepFn)(double, double, double);
typedef const char* (*ModuleDateFn)();
typedef int (*VersionFn)();

struct Exports {
    InitModuleFn initModule = nullptr;
    ExitModuleFn exitModule = nullptr;
    PreStepFn preStep = nullptr;
    ModuleDateFn moduleDate = nullptr;
    VersionFn version = nullptr;
};

template <typename Fn>
Fn FindExport(const ModuleLibrary& library, const char* name, std::string& missing)
{
    void* address = library.Find(name);
    if (address == nullptr) {
        missing += (missing.empty() ? "" : ", ") + std::string(name);
    }
    return reinterpret_cast<Fn>(address);
}

std::string Hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// With a decimal point whatever the process locale (the run takes the
// environment's locale, for the module's sake).
std::string Fixed(double value, int decimals)
{
    char text[512]; // the widest double with its decimals fits
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, result.ptr);
}

// Removes what a failed run left in the root folder: folders that are new
// and hold no file (the module makes its data folder before any file goes
// in), and the root itself if the run made it and it is empty.
class Rollback {
public:
    void Before(const fs::path& root, bool rootCreated)
    {
        root_ = root;
        rootCreated_ = rootCreated;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(root, ec)) {
            existing_.insert(entry.path().filename());
        }
    }

    void Undo() const
    {
        if (root_.empty()) {
            return;
        }
        std::error_code ec;
        std::vector<fs::path> fresh;
        for (const auto& entry : fs::directory_iterator(root_, ec)) {
            if (existing_.count(entry.path().filename()) == 0 && entry.is_directory(ec) && HoldsNoFile(entry.path())) {
                fresh.push_back(entry.path());
            }
        }
        for (const fs::path& folder : fresh) {
            fs::remove_all(folder, ec);
        }
        if (rootCreated_ && fs::is_empty(root_, ec)) {
            fs::current_path(root_.parent_path(), ec);
            fs::remove(root_, ec);
        }
    }

private:
    static bool HoldsNoFile(const fs::path& folder)
    {
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(folder, ec)) {
            if (!entry.is_directory(ec)) {
                return false;
            }
        }
        return true;
    }

    fs::path root_;
    bool rootCreated_ = false;
    std::set<fs::path> existing_;
};

class FlightRun {
public:
    FlightRun(const Flight& flight, const fs::path& modulePath) : flight_(flight), modulePath_(modulePath) {}

    void LoadModule();
    void Play();
    // Deletes the displays, closes input boxes, calls ExitModule (if the
    // flight lets the host do so) and unloads the module.
    void Finish();
    void PrintSummary(std::ostream& out) const;

private:
    const RegisteredMode& Mode() const;
    void RunEvent(const Event& event);
    void Open(const std::string& name, std::uint32_t packedSize, CharCell cell);
    ::OpenDisplay& Need(const std::string& name);
    std::vector<ScenarioBlock> ScenarioAt(const fs::path& path) const;
    void LoadScenario(const std::vector<ScenarioBlock>& blocks, const std::string& source);
    void Redraw(::OpenDisplay& display, DrawSurface& surface);
    void RedrawInvalidated();
    [[noreturn]] void Fail(const Event& event, const std::string& what) const;

    const Flight& flight_;
    fs::path modulePath_;
    std::unique_ptr<ModuleLibrary> library_;
    Exports exports_;
    std::vector<std::string> modeNames_;
    std::string moduleDate_;
    int version_ = 0;
    long stepsRun_ = 0;
    std::vector<std::string> messages_;
    std::vector<std::string> displayTexts_;
    bool finished_ = false;
};

void FlightRun::LoadModule()
{
    HostContext& host = Host();
    TraceLine([&] { return "load " + modulePath_.string(); });
    library_ = ModuleLibrary::Load(modulePath_);
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
        throw HostError(modulePath_.string() + ": the module lacks the export(s) " + missing);
    }

    TraceLine([] { return std::string("call InitModule"); });
    exports_.initModule(static_cast<HINSTANCE>(library_->Handle()));
    for (const RegisteredMode& mode : host.modes) {
        modeNames_.push_back(mode.name + " (key " + Hex(mode.key) + ")");
    }
    for (int i = 0; i < flight_.versionCalls; ++i) {
        version_ = exports_.version();
        TraceLine([&] { return "call GetModuleVersion -> " + std::to_string(version_); });
    }
    const char* date = exports_.moduleDate();
    moduleDate_ = date == nullptr ? "(null)" : date;
    TraceLine([&] { return "call ModuleDate -> " + moduleDate_; });
}

const RegisteredMode& FlightRun::Mode() const
{
    const auto& modes = Host().modes;
    if (modes.empty() || modes.front().msgproc == nullptr) {
        throw HostError(modulePath_.string() + ": the module registered no display mode");
    }
    return modes.front();
}

void FlightRun::Fail(const Event& event, const std::string& what) const
{
    throw HostError(flight_.file.string() + ": events[" + std::to_string(event.index) + "] (step " +
                    std::to_string(event.step) + "): " + what);
}

::OpenDisplay& FlightRun::Need(const std::string& name)
{
    OpenDisplay* display = Host().displays.Find(name);
    if (display == nullptr) {
        throw HostError(flight_.file.string() + ": display '" + name + "' is not open");
    }
    return *display;
}

void FlightRun::Open(const std::string& name, std::uint32_t packedSize, CharCell cell)
{
    HostContext& host = Host();
    if (host.displays.Find(name) != nullptr) {
        host.displays.Close(name); // opening an open display replaces its instance
    }
    const RegisteredMode& mode = Mode();
    const std::uint32_t id = *DisplayIdOf(name);
    host.displays.pendingCell = cell;
    const auto vessel = reinterpret_cast<std::intptr_t>(host.world.focus);
    TraceLine([&] { return "call msgproc 1 " + std::to_string(id) + " " + Hex(packedSize) + " (open " + name + ")"; });
    const std::intptr_t result = mode.msgproc(1, id, packedSize, vessel);
    host.displays.pendingCell.reset();
    if (result == 0) {
        throw HostError(modulePath_.string() + ": the mode's message handler gave no display for '" + name + "'");
    }
    auto* instance = reinterpret_cast<MFD*>(result);
    const MfdGeometry g = GeometryOf(instance);
    TraceLine([&] {
        return "opened " + name + " " + std::to_string(g.width) + "x" + std::to_string(g.height) + " cell " +
               std::to_string(g.charWidth) + "x" + std::to_string(g.charHeight);
    });
    host.displays.Add(::OpenDisplay{name, id, instance});
}

std::vector<ScenarioBlock> FlightRun::ScenarioAt(const fs::path& path) const
{
    if (const auto staged = Host().files.Staged(path)) {
        return ParseScenario(*staged, path.string());
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw HostError(path.string() + ": cannot read the scenario file");
    }
    std::ostringstream text;
    text << in.rdbuf();
    return ParseScenario(text.str(), path.string());
}

void FlightRun::LoadScenario(const std::vector<ScenarioBlock>& blocks, const std::string& source)
{
    HostContext& host = Host();
    TraceLine([&] { return "load scenario " + source; });
    host.displays.CloseAll();
    for (const ScenarioBlock& block : blocks) {
        Open(block.display, block.width | (block.height << 16), CharCell{block.charWidth, block.charHeight});
        ScenarioReader reader;
        reader.items = &block.items;
        TraceLine([&] { return "call ReadFromScenario " + block.display; });
        Need(block.display).instance->ReadFromScenario(&reader);
    }
}

void FlightRun::Redraw(::OpenDisplay& display, DrawSurface& surface)
{
    TraceLine([&] { return "call Redraw " + display.name; });
    std::erase(Host().displays.invalidated, static_cast<const void*>(display.instance));
    display.instance->Redraw(surface.Hdc());
}

void FlightRun::RedrawInvalidated()
{
    HostContext& host = Host();
    while (!host.displays.invalidated.empty()) {
        const void* mfd = host.displays.invalidated.front();
        const ::OpenDisplay* found = host.displays.FindInstance(mfd);
        if (found == nullptr) {
            host.displays.invalidated.erase(host.displays.invalidated.begin());
            continue;
        }
        ::OpenDisplay& display = Need(found->name);
        DrawSurface surface(GeometryOf(display.instance)); // a redraw a user would see; nothing is kept
        Redraw(display, surface);
    }
}

void FlightRun::RunEvent(const Event& event)
{
    HostContext& host = Host();
    switch (event.action) {
    case Action::Open: {
        const CharCell derived = DerivedCharCell(event.packedSize & 0xFFFFu, event.packedSize >> 16);
        Open(event.display, event.packedSize,
                    CharCell{event.charWidth.value_or(derived.width), event.charHeight.value_or(derived.height)});
        break;
    }
    case Action::Button: {
        const bool taken = Need(event.display).instance->OnButton(event.button, event.flags);
        TraceLine([&] {
            return "call OnButton " + event.display + " " + std::to_string(event.button) + " " + std::to_string(event.flags) +
                   " -> " + (taken ? "true" : "false");
        });
        break;
    }
    case Action::Key: {
        const bool taken = Need(event.display).instance->OnKey(event.key);
        TraceLine([&] { return "call OnKey " + event.display + " " + Hex(event.key) + " -> " + (taken ? "true" : "false"); });
        break;
    }
    case Action::Menu: {
        MFD* instance = Need(event.display).instance;
        const ButtonMenuEntry* menu = nullptr;
        const int count = instance->ButtonMenuTable(&menu);
        TraceLine([&] { return "call ButtonMenuTable " + event.display + " -> " + std::to_string(count); });
        std::string choices;
        bool found = false;
        for (int i = 0; menu != nullptr && i < count; ++i) {
            choices += (choices.empty() ? "" : ", ") + std::string(1, menu[i].selection);
            found = found || menu[i].selection == event.menu;
        }
        if (!found) {
            Fail(event, "display '" + event.display + "' has no menu entry '" + std::string(1, event.menu) +
                            "' (its menu: " + (choices.empty() ? "none" : choices) + ")");
        }
        const std::uint32_t key = ScanCodeOf(event.menu);
        const bool taken = instance->OnKey(key);
        TraceLine([&] {
            return "call OnKey " + event.display + " " + Hex(key) + " (menu " + std::string(1, event.menu) + ") -> " +
                   (taken ? "true" : "false");
        });
        break;
    }
    case Action::Input: {
        if (host.inputBoxes.Empty()) {
            Fail(event, "'input' with no open input box");
        }
        InputBox box = host.inputBoxes.TakeLast();
        if (!event.input) {
            TraceLine([&] { return "input " + box.title + " cancelled"; });
            break;
        }
        TraceLine([&] { return "call input callback " + box.title + " <- " + *event.input; });
        const bool accepted = box.callback != nullptr && box.callback(&box, event.input->c_str(), box.userData);
        TraceLine([&] { return std::string("input callback -> ") + (accepted ? "true" : "false"); });
        break;
    }
    case Action::Focus:
        host.world.focus = host.world.Find(event.vessel);
        TraceLine([&] { return "focus " + event.vessel; });
        break;
    case Action::AddVessel:
        host.world.Add(event.newVessel.name, event.newVessel.pitch);
        TraceLine([&] { return "add vessel " + event.newVessel.name; });
        break;
    case Action::RemoveVessel:
        host.world.Remove(event.vessel);
        TraceLine([&] { return "remove vessel " + event.vessel; });
        break;
    case Action::Close:
        host.displays.Close(event.display);
        break;
    case Action::Save: {
        std::vector<ScenarioBlock> blocks;
        for (::OpenDisplay* display : host.displays.All()) {
            const MfdGeometry g = GeometryOf(display->instance);
            ScenarioWriter writer;
            TraceLine([&] { return "call WriteToScenario " + display->name; });
            display->instance->WriteToScenario(&writer);
            blocks.push_back(ScenarioBlock{display->name, g.width, g.height, g.charWidth, g.charHeight, writer.items});
        }
        host.files.Put(event.path, FormatScenario(blocks));
        TraceLine([&] { return "saved scenario " + event.path.generic_string(); });
        break;
    }
    case Action::Load:
        LoadScenario(ScenarioAt(event.path), event.path.string());
        break;
    case Action::Snapshot: {
        ::OpenDisplay& display = Need(event.display);
        const MfdGeometry g = GeometryOf(display.instance);
        if ((!event.svg.empty() || !event.log.empty()) && !DrawSurface::SeesModuleCalls()) {
            Fail(event, "the module's drawing calls cannot be recorded (its SetTextColor and TextOutA imports were "
                        "not found), so there is no draw log or SVG picture; take a 'bmp' snapshot instead");
        }
        DrawSurface surface(g);
        Redraw(display, surface);
        if (!event.svg.empty()) {
            host.files.Put(event.svg, SnapshotSvg(surface.Calls(), g));
        }
        if (!event.log.empty()) {
            host.files.Put(event.log, DrawLogText(surface.Calls()));
        }
        if (!event.bmp.empty()) {
            host.files.Put(event.bmp, surface.Bitmap());
        }
        break;
    }
    case Action::Message: {
        const RegisteredMode& mode = Mode();
        const std::intptr_t result =
            mode.msgproc(event.message, event.displayId, event.packedSize, reinterpret_cast<std::intptr_t>(host.world.focus));
        const std::string line = "msgproc " + std::to_string(event.message) + " " + std::to_string(event.displayId) +
                                 " " + Hex(event.packedSize) + " -> " + std::to_string(result);
        TraceLine([&] { return "call " + line; });
        messages_.push_back(line);
        break;
    }
    case Action::Files:
        host.files.SetFailing(event.filesFail);
        TraceLine([&] { return std::string("files ") + (event.filesFail ? "fail" : "ok"); });
        break;
    }
}

void FlightRun::Play()
{
    HostContext& host = Host();
    if (flight_.scenario) {
        LoadScenario(flight_.scenarioBlocks, flight_.scenario->string());
    }
    std::size_t next = 0;
    long step = 0;
    auto runEvents = [&] {
        while (next < flight_.events.size() && flight_.events[next].step == step) {
            RunEvent(flight_.events[next++]);
        }
    };
    for (const StepRun& run : flight_.steps) {
        for (long i = 0; i < run.count; ++i, ++step) {
            runEvents();
            const double mjd = host.world.SysMjd();
            TraceLine([&] { return "call opcPreStep " + Fixed(host.world.t, 6) + " " + Fixed(run.dt, 6); });
            exports_.preStep(host.world.t, run.dt, mjd);
            host.world.t += run.dt;
            ++stepsRun_;
            RedrawInvalidated();
        }
    }
    runEvents();
    RedrawInvalidated();
    // What the displays show at the end, for the summary.
    for (::OpenDisplay* display : host.displays.All()) {
        const MfdGeometry g = GeometryOf(display->instance);
        DrawSurface surface(g);
        Redraw(*display, surface);
        displayTexts_.push_back("display " + display->name + " (" + std::to_string(g.width) + "x" +
                                std::to_string(g.height) + ", char cell " + std::to_string(g.charWidth) + "x" +
                                std::to_string(g.charHeight) + "):\n" + SnapshotText(surface.Calls(), g));
    }
}

void FlightRun::Finish()
{
    if (finished_) {
        return;
    }
    finished_ = true;
    HostContext& host = Host();
    host.displays.CloseAll();
    host.inputBoxes.CloseAll();
    if (library_ == nullptr || library_->Handle() == nullptr) {
        return;
    }
    if (flight_.hostCallsExit && exports_.exitModule != nullptr) {
        TraceLine([] { return std::string("call ExitModule"); });
        exports_.exitModule(static_cast<HINSTANCE>(library_->Handle()));
    }
    TraceLine([] { return std::string("unload"); });
    library_->Unload();
    TraceLine([] { return std::string("unloaded"); });
}

void FlightRun::PrintSummary(std::ostream& out) const
{
    out << "kestrel-host: flight " << flight_.file.string() << "\n";
    out << "module:  " << modulePath_.filename().string();
    for (const std::string& mode : modeNames_) {
        out << ", mode " << mode;
    }
    out << "\n";
    out << "date:    " << moduleDate_ << "\n";
    out << "version: " << version_ << "\n";
    out << "steps:   " << stepsRun_ << " run, simulated time " << Fixed(Host().world.t, 2) << " s\n";
    for (const std::string& message : messages_) {
        out << "message: " << message << "\n";
    }
    const auto files = Host().files.ModuleFiles();
    out << "data files written: " << files.size() << "\n";
    for (const auto& file : files) {
        out << "  " << file.path << ": " << file.lines << (file.lines == 1 ? " line" : " lines") << "\n";
    }
    if (displayTexts_.empty()) {
        out << "no display open\n";
    }
    for (const std::string& text : displayTexts_) {
        out << text;
    }
}

} // namespace

int RunFlight(const RunOptions& options)
{
    Rollback rollback;
    Flight flight; // outlives the run, which refers to it
    std::unique_ptr<FlightRun> run;
    try {
        std::error_code ec;
        const fs::path start = fs::current_path();
        const fs::path flightPath = fs::absolute(options.flight).lexically_normal();
        const fs::path root = fs::absolute(options.root.value_or(start)).lexically_normal();
        const fs::path modulePath =
            fs::absolute(options.module.value_or(options.programFolder / PluginFileName())).lexically_normal();

        // Everything is checked before the module is loaded or a file made.
        flight = LoadFlight(flightPath, root);
        if (!fs::is_regular_file(modulePath, ec)) {
            throw HostError(modulePath.string() + ": no such module file");
        }
        if (fs::exists(root, ec) && !fs::is_directory(root, ec)) {
            throw HostError(root.string() + ": the root is not a folder");
        }
        if (options.trace) {
            TheTrace().Open(fs::absolute(*options.trace));
        }
        // The module runs in the C library locale the environment names
        // (LC_ALL, LC_NUMERIC, LANG), as inside a desktop application;
        // kestrel-host's own texts do not depend on it.
        std::setlocale(LC_ALL, "");
        TraceLine([] {
            const char* name = std::setlocale(LC_ALL, nullptr);
            return "locale " + std::string(name == nullptr ? "?" : name) + ", decimal point '" +
                   std::localeconv()->decimal_point + "'";
        });

        const bool rootCreated = !fs::exists(root, ec);
        fs::create_directories(root, ec);
        if (ec) {
            throw HostError(root.string() + ": cannot make the root folder: " + ec.message());
        }
        rollback.Before(root, rootCreated);
        fs::current_path(root);

        HostContext& host = Host();
        host.files.SetRoot(root);
        host.world.clockMjd = flight.clockMjd;
        for (const VesselDefinition& vessel : flight.vessels) {
            Vessel* added = host.world.Add(vessel.name, vessel.pitch);
            if (flight.focus && *flight.focus == vessel.name) {
                host.world.focus = added;
            }
        }

        run = std::make_unique<FlightRun>(flight, modulePath);
        run->LoadModule();
        run->Play();
        run->Finish();
        host.files.Commit();
        run->PrintSummary(std::cout);
        return 0;
    } catch (const HostError& e) {
        if (run) {
            run->Finish();
        }
        rollback.Undo();
        std::cerr << "kestrel-host: " << e.what() << "\n";
        return 2;
    } catch (const std::filesystem::filesystem_error& e) {
        if (run) {
            run->Finish();
        }
        rollback.Undo();
        std::cerr << "kestrel-host: " << e.what() << "\n";
        return 2;
    }
}
