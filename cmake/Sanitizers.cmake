if(RALVEX_SANITIZE)
  set(_flags -fsanitize=${RALVEX_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_compile_options(${_flags})
  add_link_options(${_flags})
  # GCC's flow analysis under the address sanitizer's instrumentation reports uninitialised reads
  # that are not there (in libstdc++'s own <regex>, for one); the normal build keeps the warning.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND RALVEX_SANITIZE MATCHES "address")
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
endif()
