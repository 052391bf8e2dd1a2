# The Debian package (make package, or cpack -G DEB in the build folder):
# the installed tree under /usr, its run-time dependencies, and the udev rule
# put to work at once.

set(CPACK_PACKAGE_NAME duolume)
set(CPACK_PACKAGE_VENDOR "The Duolume developers")
set(CPACK_PACKAGE_CONTACT "The Duolume developers <developers@duolume.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "display brightness on one curve over the ambient light")
set(CPACK_PACKAGE_DESCRIPTION
    "Duolume keeps the brightness of a laptop's built-in display and of attached
Apple USB monitors on one curve drawn over the ambient light level. A settings
window edits the curve; a small background agent, run by the user's systemd,
follows the light sensor and fades both displays along the curve.")

# The prefix is given to the install rules as the install prefix itself, so
# that paths written at install time (the desktop entry) name /usr and not
# the folder CPack stages the files in.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries come from dpkg-shlibdeps; these are used without being linked:
# Qt's platform plug-ins for the window, the session bus for the agent and
# the change notices, the user's systemd for the launch agent.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, dbus, systemd")
# The rule for the monitors needs udev; everything else works without it
# (containers and chroots have none).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev, dbus-user-session, iio-sensor-proxy")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst ${CMAKE_CURRENT_SOURCE_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/")
include(CPack)
