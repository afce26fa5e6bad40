#include "display/LiveDisplays.h"

#include <algorithm>
#include <vector>

namespace {

// Displays are few (one per multi-function display showing the mode).
std::vector<const KestrelScribeMFD*>& Displays()
{
    static std::vector<const KestrelScribeMFD*> displays;
    return displays;
}

} // namespace

void AddLiveDisplay(const KestrelScribeMFD* display)
{
    Displays().push_back(display);
}

void RemoveLiveDisplay(const KestrelScribeMFD* display)
{
    auto& displays = Displays();
    displays.erase(std::remove(displays.begin(), displays.end(), display), displays.end());
}

KestrelScribeMFD* FindLiveDisplay(const void* address)
{
    for (const KestrelScribeMFD* display : Displays()) {
        if (display == address) {
            return const_cast<KestrelScribeMFD*>(display);
        }
    }
    return nullptr;
}
