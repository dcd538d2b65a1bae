# Cross-compiles for 32-bit Windows with Debian's MinGW-w64 (posix thread model)
# and runs Windows programs under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(MINGW_PREFIX i686-w64-mingw32)
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

# Debian's 32-bit loader (wine32) where it is installed.
find_program(QIBOR_WINE32 NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT QIBOR_WINE32)
  find_program(QIBOR_WINE32 NAMES wine)
endif()
if(QIBOR_WINE32)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QIBOR_WINE32})
endif()
