# EDFlib ships a header and a static library without a CMake package.
find_path(EDFlib_INCLUDE_DIR edflib.h)
find_library(EDFlib_LIBRARY NAMES edf libedf.a)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(EDFlib DEFAULT_MSG EDFlib_LIBRARY EDFlib_INCLUDE_DIR)
if(EDFlib_FOUND AND NOT TARGET EDFlib::EDFlib)
  add_library(EDFlib::EDFlib UNKNOWN IMPORTED)
  set_target_properties(EDFlib::EDFlib PROPERTIES
    IMPORTED_LOCATION ${EDFlib_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${EDFlib_INCLUDE_DIR})
endif()
