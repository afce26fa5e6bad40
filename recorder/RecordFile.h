// The data file: one line per stretch between two samples.
#pragma once

#include <cstddef>

// Writes the record line for the current sample (lastTime, lastPitch, pitch,
// span) to the data file named after the vessel and the stamp, opening it
// for appending (or for writing when appending fails) and closing it again.
// Returns true when a file took the line; false when no file could be
// opened or the name would not fit, in which case nothing was written.
bool AppendRecordLine();

// Builds "KestrelScribeData\<vessel>_<stamp>.txt" into `out` (`size` bytes).
// Characters a file name cannot hold (the control characters among them),
// or that separate folders, are written as '_', so no vessel name can place
// the file outside the data folder.
// Returns false, with `out` holding an empty text, when the name would not fit.
bool BuildRecordFileName(char* out, std::size_t size, const char* vesselName, int stamp);

// Every text the recorder builds, a data file's name or a line, is kept in
// a buffer of this size: at most 255 characters and a terminator.
constexpr std::size_t kRecordTextSize = 256;

// The data folder, relative to the host's root folder, and its separator.
inline constexpr char kDataFolderPrefix[] = "KestrelScribeData\\";

// The longest vessel name whose data file name fits in 255 characters with
// any stamp: "KestrelScribeData\" (18) + name + "_" (1) + the widest stamp
// "-2147483648" (11) + ".txt" (4) <= 255.
constexpr std::size_t kLongestRecordableName = kRecordTextSize - 1 - (sizeof kDataFolderPrefix - 1) - 1 - 11 - 4;

// Formats the line "%0.1f=pitch(%0.2f, %0.2f, %0.1f)"; false when it would
// not fit in `size` bytes.
bool FormatRecordLine(char* out, std::size_t size, double lastTime, double lastPitch, double pitch, double span);
