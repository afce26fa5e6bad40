// CSV as RFC 4180 has it: fields separated by commas, records ended by CRLF,
// a field quoted (its quotes doubled) when it holds a comma, a quote, a
// carriage return or a line feed.
#pragma once

#include <string>
#include <string_view>

std::string CsvField(std::string_view text);
