// The host's numbers that reach the module or that the module hands over:
// the keyboard scan codes of the keys the mode answers to (and opens with),
// the message that opens a display, the flag of a button press, and how the
// opening message packs the display's size.
#pragma once

#include "platform/WinApi.h"

#include <cstdint>

// Keyboard scan codes.
constexpr DWORD HOST_KEY_A = 0x1E;
constexpr DWORD HOST_KEY_B = 0x30;
constexpr DWORD HOST_KEY_N = 0x31;
constexpr DWORD HOST_KEY_P = 0x19;

// The message with which the host asks a mode's handler for a new display.
constexpr std::uint32_t MFD_MESSAGE_OPENED = 1;

// The bit of OnButton's event flags that says the button was pressed.
constexpr int MFD_BUTTON_PRESSED = 1;

// The opening message's size: the width in the low 16 bits, the height in
// the high 16 bits.
constexpr DWORD MfdPackedWidth(std::uint32_t packedSize)
{
    return packedSize & 0xFFFFu;
}
constexpr DWORD MfdPackedHeight(std::uint32_t packedSize)
{
    return (packedSize >> 16) & 0xFFFFu;
}
