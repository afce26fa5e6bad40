// The host's multi-function display: the base class of every display mode,
// and the two records the host reads from a mode (the numbers it passes a
// mode are in host/HostCodes.h).
#pragma once

#include "host/HostApi.h"
#include "host/HostCodes.h"

class VESSEL; // opaque to the module

class MFD;

// Registration of a display mode: name, key code, message handler.
struct MFDMODESPEC {
    const char* name;
    DWORD key;
    std::intptr_t (*msgproc)(std::uint32_t message, std::uint32_t displayId, std::uint32_t packedSize,
                             std::intptr_t vessel);
};

// One line of a button menu. The host reads an array of these packed: the
// next entry starts at the byte right after `selection`.
#pragma pack(push, 1)
struct ButtonMenuEntry {
    const char* line1;
    const char* line2;
    char selection;
};
#pragma pack(pop)

class HOSTAPI MFD {
public:
    MFD(DWORD width, DWORD height, VESSEL* vessel);
    virtual ~MFD();

    virtual void Redraw(HDC hdc);
    virtual bool OnKey(DWORD key);
    virtual bool ConsumeKeyImmediate(char* keyState);
    virtual bool OnButton(int button, int event);
    virtual const char* ButtonText(int button);
    virtual int ButtonMenuTable(const ButtonMenuEntry** menu);
    virtual void WriteToScenario(SCENARIOHANDLE scenario);
    virtual void ReadFromScenario(SCENARIOHANDLE scenario);
    virtual void StoreStatus() const;
    virtual void RecallStatus();

    // Draws the display's title.
    void Title(HDC hdc, const char* title) const;
    // Selects display font `index` into `hdc`; returns the font chosen.
    HFONT SelectDefaultFont(HDC hdc, DWORD index) const;
    // Asks the host to redraw this display.
    void InvalidateDisplay();

protected:
    DWORD displayWidth;
    DWORD displayHeight;
    DWORD charWidth;
    DWORD charHeight;
    VESSEL* vessel;
};
