set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PELLMARK_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# These machines run no 32-bit programs: the x86_64 build runs the tests under wine64.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec)
