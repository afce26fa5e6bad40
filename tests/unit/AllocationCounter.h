// Counts the program's heap allocations through its own operator new.
#pragma once

// How many times operator new has run in this program so far.
long AllocationCount();
