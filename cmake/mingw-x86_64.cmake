# Cross-build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64).
#
# The plug-in's true form is the 32-bit build (cmake/mingw-i686.cmake); this
# 64-bit one is the same code for the Windows runs on machines whose kernel
# cannot start 32-bit programs, where only 64-bit Wine works. SSE2 is the
# x86-64 baseline, so doubles round as in the other builds. The C and C++
# runtimes are linked statically: the DLL and the host program run with
# nothing but Windows beside them.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KESTREL_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
