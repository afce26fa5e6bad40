// The record of a redraw: every drawing call made on a display's surface
// (DrawSurface.h), in call order, so that the display can be logged, drawn
// as SVG or as text.
#pragma once

#include "kestrel-host/pictures/Bezel.h"
#include "platform/WinApi.h"

#include <string>
#include <vector>

struct DrawCall {
    enum Kind { Title, Font, Color, Text } kind = Text;
    int x = 0;
    int y = 0;
    std::string text;     // Title, Text: the bytes passed
    COLORREF color = 0;   // Color: the value passed; Text: the colour in force
    unsigned font = 0;    // Font: the index
};

class Canvas {
public:
    // The module's two drawing calls, as it made them.
    COLORREF SetTextColor(COLORREF color);
    BOOL TextOut(int x, int y, const char* text, int length);
    // Called by the host's MFD::Title and MFD::SelectDefaultFont.
    void Title(const char* text);
    void Font(unsigned index);

    // The draw log: `title <text>`, `font <index>`, `color 0x%06X`,
    // `text <x> <y> <text>`, one line per call.
    std::vector<std::string> LogLines() const;

    std::vector<DrawCall> calls;
    // The labels and menu the host asked for with the redraw (none for a
    // redraw nobody sees); not part of the draw log.
    Bezel bezel;

private:
    // The text colour before the module sets one: the host's white.
    COLORREF color_ = 0xFFFFFF;
};
