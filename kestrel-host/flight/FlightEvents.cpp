#include "kestrel-host/flight/FlightEvents.h"

#include "kestrel-host/common/HostText.h"
#include "kestrel-host/common/Platform.h"
#include "kestrel-host/flight/OutputPaths.h"
#include "kestrel-host/flight/ScanCodes.h"

#include <map>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const std::map<std::string, Action> kActions = {
    {"open", Action::Open},       {"display", Action::Button},          {"input", Action::Input},
    {"focus", Action::Focus},     {"add_vessel", Action::AddVessel},   {"remove_vessel", Action::RemoveVessel},
    {"close", Action::Close},     {"save", Action::Save},              {"load", Action::Load},
    {"snapshot", Action::Snapshot}, {"message", Action::Message},      {"files", Action::Files},
};

// An output path (save, svg, log, bmp): where it leads as the root stands
// before the run, and against the run's other paths: no input of the run,
// no other output, and neither the folder of another output nor inside one.
// `kind` may be written again (a scenario saved anew, a newer picture).
fs::path OutputPath(const json& value, const std::string& where, const std::string& kind, const FlightChecker& check,
                    FlightPaper& paper)
{
    const fs::path path(check.String(value, where));
    if (const auto problem = OutputPathProblem(path, paper.root)) {
        check.Fail(where, *problem);
    }
    if (const auto problem = paper.paths.Output(paper.root / path.lexically_normal(), path.generic_string(), where, kind)) {
        check.Fail(where, *problem);
    }
    return path;
}

} // namespace

fs::path InputPath(const json& value, const std::string& where, const FlightChecker& check, FlightPaper& paper)
{
    const std::string text = check.String(value, where);
    if (const auto problem = PathTextProblem(text)) {
        check.Fail(where, *problem);
    }
    const fs::path path = (paper.folder / fs::path(text)).lexically_normal();
    if (const auto problem = paper.paths.Input(path, text, where)) {
        check.Fail(where, *problem);
    }
    return path;
}

std::set<std::string> DisplayNamesOf(const std::vector<ScenarioBlock>& blocks)
{
    std::set<std::string> names;
    for (const ScenarioBlock& block : blocks) {
        names.insert(block.display);
    }
    return names;
}

std::vector<Event> ReadEvents(const json& list, const FlightChecker& check, FlightPaper& paper)
{
    std::vector<Event> events;
    long lastStep = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        std::string where = "events[" + std::to_string(i) + "]";
        const json& e = check.Object(list[i], where);
        Event event;
        event.index = i;
        if (!e.contains("step")) {
            check.Fail(where, "an event needs a 'step'");
        }
        event.step = check.Integer(e["step"], where + ".step", 0, paper.totalSteps);
        where += " (step " + std::to_string(event.step) + ")";
        if (event.step < lastStep) {
            check.Fail(where, "events out of order: step " + std::to_string(event.step) + " comes after step " +
                                  std::to_string(lastStep));
        }
        lastStep = event.step;

        std::string action;
        for (const auto& [key, value] : e.items()) {
            if (kActions.count(key) != 0) {
                if (!action.empty()) {
                    check.Fail(where, "two actions, '" + action + "' and '" + key + "'");
                }
                action = key;
            }
        }
        if (action.empty()) {
            std::string keys;
            for (const auto& [key, value] : e.items()) {
                if (key != "step") {
                    keys += (keys.empty() ? "" : ", ") + Quoted(key);
                }
            }
            check.Fail(where, keys.empty() ? std::string("no action")
                                           : "unknown action " + keys +
                                                 " (known: open, display, input, focus, add_vessel, remove_vessel, "
                                                 "close, save, load, snapshot, message, files)");
        }
        event.action = kActions.at(action);
        const json& value = e[action];
        const std::string at = where + "." + action;
        auto requireOpen = [&](const std::string& name) {
            if (paper.open.count(name) == 0) {
                check.Fail(at, "display '" + name + "' is not open");
            }
        };
        switch (event.action) {
        case Action::Open: {
            check.OnlyKeys(e, where, {"step", "open", "width", "height", "packed_size", "char_width", "char_height"});
            event.display = check.DisplayName(value, at);
            event.packedSize = check.PackedSize(e, where, true);
            // 0 is allowed: a font with no size is a case the display must survive.
            if (e.contains("char_width")) {
                event.charWidth = static_cast<std::uint32_t>(check.Integer(e["char_width"], where + ".char_width", 0, 0xFFFF));
            }
            if (e.contains("char_height")) {
                event.charHeight = static_cast<std::uint32_t>(check.Integer(e["char_height"], where + ".char_height", 0, 0xFFFF));
            }
            paper.open.insert(event.display);
            break;
        }
        case Action::Button: {
            check.OnlyKeys(e, where, {"step", "display", "button", "flags", "key", "menu"});
            event.display = check.DisplayName(value, at);
            requireOpen(event.display);
            const int kinds = int(e.contains("button")) + int(e.contains("key")) + int(e.contains("menu"));
            if (kinds != 1) {
                check.Fail(where, "'display' needs exactly one of 'button', 'key' and 'menu'");
            }
            if (e.contains("flags") && !e.contains("button")) {
                check.Fail(where, "'flags' goes with 'button'");
            }
            if (e.contains("button")) {
                event.button = static_cast<int>(check.Integer(e["button"], where + ".button", 0, 1000));
                if (e.contains("flags")) {
                    event.flags = static_cast<int>(check.Integer(e["flags"], where + ".flags", 0, 0x7FFFFFFF));
                }
            } else if (e.contains("key")) {
                event.action = Action::Key;
                event.key = static_cast<std::uint32_t>(check.Integer(e["key"], where + ".key", 0, 0xFFFF));
            } else {
                event.action = Action::Menu;
                const std::string menu = check.String(e["menu"], where + ".menu");
                if (menu.size() != 1 || ScanCodeOf(menu[0]) == 0) {
                    check.Fail(where + ".menu", "expected one letter or digit, found " + Quoted(menu));
                }
                event.menu = menu[0];
            }
            break;
        }
        case Action::Input:
            check.OnlyKeys(e, where, {"step", "input"});
            if (!value.is_null()) {
                event.input = check.String(value, at);
            }
            break;
        case Action::Focus:
        case Action::RemoveVessel:
            check.OnlyKeys(e, where, {"step", action});
            event.vessel = check.String(value, at);
            if (paper.vessels.count(event.vessel) == 0) {
                check.Fail(at, "unknown vessel " + Quoted(event.vessel));
            }
            if (event.action == Action::RemoveVessel) {
                paper.vessels.erase(event.vessel);
            }
            break;
        case Action::AddVessel:
            check.OnlyKeys(e, where, {"step", "add_vessel"});
            event.newVessel = check.Vessel(value, at);
            if (!paper.vessels.insert(event.newVessel.name).second) {
                check.Fail(at, "a vessel named " + Quoted(event.newVessel.name) + " exists already");
            }
            break;
        case Action::Close:
            check.OnlyKeys(e, where, {"step", "close"});
            event.display = check.DisplayName(value, at);
            requireOpen(event.display);
            paper.open.erase(event.display);
            break;
        case Action::Save:
            check.OnlyKeys(e, where, {"step", "save"});
            event.path = OutputPath(value, at, "scenario", check, paper);
            paper.saved[(paper.root / event.path).lexically_normal()] = paper.open;
            break;
        case Action::Load: {
            check.OnlyKeys(e, where, {"step", "load"});
            event.path = InputPath(value, at, check, paper);
            const auto earlier = paper.saved.find(event.path);
            if (earlier != paper.saved.end()) {
                paper.open = earlier->second; // read at run time, as saved
            } else {
                // Read again when the event runs: only its displays are kept.
                paper.open = DisplayNamesOf(check.ReadScenario(event.path, at));
            }
            break;
        }
        case Action::Snapshot:
            check.OnlyKeys(e, where, {"step", "snapshot", "svg", "log", "bmp"});
            event.display = check.DisplayName(value, at);
            requireOpen(event.display);
            if (e.contains("svg")) {
                event.svg = OutputPath(e["svg"], where + ".svg", "svg", check, paper);
            }
            if (e.contains("log")) {
                event.log = OutputPath(e["log"], where + ".log", "log", check, paper);
            }
            if (e.contains("bmp")) {
                event.bmp = OutputPath(e["bmp"], where + ".bmp", "bmp", check, paper);
                if (!kDrawsPixels) {
                    check.Fail(where + ".bmp", "a BMP snapshot needs the Windows build of kestrel-host, which "
                                               "draws with GDI; this build only records the drawing calls");
                }
            }
            if (event.svg.empty() && event.log.empty() && event.bmp.empty()) {
                check.Fail(where, "'snapshot' needs 'svg', 'log' or 'bmp' (a file name)");
            }
            break;
        case Action::Message:
            check.OnlyKeys(e, where, {"step", "message", "display_id", "width", "height", "packed_size"});
            event.message = static_cast<std::uint32_t>(check.Integer(value, at, 0, 0xFFFFFFFFL));
            if (e.contains("display_id")) {
                event.displayId = static_cast<std::uint32_t>(check.Integer(e["display_id"], where + ".display_id", 0, 0xFFFFFFFFL));
            }
            event.packedSize = check.PackedSize(e, where, false);
            break;
        case Action::Files: {
            check.OnlyKeys(e, where, {"step", "files"});
            const std::string state = check.String(value, at);
            if (state != "fail" && state != "ok") {
                check.Fail(at, "expected \"fail\" or \"ok\", found " + Quoted(state));
            }
            event.filesFail = state == "fail";
            break;
        }
        default:
            break;
        }
        events.push_back(std::move(event));
    }
    return events;
}
