# Windows builds (cross-compiled with mingw-w64, see cmake/toolchains/): the system provides the
# Win32 API, the runtime is linked in statically so ralvex.exe and ralvex-bridge.dll need no
# compiler DLLs beside them, and the FT_* functions are exported through a module-definition file
# generated from the compiled access layer.

add_link_options(-static)
# The OS version query is deprecated in the system headers; the access layer relies on it.
add_compile_options(-Wno-deprecated-declarations)

# Wine runs the tests and smoke runs in a prefix of the build's own, shared by the 32- and 64-bit
# trees so that one wine server serves a whole test run.
set(RALVEX_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix for test runs")
# The 64-bit loader is called directly where it is installed apart: the "wine" launcher prefers
# the 32-bit loader, which not every Linux kernel can run.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  find_program(RALVEX_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
endif()
find_program(RALVEX_WINE NAMES wine)
if(RALVEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_COMMAND} -E env WINEPREFIX=${RALVEX_WINEPREFIX} WINEDEBUG=-all ${RALVEX_WINE})
endif()

# GoogleTest from the distribution's sources, compiled by the cross compiler. Our warning flags
# are not forced on it.
function(ralvex_add_googletest_from_source)
  get_directory_property(_options COMPILE_OPTIONS)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${_options}")
  foreach(_lib gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${_lib})
      add_library(GTest::${_lib} ALIAS ${_lib})
    endif()
  endforeach()
endfunction()

# The export list: every FT_* function the access layer defines, under the name the compiler gave
# it. On i686 that is the stdcall decoration (FT_Open@8), exported as _FT_Open@8; on x64 the plain
# name. The same file makes the import library, so callers link the decorated names.
set(RALVEX_EXPORTS_DEF ${CMAKE_BINARY_DIR}/ralvex-exports.def)

function(ralvex_generate_exports_def)
  add_custom_command(
    OUTPUT ${RALVEX_EXPORTS_DEF}
    COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DARCHIVE=$<TARGET_FILE:bridge>
            -DOUTPUT=${RALVEX_EXPORTS_DEF} -DPROCESSOR=${CMAKE_SYSTEM_PROCESSOR}
            -P ${CMAKE_SOURCE_DIR}/cmake/GenerateExports.cmake
    DEPENDS bridge ${CMAKE_SOURCE_DIR}/cmake/GenerateExports.cmake
    COMMENT "Export list of the FT_* functions"
    VERBATIM)
  add_custom_target(ralvex-exports DEPENDS ${RALVEX_EXPORTS_DEF})
endfunction()

# Links <target> with the export list, so it exports the FT_* functions and nothing else.
function(ralvex_export_ft_functions target)
  add_dependencies(${target} ralvex-exports)
  target_link_options(${target} PRIVATE ${RALVEX_EXPORTS_DEF})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${RALVEX_EXPORTS_DEF})
endfunction()
