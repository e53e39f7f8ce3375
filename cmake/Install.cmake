# Installation and the Debian package: the player, its manual page and its
# desktop integration (a desktop entry and a shared-MIME-info type for
# "*.mvk"). The engine library and its companions are not the player's: the
# stand-in engine built for the tests and the demo is never installed.
#
# Included at the end of the top CMakeLists.txt: after the player's target,
# the MERVANE_BUILD_TESTS option and enable_testing().

include(GNUInstallDirs)

if(NOT TARGET mervane-player)
  message(FATAL_ERROR "cmake/Install.cmake must be included after add_subdirectory(app)")
endif()

set(MERVANE_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR}/../packaging)
cmake_path(NORMAL_PATH MERVANE_PACKAGING_DIR)

# Debian ships manual pages compressed; -n keeps the archive free of the
# build's time stamp, so the package is reproducible.
find_program(MERVANE_GZIP gzip REQUIRED)
set(MERVANE_MANPAGE_GZ ${CMAKE_BINARY_DIR}/packaging/mervane-player.1.gz)
add_custom_command(
  OUTPUT ${MERVANE_MANPAGE_GZ}
  COMMAND ${CMAKE_COMMAND} -E copy ${MERVANE_PACKAGING_DIR}/mervane-player.1
    ${CMAKE_BINARY_DIR}/packaging/mervane-player.1
  COMMAND ${MERVANE_GZIP} -9nf ${CMAKE_BINARY_DIR}/packaging/mervane-player.1
  DEPENDS ${MERVANE_PACKAGING_DIR}/mervane-player.1
  COMMENT "Compressing the manual page"
  VERBATIM)
add_custom_target(mervane-manpage ALL DEPENDS ${MERVANE_MANPAGE_GZ})

install(TARGETS mervane-player RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${MERVANE_MANPAGE_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${MERVANE_PACKAGING_DIR}/mervane-player.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${MERVANE_PACKAGING_DIR}/mervane-player.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${MERVANE_PACKAGING_DIR}/mervane-player.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The Debian package. The MIME database, the desktop database, the icon cache
# and the manual page index are refreshed by the dpkg triggers of the packages
# that own those tools, so the package carries no maintainer scripts.
set(MERVANE_PACKAGE_MAINTAINER "mervane-player maintainers <mervane-player@example.org>"
  CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mervane-player)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${MERVANE_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "standalone player of Mervane 3D application packages")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${MERVANE_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "mervane-player runs a packaged interactive 3D application, a .mvk file given
as a local path or a URL, in its window or full screen, and opens .mvk files
from the desktop.

The 3D engine is not included: the engine library MRVClient.DLL and its
companions OpenAL32.DLL and wrap_oal.DLL are installed separately, in the
per-user data directory ~/.local/share/Ombrica/Player/ or, for every user,
in /opt/Ombrica/Player/.")
# The browser the engine asks for is opened through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)

# dpkg-shlibdeps finds what the player links (the toolkit, GTK, X11). OpenAL
# Soft, which serves as OpenAL32.DLL, is only loaded at run time, so it is
# always named.
find_program(MERVANE_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(MERVANE_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libopenal1")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libwxgtk3.2-1, libwxbase3.2-1, libgtk-3-0, libx11-6, libstdc++6, libc6, libopenal1")
endif()

# "make package_source": the tracked sources, without build trees.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\.git/" "/\\.cache/" "/build[^/]*/")

# Installing and packaging take the build as it is: "make install" and cpack
# then need only the player and the manual page built, not every test and
# benchmark of the tree (build first: cmake --build, then cpack).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)

if(MERVANE_BUILD_TESTS)
  # The checks of the installed tree, the package and the manual page run the
  # built player: this fixture builds just the player and the compressed
  # manual page (nothing when they are current).
  add_test(NAME packaging.build
    COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target mervane-player mervane-manpage)
  set_tests_properties(packaging.build PROPERTIES FIXTURES_SETUP mervane_packaging_build)

  set(mervane_packaging_check ${CMAKE_CURRENT_LIST_DIR}/../tests/packaging/packaging_test.sh)
  cmake_path(NORMAL_PATH mervane_packaging_check)
  foreach(mervane_check desktop_entry mime_type manual_page install_tree debian_package)
    add_test(NAME packaging.${mervane_check}
      COMMAND bash ${mervane_packaging_check} ${mervane_check} ${MERVANE_PACKAGING_DIR}
        ${CMAKE_BINARY_DIR} $<TARGET_FILE:mervane-player> ${PROJECT_VERSION})
    set_tests_properties(packaging.${mervane_check} PROPERTIES TIMEOUT 120)
  endforeach()
  set_tests_properties(packaging.manual_page packaging.install_tree packaging.debian_package
    PROPERTIES FIXTURES_REQUIRED mervane_packaging_build)
  # Both install from the build tree, which writes its install manifest there.
  set_tests_properties(packaging.install_tree packaging.debian_package
    PROPERTIES RESOURCE_LOCK mervane_install_manifest)
endif()
