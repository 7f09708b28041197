# Packages made by CPack from the installed files (cmake/Install.cmake): a Debian package
# (cpack -G DEB) from a tree configured with -DCMAKE_INSTALL_PREFIX=/usr, and a zip (cpack -G ZIP)
# from each Windows cross build. scripts/package.sh makes them all into dist/.

set(CPACK_PACKAGE_NAME ralvex)
set(CPACK_PACKAGE_VENDOR "The Ralvex developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "drive USB Power Delivery load testers from the command line")
set(CPACK_PACKAGE_DESCRIPTION
    "Ralvex finds the USB Power Delivery load testers plugged in, opens one over
its USB-serial bridge, performs one action (a connection report, the source
profiles, the measurements, requesting a profile, setting the load, storing
defaults) and ends with an exit code. Its companion ralvex-lab takes a snapshot
of a tester (as text or JSON) and logs its measurements on a fixed schedule to
CSV, JSON Lines or SQLite, with a summary of the run.
.
The package also holds libralvex-bridge, a USB-serial bridge access library
with a C interface (header, pkg-config and CMake files included), a simulated
bench of bridge devices and testers for trying both without hardware, and a
udev rule that gives the logged-in user access to the bridges.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(RALVEX_PACKAGE_MAINTAINER "The Ralvex developers <ralvex@example.org>"
    CACHE STRING "Maintainer named in the Debian package")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME ralvex-${PROJECT_VERSION}-win64)
  else()
    set(CPACK_PACKAGE_FILE_NAME ralvex-${PROJECT_VERSION}-win32)
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${RALVEX_PACKAGE_MAINTAINER}")
  # Dependencies from the binaries (dpkg-shlibdeps) and a shlibs file for the library.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # The loader cache is refreshed by a trigger; the scripts, which take the place of CPack's own
  # ldconfig calls, apply the udev rule at once.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/debian/triggers
      ${CMAKE_SOURCE_DIR}/packaging/debian/postinst ${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
  # Debian's documentation layout (the copyright file, the changelog, compressed man pages) and
  # the lintian overrides.
  set(CPACK_RALVEX_SOURCE_DIR ${CMAKE_SOURCE_DIR})
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/packaging/debian/finish.cmake)
endif()

include(CPack)
