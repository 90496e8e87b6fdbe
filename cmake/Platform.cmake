# The platform's libraries: libubox (with libblobmsg_json), libubus and
# libuci, and for the tests the broker ubusd and the ubus and uci clients.
#
# They are the platform's own, built from their sources. They are looked
# for under CMAKE_PREFIX_PATH and the toolchain's sysroot, which is where a
# firmware engineer's SDK has them, then, in a native build, under
# APSUITE_PLATFORM_PREFIX: deps/platform, where scripts/setup.sh builds
# them (scripts/build-platform.sh).
#
# The rest of the tree links against Platform::ubox, Platform::blobmsg_json
# (the JSON text of blobmsg, a library of its own), Platform::ubus,
# Platform::uci and Platform::gpiod, and the tests run the programs named
# by APSUITE_UBUSD, APSUITE_UBUS and APSUITE_UCI.

set(_platform_hints)
if(NOT CMAKE_CROSSCOMPILING)
  set(APSUITE_PLATFORM_PREFIX ${CMAKE_SOURCE_DIR}/deps/platform CACHE PATH
      "Where scripts/build-platform.sh installed the platform, searched after CMAKE_PREFIX_PATH")
  set(_platform_hints HINTS ${APSUITE_PLATFORM_PREFIX})
endif()

find_path(UBOX_INCLUDE_DIR libubox/uloop.h ${_platform_hints} PATH_SUFFIXES include)
find_path(UBUS_INCLUDE_DIR libubus.h ${_platform_hints} PATH_SUFFIXES include)
find_path(UCI_INCLUDE_DIR uci.h ${_platform_hints} PATH_SUFFIXES include)
find_library(UBOX_LIBRARY ubox ${_platform_hints} PATH_SUFFIXES lib)
find_library(UBUS_LIBRARY ubus ${_platform_hints} PATH_SUFFIXES lib)
find_library(UCI_LIBRARY uci ${_platform_hints} PATH_SUFFIXES lib)
set(_platform_parts UBOX_INCLUDE_DIR UBUS_INCLUDE_DIR UCI_INCLUDE_DIR
    UBOX_LIBRARY UBUS_LIBRARY UCI_LIBRARY)
set(BLOBMSG_JSON_INCLUDE_DIR ${UBOX_INCLUDE_DIR})

# The broker and the clients only run the tests; the JSON text of blobmsg
# serves only the tools and the tests. A cross build that makes the helpers
# of a target suite (APSUITE_TEST_HELPERS) names the target's own broker and
# clients from its sysroot, which the suite runs under emulation.
if(APSUITE_HOST_PARTS)
  find_library(BLOBMSG_JSON_LIBRARY blobmsg_json ${_platform_hints} PATH_SUFFIXES lib)
  find_program(UBUSD_EXECUTABLE ubusd ${_platform_hints} PATH_SUFFIXES sbin)
  find_program(UBUS_EXECUTABLE ubus ${_platform_hints} PATH_SUFFIXES bin)
  find_program(UCI_EXECUTABLE uci ${_platform_hints} PATH_SUFFIXES bin)
  list(APPEND _platform_parts BLOBMSG_JSON_LIBRARY UBUSD_EXECUTABLE UBUS_EXECUTABLE UCI_EXECUTABLE)
elseif(APSUITE_TEST_HELPERS)
  find_program(UBUSD_EXECUTABLE ubusd PATH_SUFFIXES sbin ONLY_CMAKE_FIND_ROOT_PATH)
  find_program(UBUS_EXECUTABLE ubus PATH_SUFFIXES bin ONLY_CMAKE_FIND_ROOT_PATH)
  find_program(UCI_EXECUTABLE uci PATH_SUFFIXES bin ONLY_CMAKE_FIND_ROOT_PATH)
  list(APPEND _platform_parts UBUSD_EXECUTABLE UBUS_EXECUTABLE UCI_EXECUTABLE)
endif()

set(_platform_missing)
foreach(part IN LISTS _platform_parts)
  if(NOT ${part})
    list(APPEND _platform_missing ${part})
  endif()
endforeach()
if(_platform_missing)
  list(JOIN _platform_missing ", " _platform_missing)
  message(FATAL_ERROR "The platform's libraries were not found (${_platform_missing}). "
    "Give their prefix in CMAKE_PREFIX_PATH or the toolchain's sysroot, or build them "
    "into deps/platform with scripts/setup.sh (scripts/build-platform.sh).")
endif()
message(STATUS "Platform: ${UBOX_LIBRARY}, ${UBUS_LIBRARY}, ${UCI_LIBRARY}")

foreach(lib IN ITEMS ubox blobmsg_json ubus uci)
  string(TOUPPER ${lib} LIB)
  if(NOT ${LIB}_LIBRARY)
    continue()  # blobmsg_json, in a build without the host's parts
  endif()
  add_library(Platform::${lib} UNKNOWN IMPORTED)
  set_target_properties(Platform::${lib} PROPERTIES
    IMPORTED_LOCATION ${${LIB}_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${${LIB}_INCLUDE_DIR})
endforeach()
foreach(lib IN ITEMS blobmsg_json ubus uci)
  if(TARGET Platform::${lib})
    set_property(TARGET Platform::${lib} APPEND PROPERTY INTERFACE_LINK_LIBRARIES Platform::ubox)
  endif()
endforeach()
set(APSUITE_UBUSD ${UBUSD_EXECUTABLE})
set(APSUITE_UBUS ${UBUS_EXECUTABLE})
set(APSUITE_UCI ${UCI_EXECUTABLE})

# libgpiod v2 (shared object version 3). The target's own comes through
# its sysroot, CMAKE_PREFIX_PATH or the system; on a build host without it,
# the setup unpacks Debian's packages into deps/gpiod
# (scripts/fetch-libgpiod.sh). A cross build looks only where its
# toolchain file lets it, so the build host's copy is no hint there.
# Sysroots keep libraries in multiarch folders that an SDK's toolchain file
# need not name through CMAKE_LIBRARY_ARCHITECTURE.
set(_gpiod_hints)
if(NOT CMAKE_CROSSCOMPILING)
  set(GPIOD_LOCAL_PREFIX ${CMAKE_SOURCE_DIR}/deps/gpiod/usr)
  set(_gpiod_hints ${GPIOD_LOCAL_PREFIX})
endif()
set(_multiarch ${CMAKE_LIBRARY_ARCHITECTURE}
    ${CMAKE_SYSTEM_PROCESSOR}-linux-gnu ${CMAKE_SYSTEM_PROCESSOR}-linux-musl)
find_path(GPIOD_INCLUDE_DIR gpiod.h HINTS ${_gpiod_hints} PATH_SUFFIXES include)
find_library(GPIOD_LIBRARY NAMES libgpiod.so.3 gpiod HINTS ${_gpiod_hints}
             PATH_SUFFIXES lib ${_multiarch} lib/${_multiarch})
if(GPIOD_INCLUDE_DIR AND GPIOD_LIBRARY AND EXISTS ${GPIOD_INCLUDE_DIR}/gpiod.h)
  file(STRINGS ${GPIOD_INCLUDE_DIR}/gpiod.h _gpiod_v2 REGEX "gpiod_line_settings_new")
endif()
# An image without pinrig is a choice made out loud, never the quiet result
# of a sysroot that lacks libgpiod.
if(NOT APSUITE_PINRIG)
  message(STATUS "pinrig left out (APSUITE_PINRIG=OFF)")
elseif(_gpiod_v2)
  message(STATUS "libgpiod v2: ${GPIOD_LIBRARY}")
  add_library(Platform::gpiod UNKNOWN IMPORTED)
  set_target_properties(Platform::gpiod PROPERTIES
    IMPORTED_LOCATION ${GPIOD_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${GPIOD_INCLUDE_DIR})
else()
  message(FATAL_ERROR "libgpiod v2, which pinrig needs, was not found (gpiod.h declaring "
    "gpiod_line_settings_new: ${GPIOD_INCLUDE_DIR}; libgpiod.so.3: ${GPIOD_LIBRARY}). Give its "
    "prefix in CMAKE_PREFIX_PATH or the toolchain's sysroot, run scripts/setup.sh for deps/gpiod, "
    "or leave pinrig out with -DAPSUITE_PINRIG=OFF.")
endif()
