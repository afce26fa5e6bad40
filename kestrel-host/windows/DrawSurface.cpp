// The drawing surface on Windows: a memory device context with a 32-bit DIB
// section the size of the display selected into it, so that the module's GDI
// calls paint real pixels that the host can read back.
#include "kestrel-host/DrawSurface.h"

#include "kestrel-host/HostError.h"
#include "kestrel-host/windows/DrawCapture.h"

#include <algorithm>
#include <cstdint>

namespace {

// The host's text colour before the module sets one, as Canvas assumes.
constexpr COLORREF kWhite = 0xFFFFFF;

void PutLittleEndian(std::string& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

} // namespace

struct DrawSurface::Native {
    ~Native()
    {
        if (dc != nullptr) {
            if (previousFont != nullptr) {
                ::SelectObject(dc, previousFont);
            }
            if (previousBitmap != nullptr) {
                ::SelectObject(dc, previousBitmap);
            }
            ::DeleteDC(dc);
        }
        if (font != nullptr) {
            ::DeleteObject(font);
        }
        if (bitmap != nullptr) {
            ::DeleteObject(bitmap);
        }
    }

    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previousBitmap = nullptr;
    HFONT font = nullptr;
    HGDIOBJ previousFont = nullptr;
    const std::uint32_t* pixels = nullptr; // top row first, each 0x00RRGGBB
    int width = 0;
    int height = 0;
};

DrawSurface::DrawSurface(const MfdGeometry& geometry) : geometry_(geometry), native_(std::make_unique<Native>())
{
    Native& n = *native_;
    n.width = static_cast<int>(std::max<std::uint32_t>(1, geometry.width));
    n.height = static_cast<int>(std::max<std::uint32_t>(1, geometry.height));
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = n.width;
    info.bmiHeader.biHeight = -n.height; // negative: top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    n.dc = ::CreateCompatibleDC(nullptr);
    if (n.dc != nullptr) {
        n.bitmap = ::CreateDIBSection(n.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    }
    if (n.bitmap == nullptr || bits == nullptr) {
        throw HostError("cannot make a " + std::to_string(n.width) + "x" + std::to_string(n.height) +
                        " drawing surface (Windows error " + std::to_string(::GetLastError()) + ")");
    }
    n.pixels = static_cast<const std::uint32_t*>(bits);
    n.previousBitmap = ::SelectObject(n.dc, n.bitmap);
    ::PatBlt(n.dc, 0, 0, n.width, n.height, BLACKNESS);
    // Texts stand on the display's black without a box of their own.
    ::SetBkMode(n.dc, TRANSPARENT);
    ::SetTextColor(n.dc, kWhite);
    Enlist(this);
}

DrawSurface::~DrawSurface()
{
    Delist(this);
}

HDC DrawSurface::Hdc() const
{
    return native_->dc;
}

void DrawSurface::Title(const char* text)
{
    canvas_.Title(text);
    if (text == nullptr) {
        return;
    }
    // Where the SVG picture puts it: half a cell in, a quarter cell down.
    const COLORREF previous = ::SetTextColor(native_->dc, kWhite);
    ::TextOutA(native_->dc, static_cast<int>(geometry_.charWidth / 2), static_cast<int>(geometry_.charHeight / 4),
               text, static_cast<int>(std::char_traits<char>::length(text)));
    ::SetTextColor(native_->dc, previous);
}

HFONT DrawSurface::SelectFont(unsigned index)
{
    canvas_.Font(index);
    Native& n = *native_;
    if (n.font == nullptr) {
        // Without smoothing, every pixel of a text is exactly its colour.
        n.font = ::CreateFontA(static_cast<int>(std::max<std::uint32_t>(1, geometry_.charHeight)),
                               static_cast<int>(std::max<std::uint32_t>(1, geometry_.charWidth)), 0, 0, FW_NORMAL,
                               FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               NONANTIALIASED_QUALITY, FIXED_PITCH | FF_MODERN, "Courier New");
        if (n.font == nullptr) {
            return nullptr;
        }
        n.previousFont = ::SelectObject(n.dc, n.font);
    }
    return n.font;
}

std::string DrawSurface::Bitmap() const
{
    const Native& n = *native_;
    ::GdiFlush(); // every call made so far has reached the pixels
    const std::uint32_t rowBytes = static_cast<std::uint32_t>(n.width) * 4;
    const std::uint32_t pixelBytes = rowBytes * static_cast<std::uint32_t>(n.height);
    const std::uint32_t headerBytes = 14 + 40;
    std::string bmp;
    bmp.reserve(headerBytes + pixelBytes);
    // File header: "BM", file size, two reserved words, offset of the pixels.
    bmp += "BM";
    PutLittleEndian(bmp, headerBytes + pixelBytes, 4);
    PutLittleEndian(bmp, 0, 4);
    PutLittleEndian(bmp, headerBytes, 4);
    // Info header: a bottom-up 32-bit BI_RGB picture, 2835 pixels per metre (72 dpi).
    PutLittleEndian(bmp, 40, 4);
    PutLittleEndian(bmp, static_cast<std::uint32_t>(n.width), 4);
    PutLittleEndian(bmp, static_cast<std::uint32_t>(n.height), 4);
    PutLittleEndian(bmp, 1, 2);
    PutLittleEndian(bmp, 32, 2);
    PutLittleEndian(bmp, BI_RGB, 4);
    PutLittleEndian(bmp, pixelBytes, 4);
    PutLittleEndian(bmp, 2835, 4);
    PutLittleEndian(bmp, 2835, 4);
    PutLittleEndian(bmp, 0, 4);
    PutLittleEndian(bmp, 0, 4);
    for (int row = n.height - 1; row >= 0; --row) {
        const std::uint32_t* line = n.pixels + static_cast<std::size_t>(row) * static_cast<std::size_t>(n.width);
        for (int x = 0; x < n.width; ++x) {
            PutLittleEndian(bmp, line[x] & 0xFFFFFF, 4); // blue, green, red, and a zero byte
        }
    }
    return bmp;
}

bool DrawSurface::HasPixels()
{
    return true;
}

bool DrawSurface::SeesModuleCalls()
{
    return ModuleDrawingCaptured();
}
