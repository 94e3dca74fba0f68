# Dependencies of the Windows builds. Cross-built here (cmake/toolchain-mingw64.cmake): libcurl
# from scripts/build-windows-curl.sh and nlohmann-json from a folder that holds nothing but it,
# so nothing else of the build machine's own /usr/include is searched. Built on Windows: the
# packages as CMake finds them (vcpkg, README).
if(NOT CMAKE_CROSSCOMPILING)
  find_package(CURL REQUIRED)
  find_package(nlohmann_json 3 REQUIRED)
  return()
endif()

if(BRINDLE_BUILD_UI)
  message(FATAL_ERROR "The window is not cross-built: configure with -DBRINDLE_BUILD_UI=OFF "
    "(preset windows), or build it on Windows with Qt's own SDK (README, Windows)")
endif()

# zlib (gzip bodies) linked statically too: no zlib1.dll beside the programs.
find_library(ZLIB_LIBRARY NAMES libz.a REQUIRED)
find_package(ZLIB REQUIRED)
find_package(CURL CONFIG QUIET)
if(NOT TARGET CURL::libcurl)
  message(FATAL_ERROR "libcurl for Windows not found under ${BRINDLE_WINDOWS_DEPS}/curl: run "
    "scripts/build-windows-curl.sh (or scripts/build-windows.sh)")
endif()
# The static library needs CURL_STATICLIB and the system libraries Schannel and the resolver use
# (curl's own package names most of them; these make sure).
set_property(TARGET CURL::libcurl APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS CURL_STATICLIB)
set_property(TARGET CURL::libcurl APPEND PROPERTY INTERFACE_LINK_LIBRARIES ZLIB::ZLIB ws2_32 crypt32
  secur32 bcrypt advapi32)

set(BRINDLE_NLOHMANN_INCLUDE "/usr/include" CACHE PATH
  "Folder holding nlohmann/json.hpp (header-only; Debian: nlohmann-json3-dev)")
if(NOT EXISTS ${BRINDLE_NLOHMANN_INCLUDE}/nlohmann/json.hpp)
  message(FATAL_ERROR "nlohmann/json.hpp not found under ${BRINDLE_NLOHMANN_INCLUDE}")
endif()
set(nlohmann_only ${CMAKE_BINARY_DIR}/nlohmann-include)
file(MAKE_DIRECTORY ${nlohmann_only})
file(CREATE_LINK ${BRINDLE_NLOHMANN_INCLUDE}/nlohmann ${nlohmann_only}/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${nlohmann_only})
