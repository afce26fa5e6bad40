// The display base class (host/Mfd.h) as the host provides it, exported to
// the module: the constructor takes the char cell the host has ready for
// it, InvalidateDisplay asks for a redraw after the step. Its drawing (Title,
// SelectDefaultFont) is the draw surface's (pictures/DrawSurface.cpp); the
// defaults of its virtual operations are host/MfdDefaults.cpp.
#include "host/Mfd.h"
#include "kestrel-host/simulator/HostContext.h"
#include "kestrel-host/simulator/Trace.h"

#include <algorithm>
#include <string>

MFD::MFD(DWORD width, DWORD height, VESSEL* vesselPointer)
    : displayWidth(width), displayHeight(height), charWidth(0), charHeight(0), vessel(vesselPointer)
{
    Displays& displays = Host().displays;
    const CharCell cell = displays.pendingCell.value_or(DerivedCharCell(width, height));
    displays.pendingCell.reset();
    charWidth = cell.width;
    charHeight = cell.height;
    TraceLine([&] {
        return "MFD " + std::to_string(width) + "x" + std::to_string(height) + " cell " + std::to_string(charWidth) +
               "x" + std::to_string(charHeight) + " vessel " + Host().world.HandleText(vesselPointer);
    });
}

MFD::~MFD()
{
    TraceLine([&] { return std::string("~MFD"); });
}

void MFD::InvalidateDisplay()
{
    // `this` may be a display the host has deleted (an input box answered
    // after its display closed): it is only compared, never followed.
    Displays& displays = Host().displays;
    const OpenDisplay* display = displays.FindInstance(this);
    TraceLine([&] { return "InvalidateDisplay " + (display == nullptr ? std::string("(closed display)") : display->name); });
    if (display != nullptr &&
        std::find(displays.invalidated.begin(), displays.invalidated.end(), this) == displays.invalidated.end()) {
        displays.invalidated.push_back(this);
    }
}
