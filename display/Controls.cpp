// Keys, buttons, the button menu and the input boxes of the display mode.
#include "display/KestrelScribeMFD.h"

#include "display/LiveDisplays.h"
#include "recorder/RecordFile.h"
#include "recorder/RecorderState.h"
#include "text/ScanText.h"

#include <cstring>

namespace {

// The keys A, B and N.
constexpr DWORD kRecordToggleKey = HOST_KEY_A;
constexpr DWORD kVesselInputKey = HOST_KEY_B;
constexpr DWORD kIntervalInputKey = HOST_KEY_N;

constexpr DWORD kButtonKeys[3] = {kRecordToggleKey, kVesselInputKey, kIntervalInputKey};
constexpr const char* kButtonLabels[3] = {"REC", "VES", "INT"};

const ButtonMenuEntry kButtonMenu[3] = {
    {"Record On/Off", nullptr, 'A'},
    {"Select Vessel", nullptr, 'B'},
    {"Data Interval", nullptr, 'N'},
};

constexpr int kInputBoxWidth = 30;

void RedrawIfLive(void* userData)
{
    if (KestrelScribeMFD* display = FindLiveDisplay(userData)) {
        display->InvalidateDisplay();
    }
}

} // namespace

bool KestrelScribeMFD::OnKey(DWORD key)
{
    switch (key) {
    case kRecordToggleKey:
        // Switching on begins a new data file; a switch value other than 0
        // or 1 (only a scenario sets one) is left alone.
        if (recorder.recording == 0) {
            recorder.fileStarted = 0;
            recorder.recording = 1;
        } else if (recorder.recording == 1) {
            recorder.recording = 0;
        }
        return true;
    case kVesselInputKey:
        oapiOpenInputBox("Enter Vessel Name", OnVesselEntered, nullptr, kInputBoxWidth, this);
        return true;
    case kIntervalInputKey:
        oapiOpenInputBox("Enter Data Point Interval", OnIntervalEntered, nullptr, kInputBoxWidth, this);
        return true;
    default:
        return false;
    }
}

bool KestrelScribeMFD::OnButton(int button, int event)
{
    if ((event & MFD_BUTTON_PRESSED) == 0 || button < 0 || button > 2) {
        return false;
    }
    return OnKey(kButtonKeys[button]);
}

const char* KestrelScribeMFD::ButtonText(int button)
{
    return button >= 0 && button <= 2 ? kButtonLabels[button] : nullptr;
}

int KestrelScribeMFD::ButtonMenuTable(const ButtonMenuEntry** menu)
{
    if (menu != nullptr) {
        *menu = kButtonMenu;
    }
    return 3;
}

bool OnVesselEntered(void* /*hostValue*/, const char* text, void* userData)
{
    // A name whose data file name could not fit is refused: taking it would
    // show "On" and write nothing. (A longer name cut to fit would be some
    // other vessel's.)
    if (text == nullptr || std::strlen(text) > kLongestRecordableName) {
        return false;
    }
    if (oapiGetObjectByName(text) == nullptr) {
        return false;
    }
    if (std::strcmp(text, recorder.vesselName) != 0) {
        std::strcpy(recorder.vesselName, text);
        ResetTimeAxis();
        RedrawIfLive(userData);
    }
    return true;
}

bool OnIntervalEntered(void* /*hostValue*/, const char* text, void* userData)
{
    if (text == nullptr) {
        return false;
    }
    // A text with no number leaves intervalEntry as the last entry set it,
    // and that number is applied again. A number beyond single precision is
    // refused outright, so no infinite interval gets through.
    if (ScanFloat(text, recorder.intervalEntry) == ScanStatus::OutOfRange) {
        return false;
    }
    if (recorder.intervalEntry > 0) {
        recorder.interval = static_cast<double>(recorder.intervalEntry);
        RedrawIfLive(userData);
        return true;
    }
    return false;
}
