# Cross build for 64-bit Windows with mingw-w64; built programs run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix thread model: GoogleTest needs std::mutex, which the win32 model lacks.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program, test programs included, carries its runtime so wine needs no DLLs of the compiler.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest and test discovery run .exe files through wine, in a prefix of the build's own,
# quietly and without offering to install its add-ons.
find_program(SPANFETCH_WINE NAMES wine wine64)
if(SPANFETCH_WINE)
  set(SPANFETCH_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env "WINEPREFIX=${SPANFETCH_WINEPREFIX}" WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=" "${SPANFETCH_WINE}")
endif()
