#include "kestrel-host/pictures/DrawSurface.h"

#include "host/Mfd.h"

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

// The host's side of drawing in the display base class: what a mode's
// Redraw asks of the surface it was handed.
void MFD::Title(HDC hdc, const char* title) const
{
    if (DrawSurface* surface = DrawSurface::Of(hdc)) {
        surface->Title(title);
    }
}

HFONT MFD::SelectDefaultFont(HDC hdc, DWORD index) const
{
    DrawSurface* surface = DrawSurface::Of(hdc);
    return surface == nullptr ? nullptr : surface->SelectFont(index);
}
