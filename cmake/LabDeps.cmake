# The libraries of ralvex-lab, all from Debian's packages: CLI11 (its options), nlohmann-json (its
# JSON) and SQLite (the log's database). On the build machine they come through their CMake
# packages. CLI11 and nlohmann-json are header-only, so a Windows build takes the same headers: a
# folder in the build tree links just those two header folders (never the host's whole
# /usr/include). SQLite has no Windows build here, so the Windows program leaves the database out
# (RALVEX_LAB_SQLITE is OFF there) and says so when asked for it.
#
# `serve` speaks HTTP through cpp-httplib, which Debian ships as a compiled library with its
# pkg-config file (its compile definitions must match the library's, so they come from there). It
# has no Windows build here either: the Windows program leaves serve out (RALVEX_LAB_SERVE OFF)
# and says so when asked for it.
#
# Targets: ralvex_lab_cli11, ralvex_lab_json, ralvex_lab_sqlite where RALVEX_LAB_SQLITE is ON, and
# ralvex_lab_httplib where RALVEX_LAB_SERVE is ON.
add_library(ralvex_lab_cli11 INTERFACE)
add_library(ralvex_lab_json INTERFACE)
if(CMAKE_CROSSCOMPILING)
  set(_host_headers ${CMAKE_BINARY_DIR}/host-headers)
  file(MAKE_DIRECTORY ${_host_headers})
  foreach(_dir IN ITEMS CLI nlohmann)
    if(NOT EXISTS /usr/include/${_dir})
      message(FATAL_ERROR "/usr/include/${_dir} is missing: install libcli11-dev and nlohmann-json3-dev")
    endif()
    file(CREATE_LINK /usr/include/${_dir} ${_host_headers}/${_dir} SYMBOLIC)
  endforeach()
  target_include_directories(ralvex_lab_cli11 SYSTEM INTERFACE ${_host_headers})
  target_include_directories(ralvex_lab_json SYSTEM INTERFACE ${_host_headers})
  set(RALVEX_LAB_SQLITE OFF)
  set(RALVEX_LAB_SERVE OFF)
else()
  find_package(CLI11 CONFIG REQUIRED)
  find_package(nlohmann_json 3.10 CONFIG REQUIRED)
  find_package(SQLite3 REQUIRED)
  target_link_libraries(ralvex_lab_cli11 INTERFACE CLI11::CLI11)
  target_link_libraries(ralvex_lab_json INTERFACE nlohmann_json::nlohmann_json)
  add_library(ralvex_lab_sqlite INTERFACE)
  target_link_libraries(ralvex_lab_sqlite INTERFACE SQLite::SQLite3)
  target_compile_definitions(ralvex_lab_sqlite INTERFACE RALVEX_LAB_SQLITE=1)
  set(RALVEX_LAB_SQLITE ON)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(RALVEX_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
  add_library(ralvex_lab_httplib INTERFACE)
  target_link_libraries(ralvex_lab_httplib INTERFACE PkgConfig::RALVEX_HTTPLIB)
  set(RALVEX_LAB_SERVE ON)
endif()
