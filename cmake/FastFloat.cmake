# Numbers in profile files are read with fast_float (Debian's header-only
# libfast-float-dev), correctly rounded, so that every platform reads the same
# bits. The cross compilers and emscripten do not search /usr/include and must
# not be given all of it (its C library headers are the build machine's): the
# build tree gets a folder that holds only a link to fast_float's headers, and
# ZM_FAST_FLOAT_INCLUDE names it.
find_path(ZM_FAST_FLOAT_DIR fast_float/fast_float.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
  DOC "The folder holding fast_float/fast_float.h (Debian's libfast-float-dev)")
if(NOT ZM_FAST_FLOAT_DIR)
  message(FATAL_ERROR "fast_float/fast_float.h was not found: install Debian's libfast-float-dev "
    "(scripts/setup installs it), or give its folder with -DZM_FAST_FLOAT_DIR=...")
endif()
set(ZM_FAST_FLOAT_INCLUDE ${CMAKE_BINARY_DIR}/fast-float-include)
file(MAKE_DIRECTORY ${ZM_FAST_FLOAT_INCLUDE})
file(CREATE_LINK ${ZM_FAST_FLOAT_DIR}/fast_float ${ZM_FAST_FLOAT_INCLUDE}/fast_float SYMBOLIC)
