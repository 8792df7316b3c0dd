# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Resolves the two platform pieces that cannot be installed everywhere: the
# file manager's extension library and DTK 6 widgets. Each is the real one when
# found (or required), otherwise our stand-in from platform/. Consumers link
# the interface targets quarn::dfm-extension and quarn::dtk-widget and never
# know which one they got.

find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets)

function(_quarn_check_choice var)
  if(NOT ${var} MATCHES "^(AUTO|ON|OFF)$")
    message(FATAL_ERROR "${var} must be AUTO, ON or OFF, not '${${var}}'")
  endif()
endfunction()
_quarn_check_choice(QUARN_DFM_EXTENSION)
_quarn_check_choice(QUARN_DTK)

# --- extension library -------------------------------------------------------
add_library(quarn_dfm_extension INTERFACE)
add_library(quarn::dfm-extension ALIAS quarn_dfm_extension)
set(_dfm_found FALSE)
if(NOT QUARN_DFM_EXTENSION STREQUAL "OFF")
  # The real package sets dfm-extension_INCLUDE_DIR / dfm-extension_LIBRARIES
  # and no imported target; pkg-config is the other way it is published.
  # Its package file also adds the include folder to every target of the
  # calling directory; that is undone so that only our interface target
  # carries it and the host side can use the stand-in's headers instead.
  get_directory_property(_quarn_saved_includes INCLUDE_DIRECTORIES)
  find_package(dfm-extension QUIET)
  set_directory_properties(PROPERTIES INCLUDE_DIRECTORIES "${_quarn_saved_includes}")
  if(dfm-extension_FOUND AND dfm-extension_LIBRARIES)
    # The library is named bare, for the linker's search path: look it up next
    # to the package file first, and link it by full path so that the build's
    # run path finds it too.
    get_filename_component(_dfm_libdir "${dfm-extension_DIR}/../.." ABSOLUTE)
    unset(QUARN_DFM_EXTENSION_LIBRARY CACHE)
    find_library(QUARN_DFM_EXTENSION_LIBRARY NAMES ${dfm-extension_LIBRARIES} HINTS "${_dfm_libdir}")
    if(NOT QUARN_DFM_EXTENSION_LIBRARY)
      message(FATAL_ERROR "The extension library's CMake package names '${dfm-extension_LIBRARIES}', "
                          "which is neither in ${_dfm_libdir} nor on the linker's search path")
    endif()
    target_include_directories(quarn_dfm_extension SYSTEM INTERFACE ${dfm-extension_INCLUDE_DIR})
    target_link_libraries(quarn_dfm_extension INTERFACE ${QUARN_DFM_EXTENSION_LIBRARY})
    set(_dfm_library "${QUARN_DFM_EXTENSION_LIBRARY}")
    set(_dfm_found TRUE)
    set(_dfm_how "real (CMake package, ${QUARN_DFM_EXTENSION_LIBRARY})")
  else()
    find_package(PkgConfig QUIET)
    if(PKG_CONFIG_FOUND)
      pkg_check_modules(DFM_EXTENSION_PC QUIET IMPORTED_TARGET dfm-extension)
      if(DFM_EXTENSION_PC_FOUND)
        target_link_libraries(quarn_dfm_extension INTERFACE PkgConfig::DFM_EXTENSION_PC)
        list(GET DFM_EXTENSION_PC_LINK_LIBRARIES 0 _dfm_library)
        set(_dfm_found TRUE)
        set(_dfm_how "real (pkg-config)")
      endif()
    endif()
  endif()
  if(QUARN_DFM_EXTENSION STREQUAL "ON" AND NOT _dfm_found)
    message(FATAL_ERROR "QUARN_DFM_EXTENSION=ON but the file manager's extension library "
                        "(dfm-extension) was found neither as a CMake package nor through pkg-config")
  endif()
endif()
if(_dfm_found)
  set(QUARN_USING_DFM_EXTENSION_STANDIN FALSE)
else()
  add_subdirectory(${PROJECT_SOURCE_DIR}/platform/dfm-extension)
  target_link_libraries(quarn_dfm_extension INTERFACE dfm-extension-standin)
  set(QUARN_USING_DFM_EXTENSION_STANDIN TRUE)
  set(_dfm_how "stand-in (platform/dfm-extension)")
endif()
message(STATUS "Extension library: ${_dfm_how}")

# The host side (menu-host and the tests that play the file manager) derives
# from the library's private menu classes, whose headers only our stand-in
# ships. They are ABI-identical to the real library's, so the host side is
# compiled on them and links whichever library was chosen above.
add_library(quarn_dfm_extension_host INTERFACE)
add_library(quarn::dfm-extension-host ALIAS quarn_dfm_extension_host)
target_include_directories(quarn_dfm_extension_host INTERFACE ${PROJECT_SOURCE_DIR}/platform/dfm-extension/include)
target_link_libraries(quarn_dfm_extension_host INTERFACE quarn_dfm_extension)

# --- DTK 6 widgets -----------------------------------------------------------
add_library(quarn_dtk_widget INTERFACE)
add_library(quarn::dtk-widget ALIAS quarn_dtk_widget)
set(_dtk_found FALSE)
if(NOT QUARN_DTK STREQUAL "OFF")
  find_package(Dtk6 QUIET COMPONENTS Widget)
  if(TARGET Dtk6::Widget)
    target_link_libraries(quarn_dtk_widget INTERFACE Dtk6::Widget)
    set(_dtk_found TRUE)
  elseif(QUARN_DTK STREQUAL "ON")
    message(FATAL_ERROR "QUARN_DTK=ON but find_package(Dtk6 COMPONENTS Widget) found no Dtk6::Widget")
  endif()
endif()
if(_dtk_found)
  set(QUARN_USING_DTK_STANDIN FALSE)
  get_target_property(_dtk_location Dtk6::Widget LOCATION)
  message(STATUS "DTK widgets: real (${_dtk_location})")
else()
  add_subdirectory(${PROJECT_SOURCE_DIR}/platform/dtk)
  target_link_libraries(quarn_dtk_widget INTERFACE dtk-widget-standin)
  set(QUARN_USING_DTK_STANDIN TRUE)
  message(STATUS "DTK widgets: stand-in (platform/dtk)")
endif()

# Folders of the real libraries in use, for the tests' library search path:
# the libraries load each other by soname, outside our run path.
set(QUARN_PLATFORM_LIBRARY_DIRS "")
if(NOT QUARN_USING_DFM_EXTENSION_STANDIN)
  get_filename_component(_dir "${_dfm_library}" DIRECTORY)
  list(APPEND QUARN_PLATFORM_LIBRARY_DIRS "${_dir}")
endif()
if(NOT QUARN_USING_DTK_STANDIN)
  get_filename_component(_dir "${_dtk_location}" DIRECTORY)
  list(APPEND QUARN_PLATFORM_LIBRARY_DIRS "${_dir}")
endif()
list(REMOVE_DUPLICATES QUARN_PLATFORM_LIBRARY_DIRS)
