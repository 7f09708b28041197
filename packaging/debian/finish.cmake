# Run by CPack on the staged files before it makes a package. For the Debian package: the
# licence becomes the machine-readable copyright file, the changelog and the man pages are
# compressed, as Debian's policy has it, and the lintian overrides go in. Other packages are left
# as installed.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(_root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(_doc "${_root}/share/doc/ralvex")
if(NOT IS_DIRECTORY "${_doc}")
  message(FATAL_ERROR "no documentation folder in the staged files: ${_doc}")
endif()

file(READ "${CPACK_RALVEX_SOURCE_DIR}/LICENSE" _licence)
string(REGEX REPLACE "\n+$" "" _licence "${_licence}")
string(REGEX REPLACE "\n\n" "\n.\n" _licence "${_licence}")
string(REPLACE "\n" "\n " _licence "${_licence}")
file(WRITE "${_doc}/copyright"
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: ralvex\n\n"
     "Files: *\n"
     "Copyright: 2026 The Ralvex developers\n"
     "License: Expat\n ${_licence}\n")
file(REMOVE "${_doc}/LICENSE")

file(COPY_FILE "${CPACK_RALVEX_SOURCE_DIR}/packaging/debian/changelog" "${_doc}/changelog")
file(GLOB _manpages "${_root}/share/man/man*/*.[1-9]")
foreach(_file IN ITEMS "${_doc}/changelog" ${_manpages})
  execute_process(COMMAND gzip -9nf "${_file}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()

file(MAKE_DIRECTORY "${_root}/share/lintian/overrides")
file(COPY_FILE "${CPACK_RALVEX_SOURCE_DIR}/packaging/debian/lintian-overrides"
     "${_root}/share/lintian/overrides/ralvex")
