// The library's load and unload notifications.
#include "module/ModuleEntry.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH: {
        InitLib(instance);
        // The host's own lookup: the exit routine by its current name, then
        // by the name older modules used.
        FARPROC found = GetProcAddress(instance, "ExitModule");
        if (found == nullptr) {
            found = GetProcAddress(instance, "opcDLLExit");
        }
        exitRoutine = reinterpret_cast<ExitRoutine>(reinterpret_cast<void (*)()>(found));
        break;
    }
    case DLL_PROCESS_DETACH:
        if (exitRoutine != nullptr) {
            exitRoutine(instance);
        }
        break;
    default:
        break;
    }
    return TRUE;
}
