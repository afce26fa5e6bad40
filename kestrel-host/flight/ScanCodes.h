// The keys a button menu's entries stand for: a menu entry is picked by
// pressing the key of its selection character.
#pragma once

#include <cstdint>

// The scan code of the key a menu selection character stands for (A-Z, 0-9);
// 0 for any other character.
std::uint32_t ScanCodeOf(char selection);
