#include "kestrel-host/simulator/Displays.h"

#include "kestrel-host/simulator/Trace.h"

#include <algorithm>

namespace {

// Reads the base class's protected members, as the host that owns the class does.
struct MfdReader : MFD {
    static MfdGeometry Read(const MFD* mfd)
    {
        return MfdGeometry{mfd->*(&MfdReader::displayWidth), mfd->*(&MfdReader::displayHeight),
                           mfd->*(&MfdReader::charWidth), mfd->*(&MfdReader::charHeight)};
    }
};

} // namespace

CharCell DerivedCharCell(std::uint32_t width, std::uint32_t height)
{
    return CharCell{std::max<std::uint32_t>(1, width / 32), std::max<std::uint32_t>(1, height / 20)};
}

MfdGeometry GeometryOf(const MFD* mfd)
{
    return MfdReader::Read(mfd);
}

OpenDisplay* Displays::Find(const std::string& name)
{
    for (auto& [id, display] : open_) {
        if (display.name == name) {
            return &display;
        }
    }
    return nullptr;
}

bool Displays::IsLive(const void* mfd) const
{
    return FindInstance(mfd) != nullptr;
}

const OpenDisplay* Displays::FindInstance(const void* mfd) const
{
    for (const auto& [id, display] : open_) {
        if (display.instance == mfd) {
            return &display;
        }
    }
    return nullptr;
}

void Displays::Add(OpenDisplay display)
{
    open_[display.id] = std::move(display);
}

void Displays::Close(const std::string& name)
{
    OpenDisplay* display = Find(name);
    if (display == nullptr) {
        return;
    }
    MFD* instance = display->instance;
    const std::uint32_t id = display->id;
    // `name` may be the display's own name, which goes with it.
    TraceLine([&] { return "delete " + name; });
    open_.erase(id);
    std::erase(invalidated, static_cast<const void*>(instance));
    delete instance; // through the virtual destructor
}

void Displays::CloseAll()
{
    while (!open_.empty()) {
        const std::string name = open_.begin()->second.name;
        Close(name);
    }
}

std::vector<OpenDisplay*> Displays::All()
{
    std::vector<OpenDisplay*> all;
    for (auto& [id, display] : open_) {
        all.push_back(&display);
    }
    return all;
}
