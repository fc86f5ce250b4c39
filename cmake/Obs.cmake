# OBS Studio's libobs, where it is installed (never in builds for other processors). Sets:
#   LUMASHIFT_OBS               ON when libobs 29 or later was found; the OBS module is built
#   OBS_MODULE_NAME             the module's name: its file and its data folder are named after it
#   OBS_BUILD_DIR               where the build puts the module, its data folder beside it
#   OBS_PLUGIN_INSTALL_DIR      where this libobs looks for system modules, under a prefix:
#   OBS_DATA_INSTALL_DIR        the library folder's obs-plugins (Debian's lib/x86_64-linux-gnu/
#                               obs-plugins), and share/obs/obs-plugins for their data folders
#   OBS_SYSTEM_PLUGIN_DIR       the same two folders of the installed OBS itself, where the
#   OBS_SYSTEM_DATA_DIR         benchmark finds OBS's own filters
find_package(libobs 29 QUIET CONFIG)
set(LUMASHIFT_OBS ${libobs_FOUND})
if(NOT LUMASHIFT_OBS)
  message(STATUS "libobs 29 or later not found: the OBS Studio module is not built")
  return()
endif()

set(OBS_MODULE_NAME glimmerdusk-obs)
set(OBS_BUILD_DIR ${CMAKE_BINARY_DIR}/obs-plugins)
# libobs searches OBS_INSTALL_PREFIX/OBS_PLUGIN_DESTINATION, which is its own library folder's
# obs-plugins, and OBS_INSTALL_PREFIX/share/obs/obs-plugins/NAME; its headers are in
# PREFIX/include/obs.
get_target_property(LIBOBS_FILE OBS::libobs LOCATION)
get_target_property(LIBOBS_INCLUDE OBS::libobs INTERFACE_INCLUDE_DIRECTORIES)
get_filename_component(LIBOBS_LIBDIR ${LIBOBS_FILE} DIRECTORY)
get_filename_component(LIBOBS_PREFIX ${LIBOBS_INCLUDE}/../.. ABSOLUTE)
file(RELATIVE_PATH LIBOBS_RELATIVE_LIBDIR ${LIBOBS_PREFIX} ${LIBOBS_LIBDIR})
set(OBS_PLUGIN_INSTALL_DIR ${LIBOBS_RELATIVE_LIBDIR}/obs-plugins)
set(OBS_DATA_INSTALL_DIR share/obs/obs-plugins)
set(OBS_SYSTEM_PLUGIN_DIR ${LIBOBS_PREFIX}/${OBS_PLUGIN_INSTALL_DIR})
set(OBS_SYSTEM_DATA_DIR ${LIBOBS_PREFIX}/${OBS_DATA_INSTALL_DIR})
