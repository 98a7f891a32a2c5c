# What both MinGW-w64 toolchains share; the including file sets MINGW_TRIPLET and
# CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)

# The win32 thread model: its static runtime needs nothing newer than Windows XP, where the
# POSIX model links winpthreads, which calls GetTickCount64 (Vista). Named with their suffix
# because installing both models leaves the unsuffixed names pointing at either.
set(CMAKE_C_COMPILER   ${MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER  ${MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Static: the programs must run from a bare folder, with no MinGW runtime DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Wine runs 32- and 64-bit programs alike once its 32-bit part is installed.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
