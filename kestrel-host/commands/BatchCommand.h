// kestrel-host batch: plays the flights of a list one after the other in one
// process, each as `run` would in a process of its own. Where starting the
// program is what costs (a 32-bit Windows build under an emulated Wine takes
// a minute or more just to start), one start serves every flight.
#pragma once

#include <filesystem>
#include <optional>

struct BatchOptions {
    std::filesystem::path list;
    std::optional<std::filesystem::path> module; // default: next to the program
    std::filesystem::path programFolder;
};

// The list: one flight a line, `FLIGHT<tab>ROOT`, optionally `<tab>TRACE`;
// empty lines and lines starting with '#' are skipped; relative paths are
// taken from the folder the batch starts in. Each flight is played as
// `run FLIGHT --root ROOT [--trace TRACE]` (module loaded afresh, host state
// new); what it prints goes to ROOT.out, its messages to ROOT.err, its exit
// code to ROOT.code. Returns 0 once every flight has been played, whatever
// their exit codes; 2 (after a message on stderr) for a list that cannot be
// read, before any flight is played.
int RunBatch(const BatchOptions& options);
