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
  # Qt for Windows from scripts/build-windows-qt.sh, found through its qt.toolchain.cmake (the
  # preset's toolchain, which chains to ours). No Qt WebEngine for MinGW: the forum page and the
  # music page offer their pages to the system's browser.
  if(BRINDLE_WEB_ENGINE)
    message(FATAL_ERROR "Qt WebEngine is not built for MinGW: configure with "
      "-DBRINDLE_WEB_ENGINE=OFF (preset windows)")
  endif()
  if(NOT QT_CHAINLOAD_TOOLCHAIN_FILE)
    message(FATAL_ERROR "The window needs Qt for Windows: run scripts/build-windows-qt.sh and "
      "configure with the preset windows (or -DBRINDLE_BUILD_UI=OFF)")
  endif()
endif()

# Where the compiler keeps its run-time DLLs (libstdc++, libgcc, winpthread), which Qt's DLLs and
# plugins load: for the zip and for the tests under Wine.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
  OUTPUT_VARIABLE brindle_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(brindle_gcc_dlls ${brindle_libstdcxx} DIRECTORY)
set(BRINDLE_MINGW_DLL_DIRS ${brindle_gcc_dlls} /usr/${BRINDLE_MINGW_TRIPLE}/lib)

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

# Qt's own dialog texts in Chinese: Debian's catalogue (qt6-translations-l10n; a .qm file is the
# same on every system) goes beside the programs as translations/qtbase_zh_CN.qm, where the window
# looks for it: in the build folders for the programs and tests run from there, and in the zip.
if(BRINDLE_BUILD_UI)
  find_file(BRINDLE_QT_CATALOGUE qtbase_zh_CN.qm PATHS /usr/share/qt6/translations
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  foreach(folder src tests)
    file(COPY ${BRINDLE_QT_CATALOGUE} DESTINATION ${CMAKE_BINARY_DIR}/${folder}/translations)
  endforeach()
endif()
