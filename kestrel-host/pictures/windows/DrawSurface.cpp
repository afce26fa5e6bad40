// The drawing surface on Windows: a memory device context with a 32-bit DIB
// section the size of the display selected into it, so that the module's GDI
// calls paint real pixels that the host can read back.
#include "kestrel-host/pictures/DrawSurface.h"

#include "kestrel-host/common/HostError.h"

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

// The one font of a display: fixed-pitch, the size of its character cell,
// without smoothing, so every pixel of a text is exactly its colour.
HFONT CellFont(const MfdGeometry& g)
{
    return ::CreateFontA(static_cast<int>(std::max<std::uint32_t>(1, g.charHeight)),
                         static_cast<int>(std::max<std::uint32_t>(1, g.charWidth)), 0, 0, FW_NORMAL, FALSE, FALSE,
                         FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                         FIXED_PITCH | FF_MODERN, "Courier New");
}

// A memory DC with a top-down 32-bit DIB section selected into it.
struct Picture {
    Picture(int w, int h) : width(w), height(h)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height; // negative: top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        dc = ::CreateCompatibleDC(nullptr);
        if (dc != nullptr) {
            bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        }
        if (bitmap == nullptr || bits == nullptr) {
            const DWORD error = ::GetLastError();
            Release();
            throw HostError("cannot make a " + std::to_string(width) + "x" + std::to_string(height) +
                            " picture (Windows error " + std::to_string(error) + ")");
        }
        pixels = static_cast<const std::uint32_t*>(bits);
        previousBitmap = ::SelectObject(dc, bitmap);
    }
    ~Picture() { Release(); }
    void Release()
    {
        if (dc != nullptr) {
            if (previousFont != nullptr) {
                ::SelectObject(dc, previousFont);
            }
            if (previousBitmap != nullptr) {
                ::SelectObject(dc, previousBitmap);
            }
            ::DeleteDC(dc);
            dc = nullptr;
        }
        if (font != nullptr) {
            ::DeleteObject(font);
            font = nullptr;
        }
        if (bitmap != nullptr) {
            ::DeleteObject(bitmap);
            bitmap = nullptr;
        }
    }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    int width, height;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previousBitmap = nullptr;
    HFONT font = nullptr;
    HGDIOBJ previousFont = nullptr;
    const std::uint32_t* pixels = nullptr;
};

} // namespace

// The surface itself: a picture the size of the display.
struct DrawSurface::Native : Picture {
    using Picture::Picture;
};

DrawSurface::DrawSurface(const MfdGeometry& geometry)
    : geometry_(geometry),
      native_(std::make_unique<Native>(static_cast<int>(std::max<std::uint32_t>(1, geometry.width)),
                                       static_cast<int>(std::max<std::uint32_t>(1, geometry.height))))
{
    Native& n = *native_;
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
        n.font = CellFont(geometry_);
        if (n.font == nullptr) {
            return nullptr;
        }
        n.previousFont = ::SelectObject(n.dc, n.font);
    }
    return n.font;
}

namespace {

// The bezel's grey and its labels' white, as in the SVG picture.
constexpr COLORREF kBezelGrey = RGB(0x30, 0x30, 0x30);


std::string EncodeBmp(const std::uint32_t* pixels, int width, int height)
{
    const std::uint64_t rowBytes = static_cast<std::uint64_t>(width) * 4;
    const std::uint64_t pixelBytes = rowBytes * static_cast<std::uint64_t>(height);
    const std::uint64_t headerBytes = 14 + 40;
    if (headerBytes + pixelBytes > 0xFFFFFFFFu) {
        throw HostError("a " + std::to_string(width) + "x" + std::to_string(height) + " picture is too large for a BMP file");
    }
    std::string bmp;
    bmp.reserve(static_cast<std::size_t>(headerBytes + pixelBytes));
    // File header: "BM", file size, two reserved words, offset of the pixels.
    bmp += "BM";
    PutLittleEndian(bmp, static_cast<std::uint32_t>(headerBytes + pixelBytes), 4);
    PutLittleEndian(bmp, 0, 4);
    PutLittleEndian(bmp, static_cast<std::uint32_t>(headerBytes), 4);
    // Info header: a bottom-up 32-bit BI_RGB picture, 2835 pixels per metre (72 dpi).
    PutLittleEndian(bmp, 40, 4);
    PutLittleEndian(bmp, static_cast<std::uint32_t>(width), 4);
    PutLittleEndian(bmp, static_cast<std::uint32_t>(height), 4);
    PutLittleEndian(bmp, 1, 2);
    PutLittleEndian(bmp, 32, 2);
    PutLittleEndian(bmp, BI_RGB, 4);
    PutLittleEndian(bmp, static_cast<std::uint32_t>(pixelBytes), 4);
    PutLittleEndian(bmp, 2835, 4);
    PutLittleEndian(bmp, 2835, 4);
    PutLittleEndian(bmp, 0, 4);
    PutLittleEndian(bmp, 0, 4);
    for (int row = height - 1; row >= 0; --row) {
        const std::uint32_t* line = pixels + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
        for (int x = 0; x < width; ++x) {
            PutLittleEndian(bmp, line[x] & 0xFFFFFF, 4); // blue, green, red, and a zero byte
        }
    }
    return bmp;
}

} // namespace

std::string DrawSurface::Bitmap() const
{
    const Native& n = *native_;
    ::GdiFlush(); // every call made so far has reached the pixels
    const Bezel& bezel = canvas_.bezel;
    if (!bezel.read) {
        return EncodeBmp(n.pixels, n.width, n.height);
    }
    // The display inside its bezel: the display's pixels one label column
    // in, the labels beside it in the display's font.
    const BezelLayout layout = LayoutOf(geometry_);
    const std::int64_t width = 2 * layout.column + n.width;
    if (width > 0x7FFFFFFF) {
        throw HostError("a picture " + std::to_string(width) + " pixels wide is too large for a BMP file");
    }
    Picture picture(static_cast<int>(width), n.height);
    const RECT all = {0, 0, picture.width, picture.height};
    const HBRUSH grey = ::CreateSolidBrush(kBezelGrey);
    ::FillRect(picture.dc, &all, grey);
    ::DeleteObject(grey);
    ::BitBlt(picture.dc, static_cast<int>(layout.displayX), 0, n.width, n.height, n.dc, 0, 0, SRCCOPY);
    picture.font = CellFont(geometry_);
    if (picture.font != nullptr) {
        picture.previousFont = ::SelectObject(picture.dc, picture.font);
    }
    ::SetBkMode(picture.dc, TRANSPARENT);
    ::SetTextColor(picture.dc, kWhite);
    for (int i = 0; i < kButtonCount; ++i) {
        const auto at = static_cast<std::size_t>(i);
        if (!bezel.labels[at] || bezel.labels[at]->empty()) {
            continue;
        }
        ::SetTextAlign(picture.dc, TA_TOP | TA_NOUPDATECP | (OnLeftSide(i) ? TA_RIGHT : TA_LEFT));
        ::TextOutA(picture.dc, static_cast<int>(layout.anchorX[at]), static_cast<int>(layout.top[at]),
                   bezel.labels[at]->data(), static_cast<int>(bezel.labels[at]->size()));
    }
    ::GdiFlush();
    return EncodeBmp(picture.pixels, picture.width, picture.height);
}
