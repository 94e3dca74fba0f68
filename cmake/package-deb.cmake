# The Linux package: `cpack --preset deb` after building the release preset (scripts/package-deb.sh
# does both). The programs go to /usr/bin, the forum page's browser engine where the window looks
# for it (../lib/<multiarch>/brindle from the programs), a desktop entry and its icon. Debian's own
# packages supply Qt, libcurl and 7-Zip: dpkg-shlibdeps names the libraries the programs link, the
# rest is named here.
install(TARGETS brindle-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET brindle)
  install(TARGETS brindle RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES packaging/linux/brindle.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES packaging/linux/brindle.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
if(TARGET brindle_web)
  install(TARGETS brindle_web LIBRARY DESTINATION ${BRINDLE_WEB_INSTALL_DIR})
endif()
install(FILES packaging/linux/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The package is made from what the script built, not from everything (benchmarks, brindle-sim).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_PACKAGE_NAME brindle)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Companion of the Brindle CS:GO/CS2 community: servers, maps, favourites, forum")
set(CPACK_PACKAGE_DESCRIPTION
  "Lists the community's game servers by game mode and queries favourites live, joins a server\n\
through Steam, downloads missing maps from the community's mirrors and installs them into the\n\
game, keeps the model patch current and logs into the forum. brindle is the window, brindle-cli\n\
the same program for the command line. An installed program keeps its files in\n\
~/.local/share/brindle.")
set(CPACK_PACKAGE_CONTACT "Brindle companion developers <dev@brindle.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
  GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Besides the linked libraries: the extractor (7zz), Qt's X11 and Wayland platform plugins, and
# fonts that hold the window's Chinese texts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "7zip, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, xdg-utils")
include(CPack)
