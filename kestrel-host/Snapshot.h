// A redrawn display as a user would see it: the draw log, an SVG picture and
// a text picture for the run's summary.
#pragma once

#include "kestrel-host/Canvas.h"
#include "kestrel-host/Displays.h"

#include <string>

std::string DrawLogText(const Canvas& canvas);
// Black background, the title at the top left in white, each text in its
// colour (COLORREF 0x00BBGGRR) with its top at the y passed.
std::string SnapshotSvg(const Canvas& canvas, const MfdGeometry& geometry);
// The display on a grid of character cells, framed.
std::string SnapshotText(const Canvas& canvas, const MfdGeometry& geometry);
// "#RRGGBB" of a COLORREF.
std::string CssColor(COLORREF color);
std::string XmlEscape(const std::string& text);
