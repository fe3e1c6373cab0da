# Cross build for 64-bit Windows with MinGW-w64. The -posix compiler variants
# carry the POSIX thread model; the default ones lack std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZENKS_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZENKS_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZENKS_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZENKS_MINGW_TRIPLE}-windres)

# The static Windows libraries built by scripts/build-windows live in their own
# prefix, searched like the MinGW system root.
set(CMAKE_FIND_ROOT_PATH /usr/${ZENKS_MINGW_TRIPLE})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZENKS_WIN_DEPS_PREFIX)
if(ZENKS_WIN_DEPS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${ZENKS_WIN_DEPS_PREFIX})
  list(APPEND CMAKE_PREFIX_PATH ${ZENKS_WIN_DEPS_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static, so that the programs run on a plain Windows (and under
# Wine) without MinGW's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run through Wine; scripts/test provides the prefix.
find_program(ZENKS_WINE wine)
if(ZENKS_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZENKS_WINE})
endif()
