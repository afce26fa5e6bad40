#include "kestrel-host/flight/DisplayNames.h"

#include <iterator>

namespace {

const char* const kNames[] = {"left", "right", "user1", "user2", "user3", "user4",
                              "user5", "user6", "user7", "user8", "user9", "user10"};

} // namespace

std::optional<std::uint32_t> DisplayIdOf(const std::string& name)
{
    for (std::uint32_t i = 0; i < std::size(kNames); ++i) {
        if (name == kNames[i]) {
            return i;
        }
    }
    return std::nullopt;
}

std::string KnownDisplayNames()
{
    return "left, right, user1 to user10";
}
