#include "kestrel-host/flight/FlightChecker.h"

#include "kestrel-host/common/HostError.h"
#include "kestrel-host/common/HostText.h"
#include "kestrel-host/flight/DisplayNames.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace fs = std::filesystem;
using nlohmann::json;

// Writing a value out is recursive, so a deeply nested one (a million
// brackets) is never written out whole.
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
        // A text's bytes from 0x80 are written as they are: they are shown
        // escaped, as any byte outside printable ASCII.
        const std::string text = value.dump();
        if (text.size() <= kMostCharacters) {
            return Printable(text, kMostCharacters);
        }
        if (!value.is_structured()) {
            return Printable(text.substr(0, kMostCharacters - 3), kMostCharacters) + "...";
        }
    }
    return value.is_array() ? "a large array" : "a large object";
}

void FlightChecker::Fail(const std::string& where, const std::string& what) const
{
    throw HostError(file_.string() + ": " + (where.empty() ? "" : where + ": ") + what);
}

json FlightChecker::Parse(const std::string& text) const
{
    // The parser takes a NUL byte for the end of the input; JSON holds none
    // (not even in a string, where it is written \u0000).
    if (const std::size_t nul = text.find('\0'); nul != std::string::npos) {
        const std::size_t lineStart = text.rfind('\n', nul) == std::string::npos ? 0 : text.rfind('\n', nul) + 1;
        const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(nul), '\n');
        throw HostError(file_.string() + ": not valid JSON: a NUL character (\\x00) at line " + std::to_string(line) +
                        ", column " + std::to_string(nul - lineStart + 1) + ", which JSON never holds");
    }
    // Where the parser stands: a frame per open object or array. Objects
    // keep their keys so far; a frame is small, as a flight may nest deep.
    struct Frame {
        bool array = false;
        std::size_t elements = 0; // array: elements begun so far
        std::size_t object = 0;   // object: its slot in `keys` and `lastKey`
    };
    std::vector<Frame> frames;
    std::vector<std::set<std::string>> keys;
    std::vector<std::string> lastKey;
    auto where = [&] {
        std::string path;
        for (std::size_t i = 0; i + 1 < frames.size(); ++i) {
            const Frame& frame = frames[i];
            path += frame.array ? "[" + std::to_string(frame.elements - 1) + "]"
                                : (path.empty() ? "" : ".") + lastKey[frame.object];
        }
        return path;
    };
    using Parsed = json::parse_event_t;
    const json::parser_callback_t callback = [&](int /*depth*/, Parsed event, json& parsed) {
        if ((event == Parsed::object_start || event == Parsed::array_start || event == Parsed::value) && !frames.empty() &&
            frames.back().array) {
            ++frames.back().elements;
        }
        switch (event) {
        case Parsed::object_start:
            frames.push_back(Frame{false, 0, keys.size()});
            keys.emplace_back();
            lastKey.emplace_back();
            break;
        case Parsed::array_start:
            frames.push_back(Frame{true, 0, 0});
            break;
        case Parsed::key: {
            const std::string key = parsed.get<std::string>();
            if (!keys.back().insert(key).second) {
                Fail(where(), "the key " + Quoted(key) + " is given twice");
            }
            lastKey.back() = key;
            break;
        }
        case Parsed::object_end:
            keys.pop_back();
            lastKey.pop_back();
            frames.pop_back();
            break;
        case Parsed::array_end:
            frames.pop_back();
            break;
        case Parsed::value:
            break;
        }
        return true;
    };
    return json::parse(text, callback);
}

double FlightChecker::Number(const json& value, const std::string& where) const
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

long long FlightChecker::Integer(const json& value, const std::string& where, long long low, long long high) const
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

std::string FlightChecker::String(const json& value, const std::string& where) const
{
    if (!value.is_string()) {
        Fail(where, "expected a text, found " + Shown(value));
    }
    return value.get<std::string>();
}

const json& FlightChecker::Object(const json& value, const std::string& where) const
{
    if (!value.is_object()) {
        Fail(where, "expected an object, found " + Shown(value));
    }
    return value;
}

const json& FlightChecker::Array(const json& value, const std::string& where) const
{
    if (!value.is_array()) {
        Fail(where, "expected an array, found " + Shown(value));
    }
    return value;
}

void FlightChecker::OnlyKeys(const json& object, const std::string& where, const std::set<std::string>& allowed) const
{
    for (const auto& [key, value] : object.items()) {
        if (allowed.count(key) == 0) {
            std::string list;
            for (const std::string& a : allowed) {
                list += (list.empty() ? "" : ", ") + a;
            }
            Fail(where, "unknown key " + Quoted(key) + " (expected: " + list + ")");
        }
    }
}

PitchPoints FlightChecker::Table(const json& value, const std::string& where, double factor) const
{
    Array(value, where);
    if (value.empty()) {
        Fail(where, "a pitch table needs at least one [time, value] point");
    }
    PitchPoints points;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const std::string at = where + "[" + std::to_string(i) + "]";
        const json& point = value[i];
        if (!point.is_array() || point.size() != 2) {
            Fail(at, "expected a [time, value] point, found " + Shown(point));
        }
        const double t = Number(point[0], at + "[0]");
        const double v = Number(point[1], at + "[1]");
        if (!points.empty() && t <= points.back().first) {
            Fail(at, "pitch table times must increase");
        }
        points.emplace_back(t, factor == 1.0 ? v : v * factor);
    }
    return points;
}

VesselDefinition FlightChecker::Vessel(const json& value, const std::string& where) const
{
    Object(value, where);
    OnlyKeys(value, where, {"name", "pitch_deg", "pitch_rad"});
    if (!value.contains("name")) {
        Fail(where, "a vessel needs a 'name'");
    }
    VesselDefinition vessel;
    // Any length and any bytes, as the simulator's names; but a NUL would
    // end the name in every text the host hands over, so no lookup could
    // find that vessel.
    vessel.name = String(value["name"], where + ".name");
    if (vessel.name.empty()) {
        Fail(where + ".name", "a vessel name needs at least one character");
    }
    if (vessel.name.find('\0') != std::string::npos) {
        Fail(where + ".name", "the vessel name " + Shown(value["name"]) + " holds a NUL character, which ends a name");
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

std::string FlightChecker::DisplayName(const json& value, const std::string& where) const
{
    const std::string name = String(value, where);
    if (!DisplayIdOf(name)) {
        Fail(where, "unknown display " + Quoted(name) + " (known: " + KnownDisplayNames() + ")");
    }
    return name;
}

std::uint32_t FlightChecker::PackedSize(const json& event, const std::string& where, bool required) const
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
    const auto width = static_cast<std::uint32_t>(Integer(event["width"], where + ".width", 0, kLargestDisplaySize));
    const auto height = static_cast<std::uint32_t>(Integer(event["height"], where + ".height", 0, kLargestDisplaySize));
    return width | (height << 16);
}

std::vector<ScenarioBlock> FlightChecker::ReadScenario(const fs::path& path, const std::string& where) const
{
    try {
        return ReadScenarioFile(path);
    } catch (const HostError& e) {
        Fail(where, e.what()); // which names the scenario file, and its line
    }
}
