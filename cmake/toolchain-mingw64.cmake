# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix: the POSIX thread model,
# which std::thread and std::jthread need). The programs are linked statically, so that an .exe runs on a bare
# Windows (or under Wine) with no DLLs beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTRION_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTRION_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRION_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRION_MINGW_TRIPLET}-windres)

# Headers and libraries from the MinGW-w64 tree only; programs (code generators) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${KESTRION_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go into the .exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# CTest runs the Windows programs under Wine when it is there. Debian keeps Wine's loader out of the PATH.
find_program(KESTRION_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/lib/wine64 NO_CACHE)
if(KESTRION_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTRION_WINE})
endif()
