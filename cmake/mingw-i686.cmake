set(CMAKE_SYSTEM_PROCESSOR i686)
set(PELLMARK_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Every x86 machine that runs a current Windows has SSE2; the engine scans 16 bytes at a time with it.
set(CMAKE_CXX_FLAGS_INIT "-msse2")
