# The Debian package (make package, or cpack -G DEB in the build folder):
# the installed tree under /usr, its run-time dependencies, and the udev rule
# put to work at once.

set(CPACK_PACKAGE_NAME duolume)
set(CPACK_PACKAGE_VENDOR "The Duolume developers")
set(CPACK_PACKAGE_CONTACT "The Duolume developers <developers@duolume.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})

# A package is built for the release it is built on: its dependencies are
# that release's packages (libplist3 on Debian 12, libplist-2.0-4 on 13, as
# dpkg-shlibdeps finds them), so its version names the release, and packages
# for several releases can sit side by side in one folder or repository:
# 1.0.0-1~deb12, 1.0.0-1~deb13 (1.0.0-1~ubuntu24.04 on Ubuntu; 1.0.0-1 where
# /etc/os-release gives no version, as on Debian testing).
set(DUOLUME_PACKAGE_REVISION "" CACHE STRING
    "Debian revision of the package (default: 1~debNN for this machine's release)")
set(os_ID "")
set(os_VERSION_ID "")
set(os_VERSION_CODENAME "")
set(os_PRETTY_NAME "")
if(EXISTS /etc/os-release)
  file(STRINGS /etc/os-release os_release REGEX "^(ID|VERSION_ID|VERSION_CODENAME|PRETTY_NAME)=")
  foreach(line ${os_release})
    if(line MATCHES "^([A-Z_]+)=\"?([^\"]*)\"?$")
      set(os_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
    endif()
  endforeach()
endif()
if(DUOLUME_PACKAGE_REVISION)
  set(CPACK_DEBIAN_PACKAGE_RELEASE ${DUOLUME_PACKAGE_REVISION})
elseif(os_ID STREQUAL "debian" AND os_VERSION_ID)
  set(CPACK_DEBIAN_PACKAGE_RELEASE "1~deb${os_VERSION_ID}")
elseif(os_ID AND os_VERSION_ID)
  set(CPACK_DEBIAN_PACKAGE_RELEASE "1~${os_ID}${os_VERSION_ID}")
else()
  set(CPACK_DEBIAN_PACKAGE_RELEASE "1")
endif()

# The package's own changelog entry names the release it was built for and
# takes the date of Duolume's newest entry, so the same sources give the same
# package.
set(DUOLUME_PACKAGE_DISTRIBUTION unstable)
if(os_VERSION_CODENAME)
  set(DUOLUME_PACKAGE_DISTRIBUTION ${os_VERSION_CODENAME})
endif()
set(DUOLUME_PACKAGE_FOR "${os_PRETTY_NAME}")
if(NOT DUOLUME_PACKAGE_FOR)
  set(DUOLUME_PACKAGE_FOR "the release it was built on")
endif()
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog trailers REGEX "^ -- ")
list(GET trailers 0 newest_trailer)
string(REGEX REPLACE "^ -- .*>  " "" DUOLUME_CHANGELOG_DATE "${newest_trailer}")
set(changelog_debian ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian)
configure_file(debian/changelog.Debian.in ${changelog_debian} @ONLY)
configure_file(DebianChangelog.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/DebianChangelog.cmake @ONLY)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_BINARY_DIR}/DebianChangelog.cmake)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "display brightness on one curve over the ambient light")
set(CPACK_PACKAGE_DESCRIPTION
    "Duolume keeps the brightness of a laptop's built-in display and of attached
Apple USB monitors and other monitors that take their brightness over DDC/CI
on one curve drawn over the ambient light level. A settings
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
