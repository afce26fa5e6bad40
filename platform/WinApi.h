// The few Windows operations the module calls, under their Windows names.
//
// On Windows this is simply <windows.h>. Elsewhere the same names and types
// are declared here and implemented in platform/linux/, so that the module's
// code reads the same on both platforms:
//   - a device context is a pointer to a DeviceContext, a canvas supplied by
//     whoever asks the module to draw (the stand-in host, or a test);
//   - CreateDirectoryA creates a folder, taking '\' as a folder separator;
//   - GetProcAddress looks a name up in a loaded shared library;
//   - DllMain is called on load and unload by platform/linux/LoadHooks.cpp.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#else

#include <cstdint>

typedef std::uint32_t DWORD;
typedef int BOOL;
typedef std::uint32_t COLORREF;
typedef void* LPVOID;
typedef void* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef void* HFONT;
typedef struct SecurityAttributes* LPSECURITY_ATTRIBUTES;
typedef std::intptr_t (*FARPROC)();

#define WINAPI
#define TRUE 1
#define FALSE 0

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// What a device context is on this platform: a surface that takes the two
// drawing calls the module makes. Implemented by the caller of Redraw.
class DeviceContext {
public:
    virtual ~DeviceContext() = default;
    // Sets the colour of the text drawn from now on; returns the previous one.
    virtual COLORREF SetTextColor(COLORREF color) = 0;
    // Draws `length` bytes of `text` with its reference point at (x, y).
    virtual BOOL TextOut(int x, int y, const char* text, int length) = 0;
};
typedef DeviceContext* HDC;

COLORREF SetTextColor(HDC hdc, COLORREF color);
BOOL TextOutA(HDC hdc, int x, int y, const char* text, int length);
BOOL CreateDirectoryA(const char* path, LPSECURITY_ATTRIBUTES security);
FARPROC GetProcAddress(HMODULE module, const char* name);

#endif
