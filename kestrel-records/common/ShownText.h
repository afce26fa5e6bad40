// A file's name or a piece of input as a message shows it: every byte that
// is not printable ASCII (a control character, DEL, each byte of a
// character beyond ASCII) as \xNN, so that no name can move the cursor,
// colour the terminal or begin a line of its own in a report.
#pragma once

#include <string>
#include <string_view>

std::string Shown(std::string_view text);
