// Returns the host to the state a new kestrel-host process starts in, so that
// one process can play several flights (kestrel-host batch) and each flight
// still meets the host as a flight of its own would.
#pragma once

// Clears everything the host operations act on (vessels, displays, input
// boxes, files, registered modes, the handles InitLib was given), closes the
// trace and puts the C library back in its start-up "C" locale. Whatever
// state the host keeps for the length of a run must be cleared here too.
void ResetHost();
