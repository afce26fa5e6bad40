#include "kestrel-host/simulator/InputBoxes.h"

InputBox InputBoxes::TakeLast()
{
    InputBox box = std::move(boxes_.back());
    boxes_.pop_back();
    return box;
}
