// The recorder's engine, called by the host once per simulation step.
#pragma once

#include "module/ModuleExport.h"

// Advances the recorder by one step of `simdt` seconds: refreshes the file
// stamp while no file is begun, and while recording is on moves the time
// axis, samples the pitch when due and appends a line per stretch between
// two samples of the same vessel. `simt` and `mjd` are the host's and not
// used.
MODULE_EXPORT void MODULE_CDECL opcPreStep(double simt, double simdt, double mjd);

// The stamp's unit: 1/10000 day, 8.64 seconds of the computer clock.
constexpr double kStampUnitsPerDay = 10000.0;

// The clock reading in units of 1/10000 day, truncated toward zero and held
// within the range of the stamp (a reading that is not a number gives 0).
int StampFromClock(double mjd);
