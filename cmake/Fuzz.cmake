# Fuzz targets (fuzz/). With a Clang that links -fsanitize=fuzzer they are libFuzzer programs;
# with any other compiler they are plain programs around fuzz/replay_main.cpp. Either way ctest
# replays each target's corpus (label "fuzz").
option(RALVEX_FUZZ "Build the fuzz targets and replay their corpora" ON)
# For real fuzzing (scripts/fuzz.sh): the whole tree carries libFuzzer's coverage instrumentation,
# not only the targets' own files.
option(RALVEX_FUZZ_INSTRUMENT "Instrument every layer for libFuzzer's coverage" OFF)

set(RALVEX_LIBFUZZER OFF)
if(RALVEX_FUZZ AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND NOT WIN32
   AND NOT RALVEX_SANITIZE MATCHES "thread")
  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_LINK_OPTIONS -fsanitize=fuzzer)
  check_cxx_source_compiles([[
    #include <cstddef>
    #include <cstdint>
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }
  ]] RALVEX_HAS_LIBFUZZER)
  unset(CMAKE_REQUIRED_LINK_OPTIONS)
  if(RALVEX_HAS_LIBFUZZER)
    set(RALVEX_LIBFUZZER ON)
  endif()
endif()
if(RALVEX_FUZZ_INSTRUMENT)
  if(NOT RALVEX_LIBFUZZER)
    message(FATAL_ERROR "RALVEX_FUZZ_INSTRUMENT needs a Clang with libFuzzer")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
