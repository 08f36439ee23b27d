# The Debian package of the Linux saver: `cpack -G DEB` in the build directory.
# Only the saver's own install component goes into it.
include_guard(GLOBAL)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "lumenfall")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Lumenfall")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lines of text burnt into a zooming, fading feedback trail")
set(CPACK_PACKAGE_DESCRIPTION
    "A screen saver for xscreensaver: lines of text fade in over a zooming, blurring\n"
    "feedback trail, burn into it and die away through red or blue.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_COMPONENTS_ALL x11saver)
set(CPACK_DEB_COMPONENT_INSTALL OFF)
set(CPACK_MONOLITHIC_INSTALL OFF)

set(CPACK_DEBIAN_PACKAGE_NAME "lumenfall")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Lumenfall maintainers <lumenfall@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION "x11")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver")
set(CPACK_STRIP_FILES ON)
# The libraries the program links (Xlib, its extension library and the C++ runtime):
# computed by dpkg-shlibdeps where it exists, else named by hand.
find_program(LUMENFALL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(LUMENFALL_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6, libx11-6, libxext6")
endif()

include(CPack)
