# `cpack -G DEB` in the build folder: a .deb of what `cmake --install` installs, under /usr,
# its dependencies computed from the binaries by dpkg-shlibdeps (dpkg-dev).
set(GRAVLAG_MAINTAINER "Seed 780aaa97 maintainers <maintainers@users.noreply.c-seed-780aaa97.example>"
    CACHE STRING "The maintainer written into the .deb")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME gravlag)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "simulator of up to three point masses under a gravitational pull of finite speed")
# Lines of at most 80 columns, as dpkg shows them (cpack indents each by one blank).
set(CPACK_PACKAGE_DESCRIPTION
    "gravlag simulates up to three point masses in a plane under inverse-square
gravity, where the pull a body feels can be delayed by a finite propagation
speed c. The desktop program gravlag shows the orbits and the measured drifts
or apsis precession in three windows; gravlag-batch runs the same panel and
simulation without a display, with JSON results, CSV exports, PNG pictures and
parameter sweeps. The Python module gravlag runs them from Python.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${GRAVLAG_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(GRAVLAG_PYTHON)
  # The Python module comes along, in /usr/lib/python3/dist-packages. Its compiled part
  # loads only into the interpreter version it was built for, and it imports NumPy.
  set(py ${Python_VERSION_MAJOR}.${Python_VERSION_MINOR})
  math(EXPR next_minor "${Python_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "python3 (>= ${py}~), python3 (<< ${Python_VERSION_MAJOR}.${next_minor}), python3-numpy")
endif()
include(CPack)
