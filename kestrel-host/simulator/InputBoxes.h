// The host's input boxes: opened by the module, answered by the flight's
// `input` events. A box stays open when the display that opened it closes.
#pragma once

#include "host/HostApi.h"

#include <optional>
#include <string>
#include <vector>

struct InputBox {
    std::string title;
    InputCallback callback = nullptr;
    void* userData = nullptr;
    int visibleLength = 0;
};

class InputBoxes {
public:
    void Open(InputBox box) { boxes_.push_back(std::move(box)); }
    bool Empty() const { return boxes_.empty(); }
    std::size_t Count() const { return boxes_.size(); }
    // Takes the box opened last off the screen.
    InputBox TakeLast();
    void CloseAll() { boxes_.clear(); }

private:
    std::vector<InputBox> boxes_;
};
