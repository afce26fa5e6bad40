// Replaces the global operator new and delete with counting versions. Kept
// in a file of its own so that the compiler never sees an allocation and
// its release inlined together with these definitions.
#include "tests/unit/AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace {
long allocations = 0;
}

long AllocationCount()
{
    return allocations;
}

void* operator new(std::size_t size)
{
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
