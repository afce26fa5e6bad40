#include "kestrel-host/commands/EventActions.h"

#include "kestrel-host/commands/HostOutputs.h"
#include "kestrel-host/common/HostError.h"
#include "kestrel-host/common/HostText.h"
#include "kestrel-host/flight/ScanCodes.h"
#include "kestrel-host/flight/ScenarioFile.h"
#include "kestrel-host/pictures/DrawSurface.h"
#include "kestrel-host/pictures/Snapshot.h"
#include "kestrel-host/simulator/ScenarioHandles.h"
#include "kestrel-host/simulator/Trace.h"

namespace fs = std::filesystem;

namespace {

// The module is handed what fits its line buffer.
static_assert(kScenarioItemBytes + 1 == kScenarioLineBuffer);

} // namespace

void RunEvent(const Event& event, ActionContext& run)
{
    HostContext& host = Host();
    switch (event.action) {
    case Action::Open: {
        const CharCell derived = DerivedCharCell(event.packedSize & 0xFFFFu, event.packedSize >> 16);
        run.Open(event.display, event.packedSize,
                    CharCell{event.charWidth.value_or(derived.width), event.charHeight.value_or(derived.height)});
        break;
    }
    case Action::Button: {
        const bool taken = run.Need(event.display).instance->OnButton(event.button, event.flags);
        TraceLine([&] {
            return "call OnButton " + event.display + " " + std::to_string(event.button) + " " + std::to_string(event.flags) +
                   " -> " + (taken ? "true" : "false");
        });
        break;
    }
    case Action::Key: {
        const bool taken = run.Need(event.display).instance->OnKey(event.key);
        TraceLine([&] { return "call OnKey " + event.display + " " + Hex(event.key) + " -> " + (taken ? "true" : "false"); });
        break;
    }
    case Action::Menu: {
        MFD* instance = run.Need(event.display).instance;
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
            run.Fail(event, "display '" + event.display + "' has no menu entry '" + std::string(1, event.menu) +
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
            run.Fail(event, "'input' with no open input box");
        }
        InputBox box = host.inputBoxes.TakeLast();
        if (!event.input) {
            TraceLine([&] { return "input " + box.title + " cancelled"; });
            break;
        }
        TraceLine([&] { return "call input callback " + box.title + " <- " + *event.input; });
        const bool accepted = box.callback != nullptr && box.callback(&box, event.input->c_str(), box.userData);
        TraceLine([&] { return std::string("input callback -> ") + (accepted ? "true" : "false"); });
        if (!accepted) {
            run.Refused(Refusal{box.title, *event.input});
        }
        break;
    }
    case Action::Focus:
        host.world.focus = host.world.Find(event.vessel);
        TraceLine([&] { return "focus " + event.vessel; });
        break;
    case Action::AddVessel:
        host.world.Add(event.newVessel.name, PitchTable{event.newVessel.pitch});
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
        WriteOutput(host.files.Root(), event.path, FormatScenario(blocks));
        TraceLine([&] { return "saved scenario " + event.path.generic_string(); });
        break;
    }
    case Action::Load:
        run.LoadScenario(ReadScenarioFile(event.path), event.path.string());
        break;
    case Action::Snapshot: {
        ::OpenDisplay& display = run.Need(event.display);
        const MfdGeometry g = GeometryOf(display.instance);
        if ((!event.svg.empty() || !event.log.empty()) && !DrawSurface::SeesModuleCalls()) {
            run.Fail(event, "the module's drawing calls cannot be recorded (its SetTextColor and TextOutA imports were "
                        "not found), so there is no draw log or SVG picture; take a 'bmp' snapshot instead");
        }
        DrawSurface surface(g);
        run.Redraw(display, surface);
        if (!event.svg.empty()) {
            WriteOutput(host.files.Root(), event.svg, SnapshotSvg(surface.Calls(), g));
        }
        if (!event.log.empty()) {
            WriteOutput(host.files.Root(), event.log, DrawLogText(surface.Calls()));
        }
        if (!event.bmp.empty()) {
            WriteOutput(host.files.Root(), event.bmp, surface.Bitmap());
        }
        break;
    }
    case Action::Message: {
        const RegisteredMode& mode = run.Mode();
        const std::intptr_t result =
            mode.msgproc(event.message, event.displayId, event.packedSize, reinterpret_cast<std::intptr_t>(host.world.focus));
        const std::string line = "msgproc " + std::to_string(event.message) + " " + std::to_string(event.displayId) +
                                 " " + Hex(event.packedSize) + " -> " + std::to_string(result);
        TraceLine([&] { return "call " + line; });
        run.MessageAnswered(line);
        // What the open message gives is a display the host now owns; with
        // no display to show it on, the host deletes it at once.
        if (event.message == kOpenMessage && result != 0) {
            TraceLine([] { return std::string("delete the display given for message 1"); });
            delete reinterpret_cast<MFD*>(result);
        }
        break;
    }
    case Action::Files:
        host.files.SetFailing(event.filesFail);
        TraceLine([&] { return std::string("files ") + (event.filesFail ? "fail" : "ok"); });
        break;
    }
}
