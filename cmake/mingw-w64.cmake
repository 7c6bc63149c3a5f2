# What the two MinGW-w64 toolchain files share; TELEGRAM_MINGW_TRIPLET names
# the compiler.

# The -posix compilers: their thread model has std::mutex, which GoogleTest needs.
set(CMAKE_C_COMPILER ${TELEGRAM_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TELEGRAM_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TELEGRAM_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TELEGRAM_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes linked in, so that the .exe needs nothing beside it
# on a bare Windows machine but KERNEL32, msvcrt and WS2_32.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest runs the cross-built tests under Wine: the loader in TELEGRAM_WINE
# (for example /usr/lib/wine/wine64, the 64-bit one), or else `wine`.
set(TELEGRAM_WINE "" CACHE FILEPATH "Wine loader that runs the cross-built tests")
if(TELEGRAM_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TELEGRAM_WINE})
else()
  find_program(WINE_PROGRAM wine)
  if(WINE_PROGRAM)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
  endif()
endif()
