// The module's outer shell: the entry points the host looks up by name, the
// registration of the display mode, and the mode's message handler.
#pragma once

#include "host/Mfd.h"
#include "module/ModuleExport.h"

#include <cstdint>

// The mode name, also drawn as the display title.
inline constexpr char kModeName[] = "KestrelScribeMFD";
// The key that opens the mode: P.
inline constexpr DWORD kModeKey = HOST_KEY_P;

typedef void (*ExitRoutine)(HINSTANCE);

extern int modeId;              // what the host returned on registration
extern ExitRoutine exitRoutine; // the module's own exit, found at attach
extern int cachedVersion;       // GetModuleVersion's answer, once computed

MODULE_EXPORT void MODULE_CDECL InitModule(HINSTANCE module);
MODULE_EXPORT void MODULE_CDECL ExitModule(HINSTANCE module);
MODULE_EXPORT const char* MODULE_CDECL ModuleDate();
MODULE_EXPORT int MODULE_CDECL GetModuleVersion();

// MFD_MESSAGE_OPENED opens a display of the mode: returns a new KestrelScribeMFD,
// which the host then owns. Any other message returns 0.
std::intptr_t MODULE_CDECL ModeMessageHandler(std::uint32_t message, std::uint32_t displayId,
                                              std::uint32_t packedSize, std::intptr_t vessel);
