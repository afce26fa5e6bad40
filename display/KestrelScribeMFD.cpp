// Construction, destruction and the redraw of the display mode.
#include "display/KestrelScribeMFD.h"

#include "display/LiveDisplays.h"
#include "module/ModuleEntry.h"
#include "recorder/RecorderState.h"
#include "text/FormatText.h"

#include <cstring>

namespace {

constexpr COLORREF kLabelColour = 0x33FF33; // light green (0x00BBGGRR)
constexpr COLORREF kValueColour = 0x33FFFF; // yellow

// ch × factor in double precision, truncated toward zero; held within int
// for character cells no real display has.
int Scaled(DWORD cell, double factor)
{
    const double y = static_cast<double>(cell) * factor;
    return y < 2147483647.0 ? static_cast<int>(y) : 2147483647;
}

void DrawText(HDC hdc, int x, int y, const char* text)
{
    TextOutA(hdc, x, y, text, static_cast<int>(std::strlen(text)));
}

// Formats one value row into a 256-byte buffer and draws it; a text that
// does not fit is drawn cut at 255 characters.
template <typename... Args>
void DrawFormatted(HDC hdc, int x, int y, const char* format, Args... args)
{
    char text[256];
    std::size_t length = FormatText(text, sizeof text, format, args...);
    if (length > sizeof text - 1) {
        length = sizeof text - 1;
    }
    TextOutA(hdc, x, y, text, static_cast<int>(length));
}

} // namespace

KestrelScribeMFD::KestrelScribeMFD(DWORD width, DWORD height, VESSEL* vesselPointer, DWORD /*displayId*/)
    : MFD(width, height, vesselPointer)
{
    // A new display records the vessel the user is flying. With no object
    // in focus there is no name to take; the recorder keeps its vessel.
    if (const OBJHANDLE focus = oapiGetFocusObject(); focus != nullptr) {
        oapiGetObjectName(focus, recorder.vesselName, sizeof recorder.vesselName);
        recorder.vesselName[sizeof recorder.vesselName - 1] = '\0';
    }
    // The data folder; that it may exist already is fine.
    CreateDirectoryA(".\\KestrelScribeData", nullptr);
    AddLiveDisplay(this);
}

KestrelScribeMFD::~KestrelScribeMFD()
{
    RemoveLiveDisplay(this);
}

void KestrelScribeMFD::Redraw(HDC hdc)
{
    SelectDefaultFont(hdc, 0);
    Title(hdc, kModeName);
    SelectDefaultFont(hdc, 0);

    SetTextColor(hdc, kLabelColour);
    const DWORD ch = charHeight;
    const int x = Scaled(charWidth, 0.5);
    DrawText(hdc, x, Scaled(ch, 2.7), "Record Pitch");
    DrawText(hdc, x, Scaled(ch, 9.3), "Sample Interval");
    DrawText(hdc, x, static_cast<int>(6u * ch), "Vessel");
    if (recorder.recording == 0) {
        DrawFormatted(hdc, x, Scaled(ch, 3.7), "%s", "Off");
    }
    SetTextColor(hdc, kValueColour);
    if (recorder.recording == 1) {
        DrawFormatted(hdc, x, Scaled(ch, 3.7), "%s", "On");
    }
    DrawFormatted(hdc, x, static_cast<int>(7u * ch), "%s", static_cast<const char*>(recorder.vesselName));
    DrawFormatted(hdc, x, Scaled(ch, 10.3), "%0.1f Seconds", recorder.interval);
    // The last two rows are placed from the bottom edge, six and five rows
    // above it; on a very small display the 32-bit arithmetic takes them
    // above the top (negative y).
    DrawFormatted(hdc, x, static_cast<int>(displayHeight - 6u * ch - 2u), "Time  %0.1f", recorder.lastTime);
    DrawFormatted(hdc, x, static_cast<int>(displayHeight - 5u * ch - 2u), "Pitch %0.1f", recorder.lastPitch);
}
