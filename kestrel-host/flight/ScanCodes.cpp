#include "kestrel-host/flight/ScanCodes.h"

std::uint32_t ScanCodeOf(char selection)
{
    static const std::uint32_t letters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                              0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                              0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    if (selection >= 'a' && selection <= 'z') {
        selection = static_cast<char>(selection - 'a' + 'A');
    }
    if (selection >= 'A' && selection <= 'Z') {
        return letters[selection - 'A'];
    }
    if (selection >= '1' && selection <= '9') {
        return static_cast<std::uint32_t>(0x02 + (selection - '1'));
    }
    if (selection == '0') {
        return 0x0B;
    }
    return 0;
}
