// The plug-in shell: registration of the mode, the message handler, the
// date and version, and the load and unload notifications.
//
// modeId, exitRoutine, cachedVersion and whether the mode is registered are
// module-wide and outlive each test; every test starts them from a known
// state itself, so the order of the tests does not matter.
#include "module/ModuleEntry.h"

#include "tests/support/DisplayFixture.h"

#include <dlfcn.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

class ModuleEntry : public DisplayFixture {
protected:
    void SetUp() override
    {
        DisplayFixture::SetUp();
        ExitModule(nullptr); // no mode left registered by an earlier test
        modeId = 0;
        exitRoutine = nullptr;
        cachedVersion = 0;
        host().Reset();
        host().AddObject("Probe 7", 0.0);
        host().focus = host().Handle("Probe 7");
    }

    void TearDown() override
    {
        ExitModule(nullptr);
        exitRoutine = nullptr;
        DisplayFixture::TearDown();
    }
};

// ---- registration ----

TEST_F(ModuleEntry, InitModuleRegistersTheModeAndKeepsItsIdentifier)
{
    host().registerResult = 42;
    InitModule(nullptr);
    ASSERT_EQ(host().registeredModes.size(), 1u);
    const MFDMODESPEC& mode = host().registeredModes[0];
    EXPECT_STREQ(mode.name, "KestrelScribeMFD");
    EXPECT_EQ(mode.key, 0x19u);
    EXPECT_EQ(mode.msgproc, &ModeMessageHandler);
    EXPECT_EQ(modeId, 42);
}

TEST_F(ModuleEntry, ExitModuleUnregistersTheModeOnce)
{
    for (const int registered : {42, -1}) { // -1: a failed registration is unregistered as returned
        SCOPED_TRACE(registered);
        host().Reset();
        host().registerResult = registered;
        recorder = Recording("Probe 7");
        InitModule(nullptr);
        ExitModule(nullptr);
        EXPECT_EQ(host().unregisteredModes, std::vector<int>{registered});
        // The detach routine calls it again; by then the identifier may
        // belong to another mode.
        ExitModule(nullptr);
        EXPECT_EQ(host().unregisteredModes, std::vector<int>{registered});
        ExpectRecorderEq(Recording("Probe 7")); // the recorder goes on
    }
}

TEST_F(ModuleEntry, ARegistrationAfterAnExitIsUnregisteredAgain)
{
    host().registerResult = 42;
    InitModule(nullptr);
    ExitModule(nullptr);
    host().registerResult = 43;
    InitModule(nullptr);
    ExitModule(nullptr);
    ExitModule(nullptr);
    EXPECT_EQ(host().unregisteredModes, (std::vector<int>{42, 43}));
}

// ---- the message handler ----

TEST_F(ModuleEntry, AMessageOtherThanOneCreatesNothing)
{
    for (const std::uint32_t message : {0u, 2u, 3u, 0x100u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(message);
        EXPECT_EQ(ModeMessageHandler(message, 0, 512u | (256u << 16), 0), 0);
    }
    EXPECT_TRUE(host().constructedDisplays.empty());
    EXPECT_EQ(host().CallCount("oapiGetFocusObject"), 0);
}

TEST_F(ModuleEntry, MessageOneOpensADisplayOfThePackedSize)
{
    struct Case {
        std::uint32_t packed;
        DWORD width, height;
        std::string timeRow, pitchRow; // ch 10: H − 62 and H − 52
    };
    const Case cases[] = {
        {512u | (256u << 16), 512, 256, "text 4 194 Time  0.0", "text 4 204 Pitch 0.0"},
        {0xFFFFFFFFu, 65535, 65535, "text 4 65473 Time  0.0", "text 4 65483 Pitch 0.0"},
        {0x00010002u, 2, 1, "text 4 -61 Time  0.0", "text 4 -51 Pitch 0.0"},
    };
    int vesselObject = 0;
    const auto vessel = reinterpret_cast<std::intptr_t>(&vesselObject);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.timeRow);
        host().constructedDisplays.clear();
        std::strcpy(recorder.vesselName, "GL-01");

        const std::intptr_t result = ModeMessageHandler(1, 3, c.packed, vessel);
        ASSERT_NE(result, 0);
        MFD* display = reinterpret_cast<MFD*>(result);
        ASSERT_EQ(host().constructedDisplays.size(), 1u);
        const FakeDisplay& made = host().constructedDisplays[0];
        EXPECT_EQ(made.display, display);
        EXPECT_EQ(made.width, c.width);
        EXPECT_EQ(made.height, c.height);
        EXPECT_EQ(made.vessel, reinterpret_cast<VESSEL*>(vessel));
        EXPECT_STREQ(recorder.vesselName, "Probe 7"); // a display of this mode

        RecordingCanvas canvas;
        display->Redraw(&canvas);
        ASSERT_GE(canvas.log.size(), 2u);
        EXPECT_EQ(canvas.log[canvas.log.size() - 2], c.timeRow);
        EXPECT_EQ(canvas.log.back(), c.pitchRow);
        delete display; // as the host does: through the base's virtual destructor
    }
}

// ---- date and version ----

TEST_F(ModuleEntry, VersionIsComputedOnceFromTheFixedDate)
{
    host().date2IntResult = 100830;
    EXPECT_EQ(GetModuleVersion(), 100830);
    host().date2IntResult = 999999; // a later answer is never asked for
    EXPECT_EQ(GetModuleVersion(), 100830);
    EXPECT_EQ(GetModuleVersion(), 100830);
    EXPECT_EQ(host().date2IntTexts, std::vector<std::string>{"Aug 30 2010"});
}

TEST_F(ModuleEntry, AVersionOfZeroIsComputedAgain)
{
    host().date2IntResult = 0;
    EXPECT_EQ(GetModuleVersion(), 0);
    EXPECT_EQ(GetModuleVersion(), 0);
    host().date2IntResult = 100830;
    EXPECT_EQ(GetModuleVersion(), 100830);
    EXPECT_EQ(GetModuleVersion(), 100830);
    EXPECT_EQ(host().date2IntTexts, std::vector<std::string>(3, "Aug 30 2010"));
}

TEST_F(ModuleEntry, DateHasTheCompilersForm)
{
    const char* date = ModuleDate();
    ASSERT_NE(date, nullptr);
    // "Oct 12 2013", "Aug  3 2010": the day padded to two with a blank.
    const std::regex form("(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) ( [1-9]|[12][0-9]|3[01]) [0-9]{4}");
    EXPECT_TRUE(std::regex_match(date, form)) << date;
}

// ---- load and unload ----

std::vector<HINSTANCE> exitCalls;

void SpyExit(HINSTANCE module)
{
    exitCalls.push_back(module);
}

// The test program's own handle: like a module's instance handle, it finds
// the program's exports, ExitModule among them.
HINSTANCE OwnHandle()
{
    static void* const handle = ::dlopen(nullptr, RTLD_NOW);
    return handle;
}

TEST_F(ModuleEntry, AttachHandsTheHandleToTheHostAndFindsTheExitRoutine)
{
    ASSERT_NE(OwnHandle(), nullptr);
    EXPECT_EQ(DllMain(OwnHandle(), DLL_PROCESS_ATTACH, nullptr), TRUE);
    EXPECT_EQ(host().initLibHandles, std::vector<HINSTANCE>{OwnHandle()});
    EXPECT_EQ(exitRoutine, &ExitModule);
}

TEST_F(ModuleEntry, DetachCallsTheExitRoutineOnceWithTheHandle)
{
    exitCalls.clear();
    int handleObject = 0;
    HINSTANCE handle = &handleObject;
    exitRoutine = SpyExit;
    EXPECT_EQ(DllMain(handle, DLL_PROCESS_DETACH, nullptr), TRUE);
    EXPECT_EQ(exitCalls, std::vector<HINSTANCE>{handle});
    EXPECT_TRUE(host().calls.empty());
}

TEST_F(ModuleEntry, ThreadNotificationsDoNothing)
{
    exitCalls.clear();
    exitRoutine = SpyExit;
    for (const DWORD reason : {DWORD{DLL_THREAD_ATTACH}, DWORD{DLL_THREAD_DETACH}, DWORD{7}}) {
        SCOPED_TRACE(reason);
        EXPECT_EQ(DllMain(OwnHandle(), reason, nullptr), TRUE);
    }
    EXPECT_TRUE(exitCalls.empty());
    EXPECT_EQ(exitRoutine, &SpyExit);
    EXPECT_TRUE(host().calls.empty());
    EXPECT_TRUE(host().initLibHandles.empty());
}

TEST_F(ModuleEntry, DetachWithNoExitRoutineCallsNothing)
{
    EXPECT_EQ(DllMain(OwnHandle(), DLL_PROCESS_DETACH, nullptr), TRUE);
    EXPECT_TRUE(host().calls.empty());
}

TEST_F(ModuleEntry, ALoadedLifeUnregistersTheModeOnceWhoeverCallsExit)
{
    for (const bool hostCallsExit : {true, false}) {
        SCOPED_TRACE(hostCallsExit ? "host calls ExitModule" : "host does not");
        host().Reset();
        host().registerResult = 42;
        ASSERT_EQ(DllMain(OwnHandle(), DLL_PROCESS_ATTACH, nullptr), TRUE);
        InitModule(nullptr);
        if (hostCallsExit) {
            ExitModule(nullptr);
        }
        ASSERT_EQ(DllMain(OwnHandle(), DLL_PROCESS_DETACH, nullptr), TRUE);
        EXPECT_EQ(host().unregisteredModes, std::vector<int>{42});
    }
}

} // namespace
