# Which bus and configuration libraries the build uses.
#
# On the target, libubox, libubus (with ubusd and the ubus client) and
# libuci come with the base system. Where they are found, under
# CMAKE_PREFIX_PATH or in the system paths, the build uses them; otherwise
# it builds the stand-ins under hostkit/. APSUITE_PLATFORM forces a choice.
#
# Either way the rest of the tree links against Platform::ubox,
# Platform::blobmsg_json (JSON text of blobmsg, a library of its own as on
# the platform), Platform::ubus, Platform::uci and Platform::gpiod, and the
# tests run the broker and client named by APSUITE_UBUSD and APSUITE_UBUS.

set(APSUITE_PLATFORM "AUTO" CACHE STRING
    "Bus and configuration libraries: AUTO, SYSTEM (real ones) or HOSTKIT (stand-ins)")
set_property(CACHE APSUITE_PLATFORM PROPERTY STRINGS AUTO SYSTEM HOSTKIT)

set(_platform_parts
    UBOX_INCLUDE_DIR BLOBMSG_INCLUDE_DIR UBUS_INCLUDE_DIR UCI_INCLUDE_DIR
    UBOX_LIBRARY UBUS_LIBRARY UCI_LIBRARY)
# The broker and the client only run the tests, on the build host; the
# JSON text of blobmsg serves only the client and the tests.
if(APSUITE_HOST_PARTS AND APSUITE_TESTS)
  list(APPEND _platform_parts BLOBMSG_JSON_INCLUDE_DIR BLOBMSG_JSON_LIBRARY
       UBUSD_EXECUTABLE UBUS_EXECUTABLE)
endif()

if(NOT APSUITE_PLATFORM STREQUAL "HOSTKIT")
  find_path(UBOX_INCLUDE_DIR libubox/uloop.h)
  find_path(BLOBMSG_INCLUDE_DIR libubox/blobmsg.h)
  find_path(BLOBMSG_JSON_INCLUDE_DIR libubox/blobmsg_json.h)
  find_path(UBUS_INCLUDE_DIR libubus.h)
  find_path(UCI_INCLUDE_DIR uci.h)
  find_library(UBOX_LIBRARY ubox)
  find_library(BLOBMSG_JSON_LIBRARY blobmsg_json)
  find_library(UBUS_LIBRARY ubus)
  find_library(UCI_LIBRARY uci)
  if(APSUITE_HOST_PARTS AND APSUITE_TESTS)
    find_program(UBUSD_EXECUTABLE ubusd PATH_SUFFIXES sbin)
    find_program(UBUS_EXECUTABLE ubus)
  endif()
endif()

set(_platform_found TRUE)
foreach(part IN LISTS _platform_parts)
  if(NOT ${part})
    set(_platform_found FALSE)
  endif()
endforeach()

if(APSUITE_PLATFORM STREQUAL "SYSTEM" AND NOT _platform_found)
  message(FATAL_ERROR "APSUITE_PLATFORM=SYSTEM but the platform libraries were not all found "
                      "(need libubox/uloop.h, libubox/blobmsg.h, libubox/blobmsg_json.h, libubus.h, "
                      "uci.h, libraries ubox, blobmsg_json, ubus, uci and the executables ubusd "
                      "and ubus)")
endif()

if(APSUITE_PLATFORM STREQUAL "HOSTKIT" OR NOT _platform_found)
  set(APSUITE_USE_HOSTKIT ON)
  message(STATUS "Platform libraries: hostkit stand-ins "
                 "(libubox, libblobmsg_json, libubus, ubusd, ubus, libuci)")
  # Targets and executables are defined by hostkit/; see hostkit/CMakeLists.txt.
  set(APSUITE_UBUSD ${CMAKE_BINARY_DIR}/bin/ubusd)
  set(APSUITE_UBUS ${CMAKE_BINARY_DIR}/bin/ubus)
else()
  set(APSUITE_USE_HOSTKIT OFF)
  message(STATUS "Platform libraries: real ones (${UBOX_LIBRARY}, ${BLOBMSG_JSON_LIBRARY}, "
                 "${UBUS_LIBRARY}, ${UCI_LIBRARY}; ${UBUSD_EXECUTABLE}, ${UBUS_EXECUTABLE})")
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
  # The platform's libraries need one another (libuci and libubus need
  # libubox) and carry no runtime path of their own. A program's RUNPATH
  # serves only what the program itself needs, and the linker leaves out
  # libraries it does not call, so a test that uses only libuci would not
  # find libubox. An RPATH serves the libraries' needs too. Installed
  # programs carry neither: CMake drops the build tree's path on install.
  add_link_options(LINKER:--disable-new-dtags)
endif()

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
if(GPIOD_INCLUDE_DIR AND GPIOD_LIBRARY)
  file(STRINGS ${GPIOD_INCLUDE_DIR}/gpiod.h _gpiod_v2 REGEX "gpiod_line_settings_new")
endif()
if(_gpiod_v2)
  message(STATUS "libgpiod v2: ${GPIOD_LIBRARY}")
  add_library(Platform::gpiod UNKNOWN IMPORTED)
  set_target_properties(Platform::gpiod PROPERTIES
    IMPORTED_LOCATION ${GPIOD_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${GPIOD_INCLUDE_DIR})
else()
  message(WARNING "libgpiod v2 not found (run scripts/setup.sh); pinrig is not built")
endif()
