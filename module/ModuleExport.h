// How the module's entry points are exported to the host: under their plain
// names, with the caller-cleans-up calling convention, and nothing else of
// the module visible from outside.
#pragma once

#if defined(_WIN32)
#define MODULE_EXPORT extern "C" __declspec(dllexport)
#define MODULE_CDECL __cdecl
#else
#define MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#define MODULE_CDECL
#endif
