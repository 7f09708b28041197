# What `cmake --install` puts where; the packages (cmake/Packaging.cmake) take the same files.
#
# Folders come from GNUInstallDirs. On Debian and its derivatives the library folder is the
# multiarch one (lib/x86_64-linux-gnu) when the tree is configured for the /usr prefix, as the
# Debian package's tree is, and plain lib for any other prefix (/usr/local, a home folder), where
# the loader and pkg-config look for it. -DCMAKE_INSTALL_LIBDIR=... chooses another.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(_headers ${CMAKE_SOURCE_DIR}/bridge/include/ralvex/bridge.h
             ${CMAKE_SOURCE_DIR}/basetypes/include/ralvex/win32_types.h)

if(WIN32)
  # The zip: the program and the DLL in bin/, the DLL's import library in lib/, the header in
  # include/ralvex/, README and licence at the top. The runtime is linked in statically, so no
  # compiler DLL goes with them. The program's own import library (it exports the FT_* functions
  # too) stays out: callers link the DLL's.
  install(TARGETS ralvex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} EXCLUDE_FROM_ALL)
  install(TARGETS ralvex-lab RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(TARGET ralvex-bridge)
    install(TARGETS ralvex-bridge RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
            ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  endif()
  install(FILES ${_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ralvex)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION .)
  return()
endif()

install(TARGETS ralvex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET ralvex-tester)
  install(TARGETS ralvex-tester RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS ralvex-lab RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ralvex)

if(TARGET ralvex-bridge)
  install(TARGETS ralvex-bridge LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

  # pkg-config and CMake find the library relative to their own files, so an installed tree may
  # be moved. An absolute library or include folder is written as it is, and so is the /usr
  # prefix, whose folders pkg-config then leaves out of the flags as the system's own.
  set(_pcdir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  set(_cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/RalvexBridge)
  file(RELATIVE_PATH _up "/prefix/${_pcdir}" "/prefix")
  string(REGEX REPLACE "/$" "" RALVEX_PC_PREFIX "\${pcfiledir}/${_up}")
  if(CMAKE_INSTALL_PREFIX MATCHES "^/usr/?$")
    set(RALVEX_PC_PREFIX /usr)
  endif()
  file(RELATIVE_PATH _up "/prefix/${_cmakedir}" "/prefix")
  string(REGEX REPLACE "/$" "" RALVEX_CONFIG_PREFIX "\${CMAKE_CURRENT_LIST_DIR}/${_up}")
  foreach(_dir IN ITEMS LIBDIR INCLUDEDIR)
    if(IS_ABSOLUTE "${CMAKE_INSTALL_${_dir}}")
      set(RALVEX_PC_${_dir} "${CMAKE_INSTALL_${_dir}}")
      set(RALVEX_CONFIG_${_dir} "${CMAKE_INSTALL_${_dir}}")
    else()
      set(RALVEX_PC_${_dir} "\${prefix}/${CMAKE_INSTALL_${_dir}}")
      set(RALVEX_CONFIG_${_dir} "${RALVEX_CONFIG_PREFIX}/${CMAKE_INSTALL_${_dir}}")
    endif()
  endforeach()
  set(RALVEX_BRIDGE_FILE libralvex-bridge.so.${PROJECT_VERSION})
  set(RALVEX_BRIDGE_SONAME libralvex-bridge.so.${PROJECT_VERSION_MAJOR})

  configure_file(${CMAKE_SOURCE_DIR}/packaging/ralvex-bridge.pc.in
                 ${CMAKE_BINARY_DIR}/packaging/ralvex-bridge.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/ralvex-bridge.pc DESTINATION ${_pcdir})

  configure_file(${CMAKE_SOURCE_DIR}/packaging/RalvexBridgeConfig.cmake.in
                 ${CMAKE_BINARY_DIR}/packaging/RalvexBridgeConfig.cmake @ONLY)
  # The major version names the binary interface, as the SONAME does.
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/packaging/RalvexBridgeConfigVersion.cmake
                                   VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/RalvexBridgeConfig.cmake
                ${CMAKE_BINARY_DIR}/packaging/RalvexBridgeConfigVersion.cmake
          DESTINATION ${_cmakedir})
endif()

install(FILES ${CMAKE_SOURCE_DIR}/docs/ralvex.1 ${CMAKE_SOURCE_DIR}/docs/ralvex-tester.1
              ${CMAKE_SOURCE_DIR}/docs/ralvex-lab.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/bash-completion/ralvex
              ${CMAKE_SOURCE_DIR}/packaging/bash-completion/ralvex-lab
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# udev reads rules from /usr/lib/udev/rules.d (and /etc/udev/rules.d), never from a multiarch
# folder; under another prefix the rule is only kept there for copying.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/udev/60-ralvex.rules DESTINATION lib/udev/rules.d)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE
              ${CMAKE_SOURCE_DIR}/docs/bench.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

file(GLOB _benches CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sim/benches/*.toml)
list(FILTER _benches EXCLUDE REGEX "\\.state\\.toml$")
install(FILES ${_benches} DESTINATION ${CMAKE_INSTALL_DATADIR}/ralvex/benches)
