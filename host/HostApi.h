// The host's operations that the module calls.
//
// Handles are opaque: the module keeps none of them beyond the call in which
// it got it. Texts are single-byte, terminated.
#pragma once

#include "host/HostExport.h"
#include "platform/WinApi.h"

#include <cstdint>

typedef void* OBJHANDLE;
typedef void* FILEHANDLE;
typedef void* SCENARIOHANDLE;

// How a file is opened: 1 writes a new file, 2 appends to it.
enum FileAccessMode : int {
    FILE_WRITE = 1,
    FILE_APPEND = 2,
};

// The folder a file path is relative to.
enum PathRoot : int {
    ROOT = 0, // the host's root folder
};

// An input box's answer: (host value, text typed, user data) -> accepted?
typedef bool (*InputCallback)(void* hostValue, const char* text, void* userData);

struct MFDMODESPEC;

HOSTAPI int oapiRegisterMFDMode(MFDMODESPEC& mode);
HOSTAPI void oapiUnregisterMFDMode(int modeId);
HOSTAPI void InitLib(HINSTANCE module);
HOSTAPI int Date2Int(const char* date);

HOSTAPI OBJHANDLE oapiGetFocusObject();
HOSTAPI void oapiGetObjectName(OBJHANDLE object, char* name, int size);
HOSTAPI OBJHANDLE oapiGetObjectByName(const char* name);
HOSTAPI int oapiGetPitch(OBJHANDLE object, double* pitch);
HOSTAPI double oapiGetSysMJD();

HOSTAPI FILEHANDLE oapiOpenFile(const char* path, FileAccessMode mode, PathRoot root);
HOSTAPI void oapiWriteLine(FILEHANDLE file, const char* line);
HOSTAPI void oapiCloseFile(FILEHANDLE file, FileAccessMode mode);

HOSTAPI bool oapiOpenInputBox(const char* title, InputCallback callback, const char* initialText,
                              int visibleLength, void* userData);

HOSTAPI void oapiWriteScenario_int(SCENARIOHANDLE scenario, const char* key, int value);
HOSTAPI void oapiWriteScenario_string(SCENARIOHANDLE scenario, const char* key, const char* value);
HOSTAPI bool oapiReadScenario_nextline(SCENARIOHANDLE scenario, char*& line);
