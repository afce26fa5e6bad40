// A step of the recorder allocates nothing from the heap, whether it
// samples, writes a line or has nothing to do. Counted through this
// program's own operator new (AllocationCounter.cpp); the fake host's call
// log is switched off so that only the module's allocations count.
#include "tests/support/RecorderFixture.h"

#include "tests/unit/AllocationCounter.h"

namespace {

using StepAllocation = RecorderFixture;

TEST_F(StepAllocation, NoStepAllocates)
{
    recorder.recording = 1;
    host().recordCalls = false; // the fake stores nothing now

    const long before = AllocationCount();
    Step(1.0, 25);  // samples at 0, 10, 20: two lines, and idle steps between
    recorder.recording = 0;
    Step(1.0, 5);   // off, file begun
    recorder.fileStarted = 0;
    Step(1.0, 5);   // off, stamp following the clock
    EXPECT_EQ(host().quietLines, 2);
    EXPECT_EQ(AllocationCount() - before, 0);
}

} // namespace
