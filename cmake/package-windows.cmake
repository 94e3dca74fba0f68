# The portable program folder for Windows as a zip (CPack; scripts/package-windows.sh): the two
# programs; Qt's DLLs beside them and its plugins in folders of their kind, as Qt's deployment tool
# lays them out (platforms/qwindows.dll, styles/, imageformats/); the MinGW run-time DLLs they
# need; 7-Zip as qdata\7zip\q_unbz2.exe with its 7z.dll; the licence texts under licences/.
# libcurl and zlib are linked into the programs, so they bring no DLL.
get_target_property(brindle_qt_core Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(brindle_qt_bin ${brindle_qt_core} DIRECTORY)
get_filename_component(brindle_qt_prefix ${brindle_qt_bin} DIRECTORY)
set(brindle_qt_plugins
  ${brindle_qt_prefix}/plugins/platforms/qwindows.dll
  ${brindle_qt_prefix}/plugins/styles/qwindowsvistastyle.dll
  ${brindle_qt_prefix}/plugins/imageformats/qico.dll
  ${brindle_qt_prefix}/plugins/imageformats/qjpeg.dll
  ${brindle_qt_prefix}/plugins/imageformats/qgif.dll)
set(brindle_dll_dirs ${brindle_qt_bin} ${BRINDLE_MINGW_DLL_DIRS})
find_program(BRINDLE_OBJDUMP NAMES ${BRINDLE_MINGW_TRIPLE}-objdump REQUIRED)

install(TARGETS brindle brindle-cli RUNTIME DESTINATION .)
foreach(plugin ${brindle_qt_plugins})
  get_filename_component(kind ${plugin} DIRECTORY)
  get_filename_component(kind ${kind} NAME)
  install(FILES ${plugin} DESTINATION ${kind})
endforeach()
# The DLLs the programs and the plugins load, found as the loader would: only Qt's and the
# compiler's; the system's own (KERNEL32, msvcrt ...) stay out. (Names in any case: CMake may
# lower them for Windows.)
install(CODE "
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND ${BRINDLE_OBJDUMP})
  file(GET_RUNTIME_DEPENDENCIES
    EXECUTABLES $<TARGET_FILE:brindle> $<TARGET_FILE:brindle-cli>
    MODULES ${brindle_qt_plugins}
    DIRECTORIES ${brindle_dll_dirs}
    PRE_INCLUDE_REGEXES [[^([Qq][Tt]6|[Ll][Ii][Bb]).*\\.[Dd][Ll][Ll]$]]
    PRE_EXCLUDE_REGEXES [[.*]]
    RESOLVED_DEPENDENCIES_VAR found
    UNRESOLVED_DEPENDENCIES_VAR missing)
  if(missing)
    message(FATAL_ERROR \"DLLs the programs need and the build does not have: \${missing}\")
  endif()
  file(INSTALL \${found} DESTINATION \"\${CMAKE_INSTALL_PREFIX}\" FOLLOW_SYMLINK_CHAIN)
")

set(brindle_7zip ${BRINDLE_WINDOWS_DEPS}/7zip)
install(FILES ${brindle_7zip}/q_unbz2.exe ${brindle_7zip}/7z.dll DESTINATION qdata/7zip)
install(FILES ${brindle_7zip}/License.txt ${brindle_7zip}/copying.txt DESTINATION licences/7-Zip)
install(DIRECTORY ${brindle_qt_prefix}/licences/ DESTINATION licences/Qt)
install(FILES ${BRINDLE_WINDOWS_DEPS}/curl/licences/COPYING DESTINATION licences/curl)
if(EXISTS ${PROJECT_SOURCE_DIR}/LICENSE)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION licences/brindle)
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME brindle)
set(CPACK_PACKAGE_FILE_NAME brindle-${PROJECT_VERSION}-windows-x64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
