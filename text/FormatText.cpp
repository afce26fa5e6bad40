#include "text/FormatText.h"

#include "text/FormatFixed.h"

#include <cstdarg>
#include <cstdint>

namespace {

// Copies `text` to out + length while room is left; returns its length.
std::size_t Append(char* out, std::size_t size, std::size_t length, const char* text)
{
    std::size_t added = 0;
    for (; text[added] != '\0'; ++added) {
        if (length + added + 1 < size) {
            out[length + added] = text[added];
        }
    }
    return added;
}

std::size_t FormatIntInto(char* out, std::size_t size, std::size_t length, int value)
{
    char digits[12];
    int count = 0;
    // Work on the magnitude as unsigned so that INT_MIN has one too.
    std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    char text[13];
    int at = 0;
    if (value < 0) {
        text[at++] = '-';
    }
    while (count > 0) {
        text[at++] = digits[--count];
    }
    text[at] = '\0';
    return Append(out, size, length, text);
}

} // namespace

std::size_t FormatInt(char* out, std::size_t size, int value)
{
    const std::size_t length = FormatIntInto(out, size, 0, value);
    if (size > 0) {
        out[length < size ? length : size - 1] = '\0';
    }
    return length;
}

std::size_t FormatText(char* out, std::size_t size, const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::size_t length = 0;
    for (const char* f = format; *f != '\0'; ++f) {
        if (*f != '%') {
            if (length + 1 < size) {
                out[length] = *f;
            }
            ++length;
            continue;
        }
        ++f;
        if (*f == '%') {
            length += Append(out, size, length, "%");
        } else if (*f == 's') {
            const char* text = va_arg(args, const char*);
            length += Append(out, size, length, text != nullptr ? text : "");
        } else if (*f == 'd') {
            length += FormatIntInto(out, size, length, va_arg(args, int));
        } else {
            // %.Nf or %0.Nf: a number with N decimals.
            if (*f == '0') {
                ++f;
            }
            int decimals = 6;
            if (*f == '.') {
                ++f;
                decimals = 0;
                while (*f >= '0' && *f <= '9') {
                    decimals = decimals * 10 + (*f - '0');
                    ++f;
                }
            }
            // Only 'f' can stand here in the module's formats.
            const double value = va_arg(args, double);
            const std::size_t room = length < size ? size - length : 0;
            length += FormatFixed(room > 0 ? out + length : nullptr, room, value, decimals);
            if (*f == '\0') {
                break;
            }
        }
    }
    va_end(args);
    if (size > 0) {
        out[length < size ? length : size - 1] = '\0';
    }
    return length;
}
