// How kestrel-host writes numbers in its traces, messages and summaries:
// with a decimal point whatever the process locale (a run takes the
// environment's locale, for the module's sake); and how it shows a piece of
// its input in them, so that no input can flood or steer the terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// "0x1A2B"
std::string Hex(std::uint32_t value);
// A fixed count of decimals.
std::string Fixed(double value, int decimals);
// As "%.17g": enough digits to give the double back.
std::string Number(double value);

// The most bytes of a piece of input a message or a summary shows.
inline constexpr std::size_t kMostShownInput = 80;

// The text for a line of kestrel-host's own output: printable ASCII as it
// is, every other byte (control characters, bytes from 0x80) as \xNN, at
// most `most` bytes of the text; when cut, "... (N characters)" after them.
std::string Printable(std::string_view text, std::size_t most);
// A piece of input quoted in a message: its first kMostShownInput bytes as
// Printable shows them, between single quotes; when longer,
// "... (N characters)" after the closing quote.
std::string Quoted(std::string_view text);
// The same for the first bytes of a longer text of `length` bytes.
std::string Quoted(std::string_view text, std::size_t length);
// A path quoted in a message: as Quoted, but whole up to the longest path
// the platform takes (common/Platform.h), as a path cut short names nothing.
std::string QuotedPath(std::string_view path);
