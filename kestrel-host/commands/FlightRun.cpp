#include "kestrel-host/commands/FlightRun.h"

#include "kestrel-host/commands/Interrupts.h"
#include "kestrel-host/common/HostError.h"
#include "kestrel-host/common/HostText.h"
#include "kestrel-host/flight/DisplayNames.h"
#include "kestrel-host/pictures/DrawSurface.h"
#include "kestrel-host/pictures/Snapshot.h"
#include "kestrel-host/simulator/NativeFiles.h"
#include "kestrel-host/simulator/ScenarioHandles.h"
#include "kestrel-host/simulator/Trace.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace fs = std::filesystem;

void FlightRun::LoadModule()
{
    module_.Load(flight_.versionCalls);
}

const RegisteredMode& FlightRun::Mode() const
{
    return module_.Mode();
}

void FlightRun::Fail(const Event& event, const std::string& what) const
{
    throw EventFailed(flight_.file.string() + ": events[" + std::to_string(event.index) + "] (step " +
                    std::to_string(event.step) + "): " + what);
}

::OpenDisplay& FlightRun::Need(const std::string& name)
{
    OpenDisplay* display = Host().displays.Find(name);
    if (display == nullptr) {
        throw HostError("display '" + name + "' is not open");
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
    const std::intptr_t result = mode.msgproc(kOpenMessage, id, packedSize, vessel);
    host.displays.pendingCell.reset();
    if (result == 0) {
        throw HostError(module_.Path().string() + ": the mode's message handler gave no display for '" + name + "'");
    }
    auto* instance = reinterpret_cast<MFD*>(result);
    const MfdGeometry g = GeometryOf(instance);
    TraceLine([&] {
        return "opened " + name + " " + std::to_string(g.width) + "x" + std::to_string(g.height) + " cell " +
               std::to_string(g.charWidth) + "x" + std::to_string(g.charHeight);
    });
    host.displays.Add(::OpenDisplay{name, id, instance});
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

void FlightRun::DrawOnly(::OpenDisplay& display, DrawSurface& surface)
{
    TraceLine([&] { return "call Redraw " + display.name; });
    std::erase(Host().displays.invalidated, static_cast<const void*>(display.instance));
    display.instance->Redraw(surface.Hdc());
}

void FlightRun::Redraw(::OpenDisplay& display, DrawSurface& surface)
{
    DrawOnly(display, surface);
    ReadBezel(display, surface.Calls().bezel);
}

void FlightRun::ReadBezel(::OpenDisplay& display, Bezel& bezel)
{
    bezel = Bezel{};
    bezel.read = true;
    std::string labels;
    for (int i = 0; i < kButtonCount; ++i) {
        // Only what a label can show is read: the module's text may be long
        // or unterminated.
        const char* label = display.instance->ButtonText(i);
        if (label != nullptr) {
            bezel.labels[static_cast<std::size_t>(i)] = BoundedText(label, kLabelCharacters);
            labels += (labels.empty() ? " " : ", ") + std::to_string(i) + " " + *bezel.labels[static_cast<std::size_t>(i)];
        }
    }
    TraceLine([&] { return "call ButtonText " + display.name + " 0-11 ->" + (labels.empty() ? " none" : labels); });

    const ButtonMenuEntry* menu = nullptr;
    bezel.menuCount = display.instance->ButtonMenuTable(&menu);
    bezel.menuTable = menu != nullptr;
    TraceLine([&] { return "call ButtonMenuTable " + display.name + " -> " + std::to_string(bezel.menuCount); });
    for (int i = 0; menu != nullptr && i < std::min(bezel.menuCount, kMostMenuEntries); ++i) {
        bezel.menu.push_back(MenuLine{BoundedText(menu[i].line1, kMenuLineCharacters),
                                      BoundedText(menu[i].line2, kMenuLineCharacters), menu[i].selection});
    }
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
        DrawOnly(display, surface);
    }
}

void FlightRun::Play()
{
    HostContext& host = Host();
    playing_ = true;
    progress_.emplace(flight_.totalSteps, stderr, StderrIsTerminal(), Progress::ThresholdFromEnvironment());
    if (flight_.scenario) {
        LoadScenario(flight_.scenarioBlocks, flight_.scenario->string());
    }
    const Trace& trace = TheTrace();
    // After each call into the module: a failed open it did not make good
    // lost a line; a trace line that could not be written stops the run.
    auto called = [&] {
        host.files.CallEnded();
        if (!trace.Problem().empty()) {
            throw HostError(trace.Problem());
        }
    };
    called();
    std::size_t next = 0;
    long step = 0;
    auto runEvents = [&] {
        while (next < flight_.events.size() && flight_.events[next].step == step) {
            const Event& event = flight_.events[next++];
            try {
                RunEvent(event, *this);
                called();
            } catch (const EventFailed&) {
                throw;
            } catch (const HostError& e) {
                Fail(event, e.what()); // a scenario that breaks the layout, an output that cannot be written
            }
        }
    };
    auto interrupted = [&] {
        if (const int signal = Interruption()) {
            throw RunInterrupted{signal};
        }
    };
    const auto wallStart = std::chrono::steady_clock::now();
    const double simulatedStart = host.world.t;
    for (const StepRun& run : flight_.steps) {
        for (long i = 0; i < run.count; ++i, ++step) {
            if (pace_ > 0) {
                // Each step waits for its moment: the simulated time gone by
                // over the pace, counted from the start, so that no error adds up.
                std::this_thread::sleep_until(
                    wallStart + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                    std::chrono::duration<double>((host.world.t - simulatedStart) / pace_)));
            }
            interrupted();
            runEvents();
            const double mjd = host.world.SysMjd();
            TraceLine([&] { return "call opcPreStep " + Fixed(host.world.t, 6) + " " + Fixed(run.dt, 6); });
            module_.PreStep(host.world.t, run.dt, mjd);
            host.world.t += run.dt;
            ++stepsRun_;
            called();
            RedrawInvalidated();
            progress_->Step(stepsRun_, host.world.t, host.files.LinesWritten());
        }
    }
    interrupted();
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

void FlightRun::EndProgress()
{
    if (progress_) {
        progress_->End(stepsRun_, Host().world.t, Host().files.LinesWritten());
    }
}

void FlightRun::ClearProgress()
{
    if (progress_) {
        progress_->Clear();
    }
}

std::string FlightRun::StopNote() const
{
    const HostFiles& files = Host().files;
    std::string note = "the run stopped after " + std::to_string(stepsRun_) + " of " +
                       std::to_string(flight_.totalSteps) + " steps; ";
    const auto written = files.ModuleFiles();
    if (written.empty()) {
        note += "the module had written no data file";
    } else {
        note += "the lines the module wrote before the stop are kept, in " + files.Root().string() + ":";
        for (const auto& file : written) {
            note += "\n  " + DataFileLine(file);
        }
    }
    for (const std::string& line : NotWrittenLines()) {
        note += "\n" + line;
    }
    return note;
}

std::string FlightRun::InterruptNote(int signal) const
{
    const HostFiles& files = Host().files;
    const long long lines = files.LinesWritten();
    std::string note = std::string("stopped by ") + SignalName(signal) + " at step " + std::to_string(stepsRun_) +
                       " of " + std::to_string(flight_.totalSteps) + ", simulated time " + Fixed(Host().world.t, 2) +
                       " s, " + std::to_string(lines) + (lines == 1 ? " line" : " lines") + " written; ";
    const auto written = files.ModuleFiles();
    if (written.empty()) {
        return note + "no data file written";
    }
    note += "the data files kept, in " + files.Root().string() + ": ";
    for (std::size_t i = 0; i < written.size(); ++i) {
        note += (i == 0 ? "" : ", ") + written[i].path + " (" + std::to_string(written[i].lines) +
                (written[i].lines == 1 ? " line)" : " lines)");
    }
    return note;
}

int FlightRun::ExitCode() const
{
    return Host().files.LinesNotWrittenCount() > 0 ? 3 : 0;
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
    module_.Unload(flight_.hostCallsExit);
}
