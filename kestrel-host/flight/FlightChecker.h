// The checks a flight file's values go through: each failure is a HostError
// naming the file, where in it (such as "events[3] (step 40).open") and
// what is wrong.
#pragma once

#include "kestrel-host/flight/Flight.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

// A value as a message shows it: written out when it is short, otherwise
// named by its kind.
std::string Shown(const nlohmann::json& value);

class FlightChecker {
public:
    using json = nlohmann::json;
    explicit FlightChecker(const std::filesystem::path& file) : file_(file) {}

    [[noreturn]] void Fail(const std::string& where, const std::string& what) const;
    // The flight's JSON text. A key given twice in one object is bad input
    // (a plain parse would keep the last and drop the first unseen).
    // Syntax errors are json::exception.
    json Parse(const std::string& text) const;
    double Number(const json& value, const std::string& where) const;
    // long long: long has 32 bits on Windows, too few for the unsigned
    // 32-bit fields' range.
    long long Integer(const json& value, const std::string& where, long long low, long long high) const;
    std::string String(const json& value, const std::string& where) const;
    const json& Object(const json& value, const std::string& where) const;
    const json& Array(const json& value, const std::string& where) const;
    void OnlyKeys(const json& object, const std::string& where, const std::set<std::string>& allowed) const;
    PitchPoints Table(const json& value, const std::string& where, double factor) const;
    VesselDefinition Vessel(const json& value, const std::string& where) const;
    std::string DisplayName(const json& value, const std::string& where) const;
    // width | height << 16 from 'packed_size' or 'width' and 'height'.
    std::uint32_t PackedSize(const json& event, const std::string& where, bool required) const;
    // Only a plain file is read, in bounded memory (ReadScenarioFile).
    std::vector<ScenarioBlock> ReadScenario(const std::filesystem::path& path, const std::string& where) const;

private:
    std::filesystem::path file_;
};
