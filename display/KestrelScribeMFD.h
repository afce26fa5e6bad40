// The display mode: a view of, and the controls for, the one recorder.
#pragma once

#include "host/Mfd.h"

// The host creates one instance per display that shows the mode and deletes
// it through the virtual destructor. An instance holds nothing of its own:
// every instance shows and drives the same RecorderState.
class KestrelScribeMFD : public MFD {
public:
    // Points the recorder at the vessel that has the input focus and makes
    // sure the data folder exists. The display identifier is not used.
    KestrelScribeMFD(DWORD width, DWORD height, VESSEL* vesselPointer, DWORD displayId);
    ~KestrelScribeMFD() override;

    void Redraw(HDC hdc) override;

    bool OnKey(DWORD key) override;
    bool OnButton(int button, int event) override;
    const char* ButtonText(int button) override;
    int ButtonMenuTable(const ButtonMenuEntry** menu) override;

    void WriteToScenario(SCENARIOHANDLE scenario) override;
    void ReadFromScenario(SCENARIOHANDLE scenario) override;
};

// The input boxes' answers; `userData` is the instance that opened the box.
bool OnVesselEntered(void* hostValue, const char* text, void* userData);
bool OnIntervalEntered(void* hostValue, const char* text, void* userData);
