# Cross-compile the Windows programs for 32-bit Windows with MinGW-w64 (win32 threads) and
# run cross-built test programs through Wine's 32-bit part.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
