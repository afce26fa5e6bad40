#include "kestrel-host/pictures/DrawSurface.h"

#include <algorithm>
#include <vector>

namespace {

// The surfaces alive now: at most a few, as the host redraws one display at
// a time.
std::vector<DrawSurface*>& Live()
{
    static std::vector<DrawSurface*> live;
    return live;
}

} // namespace

DrawSurface* DrawSurface::Of(HDC hdc)
{
    if (hdc == nullptr) {
        return nullptr;
    }
    for (DrawSurface* surface : Live()) {
        if (surface->Hdc() == hdc) {
            return surface;
        }
    }
    return nullptr;
}

void DrawSurface::Enlist(DrawSurface* surface)
{
    Live().push_back(surface);
}

void DrawSurface::Delist(DrawSurface* surface)
{
    std::erase(Live(), surface);
}
