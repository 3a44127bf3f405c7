# Cross-build of the same Windows program for x86-64 with mingw-w64. Only the Wine tests use
# it, on machines that cannot run 32-bit programs; the shipped program stays 32-bit.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(mingw_triplet x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
