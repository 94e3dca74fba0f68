# The portable program folder for Windows as a zip (CPack; scripts/package-windows.sh): the two
# programs; Qt's DLLs beside them and its plugins in folders of their kind, as Qt's deployment tool
# lays them out (platforms/qwindows.dll, styles/, imageformats/); the MinGW run-time DLLs they
# need; 7-Zip as qdata\7zip\q_unbz2.exe with its 7z.dll; the licence texts under licences/.
# libcurl and zlib are linked into the programs, so they bring no DLL.
find_package(Qt6 REQUIRED COMPONENTS Core)  # its targets are local to the folder that found them
get_target_property(brindle_qt_core Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(brindle_qt_bin ${brindle_qt_core} DIRECTORY)
get_filename_component(brindle_qt_prefix ${brindle_qt_bin} DIRECTORY)
set(brindle_qt_plugins
  ${brindle_qt_prefix}/plugins/platforms/qwindows.dll
  ${brindle_qt_prefix}/plugins/styles/qwindowsvistastyle.dll
  ${brindle_qt_prefix}/plugins/imageformats/qico.dll
  ${brindle_qt_prefix}/plugins/imageformats/qjpeg.dll
  ${brindle_qt_prefix}/plugins/imageformats/qgif.dll)

install(TARGETS brindle brindle-cli RUNTIME DESTINATION .)
foreach(plugin ${brindle_qt_plugins})
  get_filename_component(kind ${plugin} DIRECTORY)
  get_filename_component(kind ${kind} NAME)
  install(FILES ${plugin} DESTINATION ${kind})
endforeach()
# The DLLs the programs and the plugins load, besides the system's own: Qt's three (the programs
# link libcurl, zlib and the C++ run-time statically) and the compiler's run-time that Qt's DLLs
# and plugins name (libstdc++ with libgcc and winpthread). scripts/test-windows-window.sh runs
# brindle.exe from the unpacked zip with no other DLL folder, so a missing one fails there.
set(brindle_dlls ${brindle_qt_bin}/Qt6Core.dll ${brindle_qt_bin}/Qt6Gui.dll
  ${brindle_qt_bin}/Qt6Widgets.dll)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  find_file(brindle_dll_${dll} ${dll} PATHS ${BRINDLE_MINGW_DLL_DIRS} NO_DEFAULT_PATH
    NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  list(APPEND brindle_dlls ${brindle_dll_${dll}})
endforeach()
install(FILES ${brindle_dlls} DESTINATION .)

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
install(FILES ${BRINDLE_QT_CATALOGUE} DESTINATION translations)
