#!/usr/bin/env bash
# Builds and runs the whole suite: a normal build, an AddressSanitizer + UndefinedBehaviorSanitizer
# build, a ThreadSanitizer build of the threaded suites, a Clang build replaying the fuzz corpora,
# then the Windows builds (32- and 64-bit) with their tests under Wine. Exits non-zero on any
# failure.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
ralvex_install_deps
ralvex_install_test_deps

jobs=$(nproc 2>/dev/null || echo 2)
# Most suites wait on child processes and time-outs more than they compute, so twice as many run
# at once as there are cores.
ctest_args=(--output-on-failure --timeout 600 -j "$((jobs * 2))")
# Build flags, for a suite that is built from scratch on every run: line tables are all the debug
# information a failure's backtrace needs, and the sanitizer builds optimise less (they build
# faster and their reports read better). The AddressSanitizer build is not optimised at all; the
# ThreadSanitizer build keeps -O1, which its threaded suites need to run in reasonable time.
flags() { # optimisation and debug flags
  echo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=$* -DNDEBUG"
  echo "-DCMAKE_C_FLAGS_RELWITHDEBINFO=$* -DNDEBUG"
}
mapfile -t normal_flags < <(flags -O2 -g1)
mapfile -t asan_flags < <(flags -O0 -g1)
mapfile -t tsan_flags < <(flags -O1 -g1)

configure() { # dir, extra cmake args...
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRALVEX_WERROR=ON "$@" >/dev/null
}
build() { # dir, extra cmake args...
  configure "$@"
  cmake --build "$1" -j "$jobs"
}

echo "== normal build =="
build build "${normal_flags[@]}"
ctest --test-dir build "${ctest_args[@]}"
scripts/install_test.sh build  # install into a temporary prefix, build outside programs on it

echo "== address + undefined behaviour sanitizers =="
# The fuzz corpora are replayed under AddressSanitizer by the Clang build.
build build-asan -DRALVEX_SANITIZE=address,undefined -DRALVEX_BENCHMARKS=OFF -DRALVEX_FUZZ=OFF \
  "${asan_flags[@]}"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan "${ctest_args[@]}"

echo "== thread sanitizer =="
# Only the threaded suites run here, so only they are built.
configure build-tsan -DRALVEX_SANITIZE=thread -DRALVEX_BENCHMARKS=OFF "${tsan_flags[@]}"
mapfile -t tsan_targets < <(scripts/test_targets.py build-tsan tsan)
cmake --build build-tsan -j "$jobs" --target "${tsan_targets[@]}"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan -L tsan "${ctest_args[@]}"

scripts/clang.sh

echo "== Windows builds, tests under Wine =="
scripts/windows.sh

echo "All builds passed."
