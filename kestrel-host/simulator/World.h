// The objects the host simulates (vessels with a name and a pitch table),
// the one with the input focus, simulated time and the computer clock.
#pragma once

#include "kestrel-host/simulator/PitchTable.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct Vessel {
    std::string name;
    PitchTable pitch;
};

class World {
public:
    Vessel* Add(const std::string& name, const PitchTable& pitch);
    // Removing the focus vessel leaves no vessel with the focus.
    void Remove(const std::string& name);
    Vessel* Find(const std::string& name) const;
    // The vessel behind a handle the module passes back; null if it names none
    // (the handle is compared, never followed).
    Vessel* FromHandle(const void* handle) const;
    // The object behind a handle as the trace names it: 'name', null, or
    // (no such object).
    std::string HandleText(const void* handle) const;

    Vessel* focus = nullptr;
    double t = 0.0;                   // simulated time, seconds
    std::optional<double> clockMjd;   // the clock at t = 0; none: the real clock

    // The computer clock as a Modified Julian Date.
    double SysMjd() const;

private:
    std::vector<std::unique_ptr<Vessel>> vessels_;
};
