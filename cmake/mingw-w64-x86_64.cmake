# Cross build for Windows x86-64 with Debian's mingw-w64 compiler (posix
# threads). Programs built here run under wine64 through scripts/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HBX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${HBX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HBX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${HBX_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${HBX_MINGW_TRIPLE}-objdump CACHE FILEPATH "the cross objdump")

# Libraries and headers come from the cross root only: the host's /usr/include
# would put glibc's headers on the include path.
set(CMAKE_FIND_ROOT_PATH /usr/${HBX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)

# Programs and loadable modules carry the compiler's runtime libraries, as
# the model library does, so that they run with no DLL of the compiler.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
