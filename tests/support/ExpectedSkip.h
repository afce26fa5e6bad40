// A test that cannot run here skips with KESTREL_EXPECTED_SKIP(why) when its
// not running is expected, and with a bare GTEST_SKIP() << why otherwise.
// ctest shows both as skipped (as it does the tests of a suite whose set-up
// failed); scripts/test.sh counts as a failure every skipped test whose
// output lacks the marker below, because a test that did not run can hide a
// fault. A test that has already failed gets no marker: its failure stands.
#pragma once

#include <gtest/gtest.h>

#define KESTREL_EXPECTED_SKIP(why) \
    GTEST_SKIP() << (::testing::Test::HasFailure() ? "" : "Skipped as expected: ") << why

// Defined in a build with AddressSanitizer (g++ and clang++ say so in their
// own ways), whose reserved address space no address-space limit can hold:
// the tests that run under such a limit skip there, as expected.
#if defined(__SANITIZE_ADDRESS__)
#define KESTREL_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTREL_ADDRESS_SANITIZER 1
#endif
#endif
