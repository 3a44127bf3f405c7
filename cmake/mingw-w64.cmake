# The part of a mingw-w64 cross-build both Windows toolchains share; the including file sets
# CMAKE_SYSTEM_PROCESSOR and mingw_triplet.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${mingw_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${mingw_triplet}-g++)
set(CMAKE_RC_COMPILER ${mingw_triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
