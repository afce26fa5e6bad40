#include "kestrel-host/Flight.h"

#include "kestrel-host/Displays.h"
#include "kestrel-host/DrawSurface.h"
#include "kestrel-host/HostError.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <map>
#include <numbers>
#include <set>
#include <sstream>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// A value as a message shows it: written out when it is short, otherwise
// named by its kind. Writing out is recursive, so a deeply nested value
// (a million brackets) is never written out whole.
std::string Shown(const json& value)
{
    constexpr std::size_t kMostNodes = 16;
    constexpr std::size_t kMostCharacters = 80;
    // Count the nodes without recursion, up to one more than the most.
    std::vector<const json*> pending = {&value};
    std::size_t nodes = 0;
    while (!pending.empty() && nodes <= kMostNodes) {
        const json* node = pending.back();
        pending.pop_back();
        ++nodes;
        if (node->is_structured()) {
            for (auto it = node->begin(); it != node->end() && nodes + pending.size() <= kMostNodes; ++it) {
                pending.push_back(&*it);
            }
        }
    }
    nodes += pending.size();
    if (nodes <= kMostNodes) {
        std::string text = value.dump();
        if (text.size() <= kMostCharacters) {
            return text;
        }
        if (!value.is_structured()) {
            return text.substr(0, kMostCharacters - 3) + "...";
        }
    }
    return value.is_array() ? "a large array" : "a large object";
}

class Checker {
public:
    explicit Checker(const fs::path& file) : file_(file) {}

    [[noreturn]] void Fail(const std::string& where, const std::string& what) const
    {
        throw HostError(file_.string() + ": " + (where.empty() ? "" : where + ": ") + what);
    }

    double Number(const json& value, const std::string& where) const
    {
        if (!value.is_number()) {
            Fail(where, "expected a number, found " + Shown(value));
        }
        const double number = value.get<double>();
        if (!std::isfinite(number)) {
            Fail(where, "expected a finite number");
        }
        return number;
    }

    // long long: long has 32 bits on Windows, too few for the unsigned
    // 32-bit fields' range.
    long long Integer(const json& value, const std::string& where, long long low, long long high) const
    {
        if (!value.is_number_integer()) {
            Fail(where, "expected a whole number, found " + Shown(value));
        }
        const auto number = value.get<long long>();
        if (number < low || number > high) {
            Fail(where, "expected a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                            ", found " + Shown(value));
        }
        return number;
    }

    std::string String(const json& value, const std::string& where) const
    {
        if (!value.is_string()) {
            Fail(where, "expected a text, found " + Shown(value));
        }
        return value.get<std::string>();
    }

    const json& Object(const json& value, const std::string& where) const
    {
        if (!value.is_object()) {
            Fail(where, "expected an object, found " + Shown(value));
        }
        return value;
    }

    const json& Array(const json& value, const std::string& where) const
    {
        if (!value.is_array()) {
            Fail(where, "expected an array, found " + Shown(value));
        }
        return value;
    }

    void OnlyKeys(const json& object, const std::string& where, const std::set<std::string>& allowed) const
    {
        for (const auto& [key, value] : object.items()) {
            if (allowed.count(key) == 0) {
                std::string list;
                for (const std::string& a : allowed) {
                    list += (list.empty() ? "" : ", ") + a;
                }
                Fail(where, "unknown key '" + key + "' (expected: " + list + ")");
            }
        }
    }

    PitchTable Table(const json& value, const std::string& where, double factor) const
    {
        Array(value, where);
        if (value.empty()) {
            Fail(where, "a pitch table needs at least one [time, value] point");
        }
        PitchTable table;
        for (std::size_t i = 0; i < value.size(); ++i) {
            const std::string at = where + "[" + std::to_string(i) + "]";
            const json& point = value[i];
            if (!point.is_array() || point.size() != 2) {
                Fail(at, "expected a [time, value] point, found " + Shown(point));
            }
            const double t = Number(point[0], at + "[0]");
            const double v = Number(point[1], at + "[1]");
            if (!table.points.empty() && t <= table.points.back().first) {
                Fail(at, "pitch table times must increase");
            }
            table.points.emplace_back(t, factor == 1.0 ? v : v * factor);
        }
        return table;
    }

    VesselDefinition Vessel(const json& value, const std::string& where) const
    {
        Object(value, where);
        OnlyKeys(value, where, {"name", "pitch_deg", "pitch_rad"});
        if (!value.contains("name")) {
            Fail(where, "a vessel needs a 'name'");
        }
        VesselDefinition vessel;
        vessel.name = String(value["name"], where + ".name");
        if (vessel.name.empty() || vessel.name.size() > 255) {
            Fail(where + ".name", "a vessel name has 1 to 255 characters");
        }
        const bool deg = value.contains("pitch_deg");
        const bool rad = value.contains("pitch_rad");
        if (deg == rad) {
            Fail(where, "a vessel needs exactly one of 'pitch_deg' and 'pitch_rad'");
        }
        vessel.pitch = deg ? Table(value["pitch_deg"], where + ".pitch_deg", std::numbers::pi / 180.0)
                           : Table(value["pitch_rad"], where + ".pitch_rad", 1.0);
        return vessel;
    }

    std::string DisplayName(const json& value, const std::string& where) const
    {
        const std::string name = String(value, where);
        if (!DisplayIdOf(name)) {
            Fail(where, "unknown display '" + name + "' (known: " + KnownDisplayNames() + ")");
        }
        return name;
    }

    // width | height << 16 from 'packed_size' or 'width' and 'height'.
    std::uint32_t PackedSize(const json& event, const std::string& where, bool required) const
    {
        if (event.contains("packed_size")) {
            if (event.contains("width") || event.contains("height")) {
                Fail(where, "give either 'packed_size' or 'width' and 'height'");
            }
            return static_cast<std::uint32_t>(Integer(event["packed_size"], where + ".packed_size", 0, 0xFFFFFFFFL));
        }
        if (!event.contains("width") || !event.contains("height")) {
            if (required) {
                Fail(where, "'open' needs 'width' and 'height' (or 'packed_size')");
            }
            return 256u | (200u << 16);
        }
        const auto width = static_cast<std::uint32_t>(Integer(event["width"], where + ".width", 1, 0xFFFF));
        const auto height = static_cast<std::uint32_t>(Integer(event["height"], where + ".height", 1, 0xFFFF));
        return width | (height << 16);
    }

    std::vector<ScenarioBlock> ReadScenario(const fs::path& path, const std::string& where) const
    {
        // Only a plain file: a device or a pipe could be read for ever.
        std::error_code ec;
        std::ifstream in;
        if (fs::is_regular_file(path, ec)) {
            in.open(path, std::ios::binary);
        }
        if (!in.is_open()) {
            Fail(where, "cannot read the scenario file " + path.string());
        }
        std::ostringstream text;
        text << in.rdbuf();
        return ParseScenario(text.str(), path.string());
    }

private:
    fs::path file_;
};

const std::map<std::string, Action> kActions = {
    {"open", Action::Open},       {"display", Action::Button},          {"input", Action::Input},
    {"focus", Action::Focus},     {"add_vessel", Action::AddVessel},   {"remove_vessel", Action::RemoveVessel},
    {"close", Action::Close},     {"save", Action::Save},              {"load", Action::Load},
    {"snapshot", Action::Snapshot}, {"message", Action::Message},      {"files", Action::Files},
};

std::set<std::string> NameSet(const std::vector<ScenarioBlock>& blocks)
{
    std::set<std::string> names;
    for (const ScenarioBlock& block : blocks) {
        names.insert(block.display);
    }
    return names;
}

} // namespace

std::uint32_t ScanCodeOf(char selection)
{
    static const std::uint32_t letters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                              0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                              0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    if (selection >= 'a' && selection <= 'z') {
        selection = static_cast<char>(selection - 'a' + 'A');
    }
    if (selection >= 'A' && selection <= 'Z') {
        return letters[selection - 'A'];
    }
    if (selection >= '1' && selection <= '9') {
        return static_cast<std::uint32_t>(0x02 + (selection - '1'));
    }
    if (selection == '0') {
        return 0x0B;
    }
    return 0;
}

Flight LoadFlight(const fs::path& file, const fs::path& root)
{
    std::error_code ec;
    std::ifstream in;
    if (fs::is_regular_file(file, ec)) {
        in.open(file, std::ios::binary);
    }
    if (!in.is_open()) {
        throw HostError(file.string() + ": cannot read the flight file");
    }
    std::ostringstream text;
    text << in.rdbuf();
    return ParseFlight(text.str(), file, root);
}

Flight ParseFlight(const std::string& text, const fs::path& file, const fs::path& root)
{
    const Checker check(file);
    Flight flight;
    flight.file = file;

    json top;
    try {
        top = json::parse(text);
    } catch (const json::exception& e) {
        // Syntax errors, and numbers no double holds (1e999), which the
        // parser reports as out of range.
        throw HostError(file.string() + ": not valid JSON: " + e.what());
    }
    check.Object(top, "");
    check.OnlyKeys(top, "", {"clock_mjd", "vessels", "focus", "scenario", "steps", "events", "host_calls_exit", "version_calls"});

    if (top.contains("clock_mjd")) {
        flight.clockMjd = check.Number(top["clock_mjd"], "clock_mjd");
    }
    if (top.contains("host_calls_exit")) {
        if (!top["host_calls_exit"].is_boolean()) {
            check.Fail("host_calls_exit", "expected true or false");
        }
        flight.hostCallsExit = top["host_calls_exit"].get<bool>();
    }
    if (top.contains("version_calls")) {
        flight.versionCalls = static_cast<int>(check.Integer(top["version_calls"], "version_calls", 1, 1000));
    }

    std::set<std::string> vessels;
    if (top.contains("vessels")) {
        const json& list = check.Array(top["vessels"], "vessels");
        for (std::size_t i = 0; i < list.size(); ++i) {
            VesselDefinition vessel = check.Vessel(list[i], "vessels[" + std::to_string(i) + "]");
            if (!vessels.insert(vessel.name).second) {
                check.Fail("vessels[" + std::to_string(i) + "]", "a second vessel named '" + vessel.name + "'");
            }
            flight.vessels.push_back(std::move(vessel));
        }
    }
    if (top.contains("focus")) {
        const std::string focus = check.String(top["focus"], "focus");
        if (vessels.count(focus) == 0) {
            check.Fail("focus", "unknown vessel '" + focus + "'");
        }
        flight.focus = focus;
    } else if (!flight.vessels.empty()) {
        flight.focus = flight.vessels.front().name;
    }

    const fs::path folder = file.parent_path();
    std::set<std::string> open;
    if (top.contains("scenario")) {
        flight.scenario = (folder / fs::path(check.String(top["scenario"], "scenario"))).lexically_normal();
        flight.scenarioBlocks = check.ReadScenario(*flight.scenario, "scenario");
        open = NameSet(flight.scenarioBlocks);
    }

    if (top.contains("steps")) {
        const json& list = check.Array(top["steps"], "steps");
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string where = "steps[" + std::to_string(i) + "]";
            check.Object(list[i], where);
            check.OnlyKeys(list[i], where, {"dt", "count"});
            if (!list[i].contains("dt") || !list[i].contains("count")) {
                check.Fail(where, "a run of steps needs 'dt' and 'count'");
            }
            StepRun run;
            run.dt = check.Number(list[i]["dt"], where + ".dt");
            if (run.dt < 0) {
                check.Fail(where + ".dt", "a step length cannot be negative");
            }
            run.count = check.Integer(list[i]["count"], where + ".count", 0, 100000000);
            flight.totalSteps += run.count;
            if (flight.totalSteps > 100000000) {
                check.Fail(where, "more than 100000000 steps in all");
            }
            flight.steps.push_back(run);
        }
    }

    // Play the events through on paper: which displays are open and which
    // vessels exist at each one, so the run cannot trip on a name.
    std::map<fs::path, std::set<std::string>> saved; // scenario files saved so far
    if (top.contains("events")) {
        const json& list = check.Array(top["events"], "events");
        long lastStep = 0;
        for (std::size_t i = 0; i < list.size(); ++i) {
            std::string where = "events[" + std::to_string(i) + "]";
            const json& e = check.Object(list[i], where);
            Event event;
            event.index = i;
            if (!e.contains("step")) {
                check.Fail(where, "an event needs a 'step'");
            }
            event.step = check.Integer(e["step"], where + ".step", 0, flight.totalSteps);
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
                        keys += (keys.empty() ? "'" : ", '") + key + "'";
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
                if (open.count(name) == 0) {
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
                open.insert(event.display);
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
                        check.Fail(where + ".menu", "expected one letter or digit, found '" + menu + "'");
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
                if (vessels.count(event.vessel) == 0) {
                    check.Fail(at, "unknown vessel '" + event.vessel + "'");
                }
                if (event.action == Action::RemoveVessel) {
                    vessels.erase(event.vessel);
                }
                break;
            case Action::AddVessel:
                check.OnlyKeys(e, where, {"step", "add_vessel"});
                event.newVessel = check.Vessel(value, at);
                if (!vessels.insert(event.newVessel.name).second) {
                    check.Fail(at, "a vessel named '" + event.newVessel.name + "' exists already");
                }
                break;
            case Action::Close:
                check.OnlyKeys(e, where, {"step", "close"});
                event.display = check.DisplayName(value, at);
                requireOpen(event.display);
                open.erase(event.display);
                break;
            case Action::Save:
                check.OnlyKeys(e, where, {"step", "save"});
                event.path = check.String(value, at);
                if (event.path.empty()) {
                    check.Fail(at, "an empty path");
                }
                saved[(root / event.path).lexically_normal()] = open;
                break;
            case Action::Load: {
                check.OnlyKeys(e, where, {"step", "load"});
                event.path = (folder / fs::path(check.String(value, at))).lexically_normal();
                const auto earlier = saved.find(event.path);
                if (earlier != saved.end()) {
                    open = earlier->second; // read at run time, as saved
                } else {
                    event.scenario = check.ReadScenario(event.path, at);
                    open = NameSet(event.scenario);
                }
                break;
            }
            case Action::Snapshot:
                check.OnlyKeys(e, where, {"step", "snapshot", "svg", "log", "bmp"});
                event.display = check.DisplayName(value, at);
                requireOpen(event.display);
                if (e.contains("svg")) {
                    event.svg = check.String(e["svg"], where + ".svg");
                }
                if (e.contains("log")) {
                    event.log = check.String(e["log"], where + ".log");
                }
                if (e.contains("bmp")) {
                    event.bmp = check.String(e["bmp"], where + ".bmp");
                    if (!DrawSurface::HasPixels()) {
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
                    check.Fail(at, "expected \"fail\" or \"ok\", found '" + state + "'");
                }
                event.filesFail = state == "fail";
                break;
            }
            default:
                break;
            }
            flight.events.push_back(std::move(event));
        }
    }
    return flight;
}
