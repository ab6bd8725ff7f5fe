# 32-bit Windows build: the shipped NurvLoader.exe; its tests run under wine32.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(NURV_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
