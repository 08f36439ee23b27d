# The Debian package of the Linux saver: `cpack -G DEB` in a built build directory.
#
# Only the saver's own install component goes into it, and packing builds nothing:
# instead of installing the whole project (which first builds every target of every
# front end), CPack runs one script that installs the x11saver component from the
# files already built.
include_guard(GLOBAL)

file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/LumenfallPackageInstall.cmake CONTENT [=[
# Run by CPack, which points DESTDIR at its staging directory.
if(CPACK_PACKAGING_INSTALL_PREFIX)
  set(CMAKE_INSTALL_PREFIX "${CPACK_PACKAGING_INSTALL_PREFIX}")
else()
  set(CMAKE_INSTALL_PREFIX "/usr")
endif()
set(CMAKE_INSTALL_COMPONENT "x11saver")
set(CMAKE_INSTALL_DO_STRIP 1)
include("@CMAKE_BINARY_DIR@/platform/x11/cmake_install.cmake")
]=] @ONLY)
set(CPACK_INSTALL_CMAKE_PROJECTS "")
set(CPACK_INSTALL_SCRIPTS "${CMAKE_BINARY_DIR}/LumenfallPackageInstall.cmake")

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "lumenfall")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Lumenfall")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lines of text burnt into a zooming, fading feedback trail")
set(CPACK_PACKAGE_DESCRIPTION
    "A screen saver for xscreensaver and Wayland compositors: lines of text fade in over a\n"
    "zooming, blurring feedback trail, burn into it and die away through red or blue.\n"
    "On Wayland it also runs as a live wallpaper or as an idle overlay (wlr-layer-shell).")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")

set(CPACK_DEBIAN_PACKAGE_NAME "lumenfall")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Lumenfall maintainers <lumenfall@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION "x11")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver | swayidle")
# The libraries the program links (Xlib, its extension library, the Wayland client
# library and the C++ runtime):
# computed by dpkg-shlibdeps where it exists, else named by hand.
find_program(LUMENFALL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(LUMENFALL_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6, libx11-6, libxext6, libxrandr2, libxinerama1, libxrender1, libwayland-client0")
endif()

include(CPack)
