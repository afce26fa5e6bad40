#include "kestrel-host/Snapshot.h"

#include <algorithm>
#include <cstdio>

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
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            // Control characters cannot stand in XML.
            out += (static_cast<unsigned char>(c) < 0x20) ? '?' : c;
        }
    }
    return out;
}

std::string SnapshotSvg(const Canvas& canvas, const MfdGeometry& g)
{
    const unsigned ch = std::max(1u, g.charHeight);
    const unsigned cw = std::max(1u, g.charWidth);
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(g.width) + "\" height=\"" +
                      std::to_string(g.height) + "\" viewBox=\"0 0 " + std::to_string(g.width) + " " +
                      std::to_string(g.height) + "\">\n";
    svg += "<rect x=\"0\" y=\"0\" width=\"" + std::to_string(g.width) + "\" height=\"" + std::to_string(g.height) +
           "\" fill=\"#000000\"/>\n";
    // Monospaced text whose em box is one character cell high; the baseline
    // sits 80 % of the cell below the text's top.
    const std::string font = "font-family=\"monospace\" font-size=\"" + std::to_string(ch) + "\" xml:space=\"preserve\"";
    auto baseline = [&](int top) { return std::to_string(top + static_cast<int>(ch * 0.8)); };
    for (const DrawCall& call : canvas.calls) {
        if (call.kind == DrawCall::Title) {
            svg += "<text x=\"" + std::to_string(cw / 2) + "\" y=\"" + baseline(static_cast<int>(ch / 4)) + "\" fill=\"#FFFFFF\" " +
                   font + ">" + XmlEscape(call.text) + "</text>\n";
        } else if (call.kind == DrawCall::Text) {
            svg += "<text x=\"" + std::to_string(call.x) + "\" y=\"" + baseline(call.y) + "\" fill=\"" +
                   CssColor(call.color) + "\" " + font + ">" + XmlEscape(call.text) + "</text>\n";
        }
    }
    svg += "</svg>\n";
    return svg;
}

std::string SnapshotText(const Canvas& canvas, const MfdGeometry& g)
{
    const unsigned cw = std::max(1u, g.charWidth);
    const unsigned ch = std::max(1u, g.charHeight);
    const std::size_t columns = std::max(1u, g.width / cw);
    const std::size_t rows = std::max(1u, g.height / ch);
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
    const std::string frame = "+" + std::string(columns, '-') + "+\n";
    std::string text = frame;
    for (const std::string& row : grid) {
        text += "|" + row + "|\n";
    }
    return text + frame;
}
