// The device context the host hands to Redraw: a surface the size of the
// display, made for one redraw.
//
// Every drawing call made on it, the module's colours and texts as well as
// the host's own title and font choices, is recorded in a Canvas for the draw
// log, the SVG picture and the run's summary. On Windows the surface is also
// a real GDI memory bitmap that those calls paint, and a snapshot can save it
// as a BMP file; elsewhere it is the record alone (kDrawsPixels in
// common/Platform.h tells which).
//
// The platform's half lives in posix/DrawSurface.cpp or windows/DrawSurface.cpp.
#pragma once

#include "kestrel-host/pictures/Canvas.h"
#include "kestrel-host/simulator/Displays.h"
#include "platform/WinApi.h"

#include <memory>
#include <string>

class DrawSurface {
public:
    // Black, with the host's white as the text colour. Throws HostError when
    // the platform cannot make a surface of that size.
    explicit DrawSurface(const MfdGeometry& geometry);
    ~DrawSurface();
    DrawSurface(const DrawSurface&) = delete;
    DrawSurface& operator=(const DrawSurface&) = delete;

    HDC Hdc() const;
    const Canvas& Calls() const { return canvas_; }
    // Where the module's drawing calls are recorded as they reach the surface.
    Canvas& Calls() { return canvas_; }

    // The host's side of drawing (MFD::Title, MFD::SelectDefaultFont): the
    // title in white at the top left; one fixed-pitch font the size of the
    // character cell, whatever the index.
    void Title(const char* text);
    HFONT SelectFont(unsigned index);

    // The picture as a BMP file: 32 bits per pixel, bottom row first.
    // Throws HostError where surfaces have no pixels.
    std::string Bitmap() const;

    // The surface a device context belongs to; null for any other.
    static DrawSurface* Of(HDC hdc);
    // Makes the module's own SetTextColor and TextOutA calls reach the record
    // of the surface they draw on; called once the module is loaded. On
    // Windows they go straight to GDI, so the module's two gdi32 imports are
    // pointed at recording wrappers (windows/DrawCapture.cpp); elsewhere they
    // are ours and reach it already.
    static void CaptureModuleCalls(void* module);
    // Whether they reach it: always, but on Windows only once both imports
    // were found and pointed at the wrappers.
    static bool SeesModuleCalls();

private:
    static void Enlist(DrawSurface* surface);
    static void Delist(DrawSurface* surface);

    struct Native;
    MfdGeometry geometry_;
    Canvas canvas_;
    std::unique_ptr<Native> native_;
};
