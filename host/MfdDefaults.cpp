// What the display base class does where a display mode does not override
// it: nothing, and no key, button, label or menu taken. Every program that
// stands in for the host (kestrel-host, the benchmarks' host, the unit
// tests' double) compiles this one file; the plug-in never does, as it
// takes these from its host.
#include "host/Mfd.h"

void MFD::Redraw(HDC /*hdc*/) {}
bool MFD::OnKey(DWORD /*key*/) { return false; }
bool MFD::ConsumeKeyImmediate(char* /*keyState*/) { return false; }
bool MFD::OnButton(int /*button*/, int /*event*/) { return false; }
const char* MFD::ButtonText(int /*button*/) { return nullptr; }

// No menu: a caller that reads the pointer anyway finds none.
int MFD::ButtonMenuTable(const ButtonMenuEntry** menu)
{
    if (menu != nullptr) {
        *menu = nullptr;
    }
    return 0;
}

void MFD::WriteToScenario(SCENARIOHANDLE /*scenario*/) {}
void MFD::ReadFromScenario(SCENARIOHANDLE /*scenario*/) {}
void MFD::StoreStatus() const {}
void MFD::RecallStatus() {}
