// What the host shows around a display, as the simulator does: a column of
// six buttons down each side, each with the label the display mode gives it
// (MFD::ButtonText), and the button menu (MFD::ButtonMenuTable), which lists
// what the mode's keys do.
//
// The snapshots (SVG, BMP) and the run's summary draw the display inside
// this frame; the draw log records only the display's own drawing.
#pragma once

#include "kestrel-host/simulator/Displays.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Buttons 0 to 5 down the left side, top to bottom, then 6 to 11 down the right.
constexpr int kButtonCount = 12;
constexpr int kButtonsPerSide = 6;
// A label shows its first four characters; a menu line its first 40; the
// menu at most one entry per button.
constexpr std::size_t kLabelCharacters = 4;
constexpr std::size_t kMenuLineCharacters = 40;
constexpr int kMostMenuEntries = kButtonCount;

struct MenuLine {
    std::string line1, line2; // empty for a null text
    char selection = 0;
};

struct Bezel {
    bool read = false; // whether the host asked the display (snapshots and the summary do)
    std::array<std::optional<std::string>, kButtonCount> labels; // none: ButtonText gave null
    int menuCount = 0;                                          // as ButtonMenuTable returned it
    bool menuTable = false;                                     // whether it gave a table
    std::vector<MenuLine> menu;                                 // the entries read, at most kMostMenuEntries
};

// At most `most` bytes of a text the module hands over, read no further.
std::string BoundedText(const char* text, std::size_t most);

// Where things stand in a picture of the display with its bezel, in pixels.
// The display keeps its own coordinates, shifted right by one label column.
struct BezelLayout {
    std::int64_t column = 0;        // width of each label column: five character cells
    std::int64_t width = 0;         // the whole picture: the display and two columns
    std::int64_t height = 0;        // the display's height
    std::int64_t displayX = 0;      // where the display begins (its top is the picture's)
    // Button i's label: its text ends at anchorX (left side) or begins there
    // (right side), half a cell from the display, with its top at top[i] so
    // that it is centred on the button, which sits in the middle of its sixth
    // of the display's height.
    std::array<std::int64_t, kButtonCount> anchorX{};
    std::array<std::int64_t, kButtonCount> top{};
};
BezelLayout LayoutOf(const MfdGeometry& geometry);
inline bool OnLeftSide(int button)
{
    return button < kButtonsPerSide;
}
