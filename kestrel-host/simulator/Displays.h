// The host's multi-function displays: which are open, and the instance of
// the mode each open one shows. (Which exist, by name: flight/DisplayNames.h.)
#pragma once

#include "host/Mfd.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct CharCell {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// The character cell of a display that names none: width / 32 and
// height / 20 pixels (at least 1), so 256 x 200 gives 8 x 10.
CharCell DerivedCharCell(std::uint32_t width, std::uint32_t height);

// What the host reads of an instance: the base class's own members.
struct MfdGeometry {
    std::uint32_t width, height, charWidth, charHeight;
};
MfdGeometry GeometryOf(const MFD* mfd);

struct OpenDisplay {
    std::string name;
    std::uint32_t id = 0;
    MFD* instance = nullptr;
};

class Displays {
public:
    OpenDisplay* Find(const std::string& name);
    bool IsLive(const void* mfd) const;
    const OpenDisplay* FindInstance(const void* mfd) const;
    void Add(OpenDisplay display);
    // Deletes the instance through its virtual destructor.
    void Close(const std::string& name);
    void CloseAll();
    // In identifier order.
    std::vector<OpenDisplay*> All();

    // Char cell that the next MFD constructed takes (set while the host asks
    // the module for an instance).
    std::optional<CharCell> pendingCell;
    // Instances that asked for a redraw since their last one.
    std::vector<const void*> invalidated;

private:
    std::map<std::uint32_t, OpenDisplay> open_;
};
