# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (posix thread model)
# and runs Windows programs under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_PREFIX x86_64-w64-mingw32)
find_program(MINGW_CC NAMES ${MINGW_PREFIX}-gcc-posix ${MINGW_PREFIX}-gcc REQUIRED)
find_program(MINGW_CXX NAMES ${MINGW_PREFIX}-g++-posix ${MINGW_PREFIX}-g++ REQUIRED)
set(CMAKE_C_COMPILER ${MINGW_CC})
set(CMAKE_CXX_COMPILER ${MINGW_CXX})
set(CMAKE_RC_COMPILER ${MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The 64-bit loader itself: with Debian's wine32 installed, `wine` goes
# through the 32-bit loader, which some machines cannot run.
find_program(QIBOR_WINE64 NAMES wine64 PATHS /usr/lib/wine)
if(NOT QIBOR_WINE64)
  find_program(QIBOR_WINE64 NAMES wine)
endif()
if(QIBOR_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QIBOR_WINE64})
endif()
