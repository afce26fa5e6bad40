#include "kestrel-host/pictures/Snapshot.h"

#include <algorithm>
#include <cstdio>

namespace {

// Windows-1252's characters for the bytes 0x80 to 0x9F; 0 where it has none.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};
constexpr unsigned kReplacement = 0xFFFD;

std::string CharacterReference(unsigned code)
{
    char text[16];
    std::snprintf(text, sizeof text, "&#x%X;", code);
    return text;
}

std::string Number(std::int64_t value)
{
    return std::to_string(value);
}

} // namespace

std::string DrawLogText(const Canvas& canvas)
{
    std::string text;
    for (const std::string& line : canvas.LogLines()) {
        text += line + "\n";
    }
    return text;
}

std::string CssColor(COLORREF color)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", static_cast<unsigned>(color & 0xFF),
                  static_cast<unsigned>((color >> 8) & 0xFF), static_cast<unsigned>((color >> 16) & 0xFF));
    return text;
}

std::string XmlEscape(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                out += CharacterReference(kReplacement);
            } else if (byte < 0x80) {
                out += c;
            } else if (byte < 0xA0) {
                const unsigned code = kWindows1252High[byte - 0x80];
                out += CharacterReference(code == 0 ? kReplacement : code);
            } else {
                out += CharacterReference(byte); // Windows-1252 is Latin-1 from 0xA0 on
            }
        }
    }
    return out;
}

std::string SnapshotSvg(const Canvas& canvas, const MfdGeometry& g)
{
    const unsigned ch = std::max(1u, g.charHeight);
    const unsigned cw = std::max(1u, g.charWidth);
    const BezelLayout layout = LayoutOf(g);
    const std::int64_t width = canvas.bezel.read ? layout.width : g.width;
    const std::int64_t displayX = canvas.bezel.read ? layout.displayX : 0;
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Number(width) + "\" height=\"" +
                      std::to_string(g.height) + "\" viewBox=\"0 0 " + Number(width) + " " +
                      std::to_string(g.height) + "\">\n";
    // Monospaced text whose em box is one character cell high; the baseline
    // sits 80 % of the cell below the text's top.
    const std::string font = "font-family=\"monospace\" font-size=\"" + std::to_string(ch) + "\" xml:space=\"preserve\"";
    auto baseline = [&](std::int64_t top) { return Number(top + static_cast<std::int64_t>(ch * 0.8)); };
    if (canvas.bezel.read) {
        svg += "<rect x=\"0\" y=\"0\" width=\"" + Number(width) + "\" height=\"" + std::to_string(g.height) +
               "\" fill=\"#303030\"/>\n";
        for (int i = 0; i < kButtonCount; ++i) {
            const auto at = static_cast<std::size_t>(i);
            if (!canvas.bezel.labels[at]) {
                continue;
            }
            svg += "<text id=\"button" + std::to_string(i) + "\" x=\"" + Number(layout.anchorX[at]) + "\" y=\"" +
                   baseline(layout.top[at]) + "\" text-anchor=\"" + (OnLeftSide(i) ? "end" : "start") +
                   "\" fill=\"#FFFFFF\" " + font + ">" + XmlEscape(*canvas.bezel.labels[at]) + "</text>\n";
        }
    }
    // The display draws only on itself, as on the simulator's screen.
    svg += "<clipPath id=\"display\"><rect x=\"0\" y=\"0\" width=\"" + std::to_string(g.width) + "\" height=\"" +
           std::to_string(g.height) + "\"/></clipPath>\n";
    svg += "<g transform=\"translate(" + Number(displayX) + ",0)\" clip-path=\"url(#display)\">\n";
    svg += "<rect x=\"0\" y=\"0\" width=\"" + std::to_string(g.width) + "\" height=\"" + std::to_string(g.height) +
           "\" fill=\"#000000\"/>\n";
    for (const DrawCall& call : canvas.calls) {
        if (call.kind == DrawCall::Title) {
            svg += "<text x=\"" + std::to_string(cw / 2) + "\" y=\"" + baseline(ch / 4) + "\" fill=\"#FFFFFF\" " +
                   font + ">" + XmlEscape(call.text) + "</text>\n";
        } else if (call.kind == DrawCall::Text) {
            svg += "<text x=\"" + std::to_string(call.x) + "\" y=\"" + baseline(call.y) + "\" fill=\"" +
                   CssColor(call.color) + "\" " + font + ">" + XmlEscape(call.text) + "</text>\n";
        }
    }
    svg += "</g>\n</svg>\n";
    return svg;
}

std::string SnapshotText(const Canvas& canvas, const MfdGeometry& g)
{
    const unsigned cw = std::max(1u, g.charWidth);
    const unsigned ch = std::max(1u, g.charHeight);
    const std::size_t allColumns = std::max(1u, g.width / cw);
    const std::size_t allRows = std::max(1u, g.height / ch);
    const std::size_t columns = std::min(allColumns, kTextPictureColumns);
    const std::size_t rows = std::min(allRows, kTextPictureRows);
    std::vector<std::string> grid(rows, std::string(columns, ' '));
    auto put = [&](long x, long y, const std::string& text) {
        if (y < 0 || x < 0) {
            return;
        }
        const auto row = static_cast<std::size_t>(y / ch);
        auto column = static_cast<std::size_t>(x / cw);
        if (row >= rows) {
            return;
        }
        for (const char c : text) {
            if (column >= columns) {
                break;
            }
            grid[row][column++] = (static_cast<unsigned char>(c) < 0x20) ? '?' : c;
        }
    };
    for (const DrawCall& call : canvas.calls) {
        if (call.kind == DrawCall::Title) {
            put(0, 0, call.text);
        } else if (call.kind == DrawCall::Text) {
            put(call.x, call.y, call.text);
        }
    }

    // Each side's labels on the rows of their buttons' centres; where a
    // small display puts two buttons on one row, the lower-numbered shows.
    const Bezel& bezel = canvas.bezel;
    const std::string noLabel(kLabelCharacters, ' ');
    std::vector<std::string> left(rows, noLabel), right(rows, noLabel);
    std::vector<bool> leftTaken(rows, false), rightTaken(rows, false);
    const BezelLayout layout = LayoutOf(g);
    for (int i = 0; bezel.read && i < kButtonCount; ++i) {
        const auto at = static_cast<std::size_t>(i);
        if (!bezel.labels[at]) {
            continue;
        }
        const std::int64_t centre = layout.top[at] + ch / 2;
        const auto row = static_cast<std::size_t>(centre / ch);
        std::vector<bool>& taken = OnLeftSide(i) ? leftTaken : rightTaken;
        if (centre < 0 || row >= rows || taken[row]) {
            continue;
        }
        taken[row] = true;
        std::string label;
        for (const char c : *bezel.labels[at]) {
            label += (static_cast<unsigned char>(c) < 0x20) ? '?' : c;
        }
        // Labels stand next to the frame: right-aligned on the left.
        (OnLeftSide(i) ? left : right)[row] =
            OnLeftSide(i) ? std::string(kLabelCharacters - label.size(), ' ') + label
                          : label + std::string(kLabelCharacters - label.size(), ' ');
    }
    const std::string side = bezel.read ? noLabel + " " : "";
    const std::string frame = side + "+" + std::string(columns, '-') + "+\n";
    std::string text = frame;
    for (std::size_t row = 0; row < rows; ++row) {
        std::string line = (bezel.read ? left[row] + " " : "") + "|" + grid[row] + "|" +
                           (bezel.read ? " " + right[row] : "");
        line.erase(line.find_last_not_of(' ') + 1);
        text += line + "\n";
    }
    text += frame;
    if (columns < allColumns || rows < allRows) {
        text += "(cut: " + std::to_string(columns) + " x " + std::to_string(rows) + " of the display's " +
                std::to_string(allColumns) + " x " + std::to_string(allRows) + " character cells shown)\n";
    }
    if (bezel.read) {
        if (!bezel.menuTable || bezel.menuCount <= 0) {
            text += "menu: none (ButtonMenuTable gave " + std::to_string(bezel.menuCount) +
                    (bezel.menuTable ? "" : " and no table") + ")\n";
        } else {
            text += "menu:";
            if (bezel.menuCount > kMostMenuEntries) {
                text += " (" + std::to_string(bezel.menuCount) + " entries; the first " +
                        std::to_string(kMostMenuEntries) + " shown)";
            }
            text += "\n";
            for (const MenuLine& entry : bezel.menu) {
                const char key = static_cast<unsigned char>(entry.selection) < 0x20 ? '?' : entry.selection;
                std::string line = "  " + std::string(1, key) + "  " + entry.line1;
                if (!entry.line2.empty()) {
                    line += " / " + entry.line2;
                }
                for (char& c : line) {
                    c = static_cast<unsigned char>(c) < 0x20 ? '?' : c;
                }
                text += line + "\n";
            }
        }
    }
    return text;
}
