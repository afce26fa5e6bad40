// The module draws with gdi32's SetTextColor and TextOutA, straight on the
// device context. To keep a record of those calls (the draw log, the SVG
// picture, the summary) the host routes the module's two imports through
// wrappers that record the call on the surface and then make it on GDI.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// Points the module's import entries for gdi32's SetTextColor and TextOutA
// at the host's recording wrappers. Unless both are found, the module's
// drawing is not recorded (DrawSurface::SeesModuleCalls() is false).
void CaptureModuleDrawing(HMODULE module);
bool ModuleDrawingCaptured();
