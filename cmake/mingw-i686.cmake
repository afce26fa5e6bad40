# Cross-build for 32-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-i686).
#
# Doubles are computed with SSE2, not the x87 unit, so that every rounding
# matches the x86-64 build and the data files are identical on both. The
# C and C++ runtimes are linked statically: the DLL and the host program run
# with nothing but Windows beside them.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KESTREL_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
