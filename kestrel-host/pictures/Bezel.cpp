#include "kestrel-host/pictures/Bezel.h"

#include <algorithm>

std::string BoundedText(const char* text, std::size_t most)
{
    std::string bounded;
    for (std::size_t i = 0; text != nullptr && i < most && text[i] != '\0'; ++i) {
        bounded += text[i];
    }
    return bounded;
}

BezelLayout LayoutOf(const MfdGeometry& g)
{
    const std::int64_t cw = std::max<std::uint32_t>(1, g.charWidth);
    const std::int64_t ch = std::max<std::uint32_t>(1, g.charHeight);
    BezelLayout layout;
    layout.column = static_cast<std::int64_t>(kLabelCharacters + 1) * cw;
    layout.displayX = layout.column;
    layout.width = std::int64_t{g.width} + 2 * layout.column;
    layout.height = g.height;
    for (int i = 0; i < kButtonCount; ++i) {
        const std::int64_t row = i % kButtonsPerSide;
        const std::int64_t centre = std::int64_t{g.height} * (2 * row + 1) / (2 * kButtonsPerSide);
        layout.top[static_cast<std::size_t>(i)] = centre - ch / 2;
        layout.anchorX[static_cast<std::size_t>(i)] =
            OnLeftSide(i) ? layout.column - cw / 2 : layout.column + std::int64_t{g.width} + cw / 2;
    }
    return layout;
}
