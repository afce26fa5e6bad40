#include "kestrel-host/simulator/ScenarioHandles.h"

#include <algorithm>
#include <string_view>

namespace {

// Without its leading blanks and tabs, as the scenario file's reader takes
// a line.
std::string_view Unindented(std::string_view line)
{
    const std::size_t first = line.find_first_not_of(" \t");
    return first == std::string_view::npos ? std::string_view() : line.substr(first);
}

} // namespace

bool ScenarioReader::NextLine(char*& line)
{
    if (items == nullptr || next >= items->size()) {
        return false;
    }
    const std::string_view item = Unindented((*items)[next++]);
    const std::size_t length = std::min(item.size(), sizeof buffer - 1);
    std::copy_n(item.begin(), length, buffer); // an empty line may have no data at all
    buffer[length] = '\0';
    line = buffer;
    return true;
}
