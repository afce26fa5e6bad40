// The draw surface's capture of the module's drawing on Windows. The module
// draws with gdi32's SetTextColor and TextOutA, straight on the device
// context; to keep a record of those calls (the draw log, the SVG picture,
// the summary) its two imports are routed through wrappers that record the
// call on the surface and then make it on GDI. Unless both are found, the
// module's drawing is not recorded (SeesModuleCalls() is false).
//
// Import address table interception: a loaded DLL calls each imported
// function through a pointer in its import address table, which the loader
// filled in. Rewriting the two gdi32 pointers of the module makes its calls
// land in the wrappers below, which record and then call GDI themselves (the
// host's own calls go through the host's table, so they are not caught).
#include "kestrel-host/pictures/DrawSurface.h"

#include <cstring>

namespace {

bool captured = false;

COLORREF WINAPI RecordedSetTextColor(HDC hdc, COLORREF color)
{
    if (DrawSurface* surface = DrawSurface::Of(hdc)) {
        surface->Calls().SetTextColor(color);
    }
    return ::SetTextColor(hdc, color);
}

BOOL WINAPI RecordedTextOutA(HDC hdc, int x, int y, LPCSTR text, int length)
{
    if (DrawSurface* surface = DrawSurface::Of(hdc) ; surface != nullptr && text != nullptr && length >= 0) {
        surface->Calls().TextOut(x, y, text, length);
    }
    return ::TextOutA(hdc, x, y, text, length);
}

// Replaces one import table entry; the table may lie in read-only memory.
bool Replace(ULONG_PTR& entry, ULONG_PTR wrapper)
{
    DWORD previous = 0;
    if (!::VirtualProtect(&entry, sizeof entry, PAGE_READWRITE, &previous)) {
        return false;
    }
    entry = wrapper;
    ::VirtualProtect(&entry, sizeof entry, previous, &previous);
    return true;
}

} // namespace

void DrawSurface::CaptureModuleCalls(void* module)
{
    captured = false;
    auto* base = static_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return;
    }
    int replaced = 0;
    for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); dll->Name != 0; ++dll) {
        if (_stricmp(reinterpret_cast<const char*>(base + dll->Name), "gdi32.dll") != 0 ||
            dll->OriginalFirstThunk == 0) {
            continue;
        }
        // The names, in the lookup table, stand beside the addresses the
        // loader wrote into the address table.
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
        auto* address = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++address) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) {
                continue;
            }
            const char* function =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name;
            ULONG_PTR wrapper = 0;
            if (std::strcmp(function, "SetTextColor") == 0) {
                wrapper = reinterpret_cast<ULONG_PTR>(&RecordedSetTextColor);
            } else if (std::strcmp(function, "TextOutA") == 0) {
                wrapper = reinterpret_cast<ULONG_PTR>(&RecordedTextOutA);
            }
            if (wrapper != 0 && Replace(address->u1.Function, wrapper)) {
                ++replaced;
            }
        }
    }
    captured = replaced == 2; // a record missing either call would mislead
}

bool DrawSurface::SeesModuleCalls()
{
    return captured;
}
