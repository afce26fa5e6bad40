// A redrawn display as a user would see it: the draw log, an SVG picture and
// a text picture for the run's summary. The pictures show the display inside
// its bezel (Bezel.h) when the redraw read one.
#pragma once

#include "kestrel-host/pictures/Canvas.h"
#include "kestrel-host/simulator/Displays.h"

#include <string>

std::string DrawLogText(const Canvas& canvas);
// The bezel in dark grey with the button labels in white; inside it the
// display, in its own coordinates shifted by one label column (a
// translated group, clipped to the display): black background, the title
// at the top left in white, each text in its colour (COLORREF 0x00BBGGRR)
// with its top at the y passed.
std::string SnapshotSvg(const Canvas& canvas, const MfdGeometry& geometry);
// The display on a grid of character cells, framed, at most
// kTextPictureColumns by kTextPictureRows of them (a note says when the
// display has more); the button labels beside the frame at their buttons'
// rows; the button menu below.
std::string SnapshotText(const Canvas& canvas, const MfdGeometry& geometry);
constexpr std::size_t kTextPictureColumns = 160;
constexpr std::size_t kTextPictureRows = 80;
// "#RRGGBB" of a COLORREF.
std::string CssColor(COLORREF color);
// The module's texts are single bytes in the Windows ANSI code page
// (Windows-1252). As XML character data: printable ASCII as it is (with &,
// <, > and " as entities); each byte from 0x80 as a character reference to
// its Windows-1252 character (0xE9 is &#xE9;, 0x80 is &#x20AC;, the euro
// sign); control bytes (below 0x20, and 0x7F) and the five bytes Windows-1252
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) as U+FFFD, the replacement
// character. The result is ASCII and well-formed whatever the bytes.
std::string XmlEscape(const std::string& text);
