# Cross-build of the 32-bit Windows program with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(mingw_triplet i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
