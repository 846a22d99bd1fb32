# Shared settings of the two MinGW-w64 cross builds. The "-posix" compilers are
# needed: the win32-thread variants have no std::mutex, which GoogleTest uses.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Fully static: no libgcc, libstdc++ or libwinpthread DLL is needed beside the programs.
# Address space layout randomisation and no-execute data, on every program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--dynamicbase -Wl,--nxcompat ${MINGW_EXTRA_LINK_FLAGS}")
# Wine's 64-bit loader serves where the machine cannot run Wine's 32-bit one.
set(VELTRANE_WINE wine CACHE STRING "The Wine launcher the tests run under")
set(CMAKE_CROSSCOMPILING_EMULATOR ${VELTRANE_WINE})
