#include "kestrel-host/pictures/Canvas.h"

#include <cstdio>

COLORREF Canvas::SetTextColor(COLORREF color)
{
    DrawCall call;
    call.kind = DrawCall::Color;
    call.color = color;
    calls.push_back(call);
    const COLORREF previous = color_;
    color_ = color;
    return previous;
}

BOOL Canvas::TextOut(int x, int y, const char* text, int length)
{
    DrawCall call;
    call.kind = DrawCall::Text;
    call.x = x;
    call.y = y;
    call.text.assign(text, static_cast<std::size_t>(length));
    call.color = color_;
    calls.push_back(call);
    return TRUE;
}

void Canvas::Title(const char* text)
{
    DrawCall call;
    call.kind = DrawCall::Title;
    call.text = text == nullptr ? "" : text;
    calls.push_back(call);
}

void Canvas::Font(unsigned index)
{
    DrawCall call;
    call.kind = DrawCall::Font;
    call.font = index;
    calls.push_back(call);
}

std::vector<std::string> Canvas::LogLines() const
{
    std::vector<std::string> lines;
    for (const DrawCall& call : calls) {
        switch (call.kind) {
        case DrawCall::Title:
            lines.push_back("title " + call.text);
            break;
        case DrawCall::Font:
            lines.push_back("font " + std::to_string(call.font));
            break;
        case DrawCall::Color: {
            char text[32];
            std::snprintf(text, sizeof text, "color 0x%06X", static_cast<unsigned>(call.color));
            lines.emplace_back(text);
            break;
        }
        case DrawCall::Text:
            lines.push_back("text " + std::to_string(call.x) + " " + std::to_string(call.y) + " " + call.text);
            break;
        }
    }
    return lines;
}
