# Cross-building for 64-bit Windows with Debian's MinGW-w64 (the posix
# thread model, which std::thread and std::mutex need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELIMO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELIMO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELIMO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELIMO_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELIMO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs carry their C and C++ runtimes, so a bare .exe runs on a
# machine without MinGW's DLLs (and under wine without a DLL path).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under wine (scripts/build-windows sets its prefix).
find_program(VELIMO_WINE wine)
if(VELIMO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELIMO_WINE})
endif()
