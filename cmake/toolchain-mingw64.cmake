# 64-bit Windows with Debian's MinGW-w64 (posix thread model: std::thread and std::mutex need it).
#   cmake --preset windows            (scripts/build-windows.sh does everything)
# BRINDLE_WINDOWS_DEPS names a folder of cross-built libraries (curl/ under it); the host's
# /usr/include is never searched, only its header-only nlohmann-json (see the top CMakeLists).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BRINDLE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BRINDLE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRINDLE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BRINDLE_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${BRINDLE_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${BRINDLE_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

if(NOT BRINDLE_WINDOWS_DEPS)
  set(BRINDLE_WINDOWS_DEPS "$ENV{BRINDLE_WINDOWS_DEPS}")
endif()
if(NOT BRINDLE_WINDOWS_DEPS)
  get_filename_component(BRINDLE_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build/windows-deps"
    ABSOLUTE)
endif()
set(BRINDLE_WINDOWS_DEPS "${BRINDLE_WINDOWS_DEPS}" CACHE PATH "Cross-built libraries for Windows")
# try_compile projects see these too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BRINDLE_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${BRINDLE_MINGW_TRIPLE} ${BRINDLE_WINDOWS_DEPS}/curl)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs that run under Wine (or on a bare Windows) without the compiler's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# Tests and helpers built for Windows run through Wine here.
find_program(BRINDLE_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(BRINDLE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${BRINDLE_WINE})
endif()
