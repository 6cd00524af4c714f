# Shared by the two mingw-w64 toolchains; PELLMARK_TRIPLE names the target.
set(CMAKE_SYSTEM_NAME Windows)
# The -posix compilers: GoogleTest needs their std::mutex and std::thread.
set(CMAKE_C_COMPILER ${PELLMARK_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELLMARK_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PELLMARK_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${PELLMARK_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# No libgcc, libstdc++ or winpthread DLLs beside the program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
