# The library as a package for programs outside this tree: `cmake --install`
# puts the static libraries, their headers (the folders' internal headers and
# test hooks stay behind), a CMake package (find_package(Tessel) gives the
# imported target Tessel::tessel) and a pkg-config file (tessel.pc).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# pkg-config modules the libraries link: each is found again, by the same
# prefix, where the package is used.
function(tessel_pkg_module prefix)
  pkg_check_modules(${prefix} REQUIRED IMPORTED_TARGET GLOBAL ${ARGN})
  list(JOIN ARGN "," modules)
  set_property(GLOBAL APPEND PROPERTY TESSEL_PKG_MODULES "${prefix}=${modules}")
endfunction()

# CMake packages the libraries link (find_package names).
function(tessel_cmake_dependency name)
  set_property(GLOBAL APPEND PROPERTY TESSEL_CMAKE_DEPENDENCIES ${name})
endfunction()

function(tessel_install)
  set(includes ${CMAKE_INSTALL_INCLUDEDIR}/tessel)
  foreach(target tessel platform)
    target_include_directories(${target} INTERFACE $<INSTALL_INTERFACE:${includes}>)
  endforeach()
  # Its narrow strings are code page 932, and so must a user's be that pass
  # text to it; inside this tree each target asks for it itself.
  target_compile_options(tessel INTERFACE
    $<INSTALL_INTERFACE:-finput-charset=UTF-8;-fexec-charset=CP932>)

  install(TARGETS tessel platform EXPORT TesselTargets
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  foreach(dir foundation images graphics softrender sound models movie)
    if(EXISTS ${CMAKE_SOURCE_DIR}/${dir})
      install(DIRECTORY ${CMAKE_SOURCE_DIR}/${dir}/ DESTINATION ${includes}/${dir}
              FILES_MATCHING PATTERN "*.h"
              PATTERN "*_internal.h" EXCLUDE
              PATTERN "*_testing.h" EXCLUDE)
    endif()
  endforeach()
  # The platform's public face is one header per service (test hooks and the
  # settings program's dialogs aside) and the headers of the services' folders
  # that those include, and they in turn; the rest of each folder is its own.
  file(GLOB services ${CMAKE_SOURCE_DIR}/platform/*.h)
  list(FILTER services EXCLUDE REGEX "(_testing|_internal|/dialog)\\.h$")
  install(FILES ${services} DESTINATION ${includes}/platform)
  set(pending ${services})
  set(seen "")
  while(pending)
    list(POP_FRONT pending header)
    file(STRINGS ${header} lines REGEX "^#include \"platform/[a-z0-9_]+/")
    foreach(line ${lines})
      string(REGEX REPLACE "^#include \"(platform/[^\"]+)\".*$" "\\1" path "${line}")
      if(NOT path IN_LIST seen)
        list(APPEND seen ${path})
        list(APPEND pending ${CMAKE_SOURCE_DIR}/${path})
        get_filename_component(folder ${path} DIRECTORY)
        install(FILES ${CMAKE_SOURCE_DIR}/${path} DESTINATION ${includes}/${folder})
      endif()
    endforeach()
  endwhile()

  set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Tessel)
  install(EXPORT TesselTargets NAMESPACE Tessel:: DESTINATION ${config_dir})
  get_property(TESSEL_PKG_MODULES GLOBAL PROPERTY TESSEL_PKG_MODULES)
  get_property(TESSEL_CMAKE_DEPENDENCIES GLOBAL PROPERTY TESSEL_CMAKE_DEPENDENCIES)
  configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/TesselConfig.cmake.in
                                ${CMAKE_BINARY_DIR}/package/TesselConfig.cmake
                                INSTALL_DESTINATION ${config_dir})
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/TesselConfigVersion.cmake
                                   COMPATIBILITY SameMinorVersion)
  install(FILES ${CMAKE_BINARY_DIR}/package/TesselConfig.cmake
                ${CMAKE_BINARY_DIR}/package/TesselConfigVersion.cmake
          DESTINATION ${config_dir})

  # pkg-config names the modules, not their prefixes.
  set(requires "")
  foreach(entry ${TESSEL_PKG_MODULES})
    string(REGEX REPLACE "^[^=]*=" "" modules ${entry})
    string(REPLACE "," ";" modules ${modules})
    list(APPEND requires ${modules})
  endforeach()
  foreach(name ${TESSEL_CMAKE_DEPENDENCIES})
    if(name STREQUAL "PNG")
      list(APPEND requires libpng)
    elseif(name STREQUAL "JPEG")
      list(APPEND requires libjpeg)
    endif()
  endforeach()
  list(JOIN requires " " TESSEL_PC_REQUIRES)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/tessel.pc.in ${CMAKE_BINARY_DIR}/package/tessel.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/package/tessel.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
