# Shared part of the mingw-w64 cross toolchains; the including file sets NURV_MINGW_TRIPLET.
set(CMAKE_SYSTEM_NAME Windows)
# The -posix variants: GoogleTest needs std::thread and std::mutex.
set(CMAKE_C_COMPILER ${NURV_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NURV_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${NURV_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${NURV_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static archives only: the executables must run without any mingw DLL beside them. (The platform
# file resets the library suffixes after this file, hence the per-package switch.)
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# -O2 rather than -O3 for Release: at -O3 g++ 12 reports a false -Wrestrict overlap inside
# std::string concatenation (GCC bug 105329), which -Werror turns into a failed build.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of the Release build")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of the Release build")
