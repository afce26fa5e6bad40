#include "kestrel-host/common/HostText.h"

#include "kestrel-host/common/Platform.h"

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

namespace {

std::string Escaped(std::string_view text, std::size_t most)
{
    std::string shown;
    for (std::size_t i = 0; i < text.size() && i < most; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            shown += static_cast<char>(c);
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            shown += "\\x";
            shown += kHex[c >> 4];
            shown += kHex[c & 0xF];
        }
    }
    return shown;
}

std::string Length(std::size_t length)
{
    return "... (" + std::to_string(length) + " characters)";
}

} // namespace

std::string Printable(std::string_view text, std::size_t most)
{
    return Escaped(text, most) + (text.size() > most ? Length(text.size()) : "");
}

std::string Quoted(std::string_view text)
{
    return Quoted(text, text.size());
}

std::string QuotedPath(std::string_view path)
{
    return "'" + Escaped(path, kLongestPath) + "'" + (path.size() > kLongestPath ? Length(path.size()) : "");
}

std::string Quoted(std::string_view text, std::size_t length)
{
    return "'" + Escaped(text, kMostShownInput) + "'" + (length > kMostShownInput ? Length(length) : "");
}
