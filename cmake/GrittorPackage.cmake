# The Debian package (scripts/package): cpack -G DEB in a tree configured
# with the prefix /usr.  The dependencies come from the binaries; the
# install rules (dist/install.cmake) put in what goes into it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME grittor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Korvane Systems")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "drive a stencil sandblasting machine over a serial line")
set(CPACK_PACKAGE_CONTACT "Korvane Systems <grittor@korvane.example>" CACHE STRING "Maintainer of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
# The summary above is the synopsis line; this is the long text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Grittor opens HPGL plots, collects the outlines drawn with each pen and
places the plot on the workpiece from points digitized with the machine's
joystick. It streams multi-pass blast jobs to the machine's controller, one
blast treatment per pen of the selected material.
.
Service engineers get a terminal on the line, the machine's settings, a jog
panel, servo tuning, calibration, a memory dump and firmware upload. The
package holds the application (grittor), headless tools (grittor-cli) and a
simulated machine (grittor-sim), so every flow can be tried without
hardware.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS bash-completion)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
include(CPack)
