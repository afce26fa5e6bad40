// The drawing surface where the module's Windows calls are our own
// (platform/linux/Gdi.cpp): a device context is a DeviceContext, and this one
// records what reaches it. Nothing is drawn in pixels.
#include "kestrel-host/pictures/DrawSurface.h"

#include "kestrel-host/common/HostError.h"

struct DrawSurface::Native : DeviceContext {
    explicit Native(Canvas& record) : canvas(record) {}
    COLORREF SetTextColor(COLORREF color) override { return canvas.SetTextColor(color); }
    BOOL TextOut(int x, int y, const char* text, int length) override { return canvas.TextOut(x, y, text, length); }
    Canvas& canvas;
};

DrawSurface::DrawSurface(const MfdGeometry& geometry)
    : geometry_(geometry), native_(std::make_unique<Native>(canvas_))
{
    Enlist(this);
}

DrawSurface::~DrawSurface()
{
    Delist(this);
}

HDC DrawSurface::Hdc() const
{
    return native_.get();
}

void DrawSurface::Title(const char* text)
{
    canvas_.Title(text);
}

HFONT DrawSurface::SelectFont(unsigned index)
{
    canvas_.Font(index);
    return nullptr;
}

std::string DrawSurface::Bitmap() const
{
    throw HostError("a BMP snapshot needs the Windows build of kestrel-host, which draws with GDI");
}

void DrawSurface::CaptureModuleCalls(void* /*module*/)
{
}

bool DrawSurface::SeesModuleCalls()
{
    return true;
}
