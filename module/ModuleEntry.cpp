#include "module/ModuleEntry.h"

#include "display/KestrelScribeMFD.h"
#include "module/Version.h"

int modeId = 0;
ExitRoutine exitRoutine = nullptr;
int cachedVersion = 0;

namespace {

// Whether modeId is still registered with the host. ExitModule runs twice
// when the host calls it and the library is then unloaded; by the second
// time the identifier may already belong to another mode.
bool modeRegistered = false;

} // namespace

MODULE_EXPORT void MODULE_CDECL InitModule(HINSTANCE /*module*/)
{
    MFDMODESPEC mode;
    mode.name = kModeName;
    mode.key = kModeKey;
    mode.msgproc = ModeMessageHandler;
    modeId = oapiRegisterMFDMode(mode);
    modeRegistered = true;
}

MODULE_EXPORT void MODULE_CDECL ExitModule(HINSTANCE /*module*/)
{
    if (!modeRegistered) {
        return;
    }
    modeRegistered = false;
    oapiUnregisterMFDMode(modeId);
}

MODULE_EXPORT const char* MODULE_CDECL ModuleDate()
{
    return __DATE__;
}

MODULE_EXPORT int MODULE_CDECL GetModuleVersion()
{
    if (cachedVersion == 0) {
        cachedVersion = Date2Int(KESTREL_MODULE_VERSION_DATE);
    }
    return cachedVersion;
}

std::intptr_t MODULE_CDECL ModeMessageHandler(std::uint32_t message, std::uint32_t displayId,
                                              std::uint32_t packedSize, std::intptr_t vessel)
{
    if (message != MFD_MESSAGE_OPENED) {
        return 0;
    }
    const DWORD width = MfdPackedWidth(packedSize);
    const DWORD height = MfdPackedHeight(packedSize);
    // The host owns the instance from here on and deletes it through its
    // virtual destructor.
    auto* display = new KestrelScribeMFD(width, height, reinterpret_cast<VESSEL*>(vessel), displayId);
    return reinterpret_cast<std::intptr_t>(display);
}
