#include "kestrel-host/flight/FlightLoader.h"

#include "kestrel-host/common/HostError.h"
#include "kestrel-host/common/HostText.h"
#include "kestrel-host/flight/FlightChecker.h"
#include "kestrel-host/flight/FlightEvents.h"
#include "kestrel-host/flight/PlainFile.h"

#include <nlohmann/json.hpp>

#include <numbers>
#include <set>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// The parser's message, with the piece of the flight it quotes (between its
// first and last single quote: a token, which may be the whole rest of the
// file) quoted as every message quotes input.
std::string ParserMessage(std::string_view what)
{
    const std::size_t open = what.find('\'');
    const std::size_t close = what.rfind('\'');
    if (open == std::string_view::npos || close == open) {
        return Printable(what, what.size());
    }
    return Printable(what.substr(0, open), open) + Quoted(what.substr(open + 1, close - open - 1)) +
           Printable(what.substr(close + 1), what.size());
}

} // namespace

Flight LoadFlight(const fs::path& file, const fs::path& root, RunPaths paths)
{
    std::string problem;
    const std::optional<std::string> text = ReadPlainFile(file, kMostFlightBytes, problem);
    if (!text) {
        throw HostError(file.string() + ": cannot read the flight file: " + problem);
    }
    return ParseFlight(*text, file, root, std::move(paths));
}

Flight ParseFlight(const std::string& text, const fs::path& file, const fs::path& root, RunPaths paths)
{
    const FlightChecker check(file);
    Flight flight;
    flight.file = file;

    json top;
    try {
        top = check.Parse(text);
    } catch (const json::exception& e) {
        // Syntax errors, and numbers no double holds (1e999), which the
        // parser reports as out of range.
        throw HostError(file.string() + ": not valid JSON: " + ParserMessage(e.what()));
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

    FlightPaper paper;
    paper.folder = file.parent_path();
    paper.root = root;
    paper.paths = std::move(paths);
    std::set<std::string>& vessels = paper.vessels;
    if (top.contains("vessels")) {
        const json& list = check.Array(top["vessels"], "vessels");
        for (std::size_t i = 0; i < list.size(); ++i) {
            VesselDefinition vessel = check.Vessel(list[i], "vessels[" + std::to_string(i) + "]");
            if (!vessels.insert(vessel.name).second) {
                check.Fail("vessels[" + std::to_string(i) + "]", "a second vessel named " + Quoted(vessel.name));
            }
            flight.vessels.push_back(std::move(vessel));
        }
    }
    if (top.contains("focus")) {
        const std::string focus = check.String(top["focus"], "focus");
        if (vessels.count(focus) == 0) {
            check.Fail("focus", "unknown vessel " + Quoted(focus));
        }
        flight.focus = focus;
    } else if (!flight.vessels.empty()) {
        flight.focus = flight.vessels.front().name;
    }

    if (top.contains("scenario")) {
        flight.scenario = InputPath(top["scenario"], "scenario", check, paper);
        flight.scenarioBlocks = check.ReadScenario(*flight.scenario, "scenario");
        paper.open = DisplayNamesOf(flight.scenarioBlocks);
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

    paper.totalSteps = flight.totalSteps;
    if (top.contains("events")) {
        flight.events = ReadEvents(check.Array(top["events"], "events"), check, paper);
    }
    flight.inputs = paper.paths.Inputs();
    return flight;
}
