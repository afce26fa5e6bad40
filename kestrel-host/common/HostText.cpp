#include "kestrel-host/common/HostText.h"

#include <charconv>
#include <cstdio>

std::string Hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

std::string Fixed(double value, int decimals)
{
    char text[512]; // the widest double with its decimals fits
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, result.ptr);
}

std::string Number(double value)
{
    char text[40];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 17);
    return std::string(text, result.ptr);
}

std::string Printable(const std::string& text, std::size_t most)
{
    std::string shown;
    for (std::size_t i = 0; i < text.size() && i < most; ++i) {
        shown += static_cast<unsigned char>(text[i]) < 0x20 ? '?' : text[i];
    }
    if (text.size() > most) {
        shown += "... (" + std::to_string(text.size()) + " characters)";
    }
    return shown;
}
