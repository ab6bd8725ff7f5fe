# 64-bit Windows build; its executables (the tests) run under wine64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(NURV_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Debian's wine64 package installs the loader outside PATH unless the "wine" wrapper is present.
find_program(NURV_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib/wine64 NO_CMAKE_FIND_ROOT_PATH)
if(NURV_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${NURV_WINE64})
endif()
