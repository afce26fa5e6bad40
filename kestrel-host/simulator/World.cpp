#include "kestrel-host/simulator/World.h"

#include <algorithm>
#include <chrono>

Vessel* World::Add(const std::string& name, const PitchTable& pitch)
{
    vessels_.push_back(std::make_unique<Vessel>(Vessel{name, pitch}));
    return vessels_.back().get();
}

void World::Remove(const std::string& name)
{
    const auto it = std::find_if(vessels_.begin(), vessels_.end(), [&](const auto& v) { return v->name == name; });
    if (it == vessels_.end()) {
        return;
    }
    if (focus == it->get()) {
        focus = nullptr;
    }
    vessels_.erase(it);
}

Vessel* World::Find(const std::string& name) const
{
    for (const auto& v : vessels_) {
        if (v->name == name) {
            return v.get();
        }
    }
    return nullptr;
}

Vessel* World::FromHandle(const void* handle) const
{
    for (const auto& v : vessels_) {
        if (v.get() == handle) {
            return v.get();
        }
    }
    return nullptr;
}

std::string World::HandleText(const void* handle) const
{
    const Vessel* vessel = FromHandle(handle);
    if (vessel != nullptr) {
        return "'" + vessel->name + "'";
    }
    return handle == nullptr ? "null" : "(no such object)";
}

double World::SysMjd() const
{
    if (clockMjd) {
        return *clockMjd + t / 86400.0;
    }
    using namespace std::chrono;
    const double unixSeconds = duration<double>(system_clock::now().time_since_epoch()).count();
    return 40587.0 + unixSeconds / 86400.0; // MJD 40587 is 1970-01-01
}
