// How the host's operations cross into the module.
//
// The host program exports its operations and its display base class; the
// module imports them, as every plug-in of the host does. The host's own
// build defines KESTREL_HOST_SIDE.
#pragma once

#if defined(_WIN32)
#if defined(KESTREL_HOST_SIDE)
#define HOSTAPI __declspec(dllexport)
#else
#define HOSTAPI __declspec(dllimport)
#endif
#else
#define HOSTAPI __attribute__((visibility("default")))
#endif
