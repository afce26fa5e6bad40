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
// Characters a file name cannot hold, or that separate folders, are written
// as '_', so no vessel name can place the file outside the data folder.
// Returns false, with `out` holding an empty text, when the name would not fit.
bool BuildRecordFileName(char* out, std::size_t size, const char* vesselName, int stamp);

// Formats the line "%0.1f=pitch(%0.2f, %0.2f, %0.1f)"; false when it would
// not fit in `size` bytes.
bool FormatRecordLine(char* out, std::size_t size, double lastTime, double lastPitch, double pitch, double span);
