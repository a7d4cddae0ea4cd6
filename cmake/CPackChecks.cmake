# Read by cpack before it builds a package. A Debian package's dependencies come
# from dpkg-shlibdeps, which needs file; without them cpack would quietly make a
# package that depends on nothing.
if(CPACK_GENERATOR STREQUAL "DEB")
  foreach(tool IN ITEMS dpkg-shlibdeps file)
    find_program(ZM_FOUND_${tool} ${tool} NO_CACHE NO_CMAKE_SYSTEM_PATH)
    if(NOT ZM_FOUND_${tool})
      message(FATAL_ERROR "cpack -G DEB needs ${tool} to work out the package's dependencies: "
                          "install dpkg-dev and file (apt-get install dpkg-dev file)")
    endif()
  endforeach()
endif()
