# Cross-compile the Windows programs for x64 with MinGW-w64 (win32 threads) and run
# cross-built test programs through Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
