#!/usr/bin/env bash
# Real fuzzing of one target for a while:
#   scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]
# TARGET is one of the programs in fuzz/ (receive_parser, options, bench_file, tester_link,
# eeprom_decode, ft_calls). Builds build-fuzz/ with clang, every layer instrumented for coverage
# and the address and undefined-behaviour checks on, then fuzzes from the target's seed corpus.
# New inputs go to build-fuzz/corpus/TARGET (the seeds in the tree stay as they are); a crash,
# leak or time-out is written to build-fuzz/findings/TARGET/. One fuzzing process, in the
# foreground (no -jobs: with it libFuzzer hands the run to a worker logging to fuzz-N.log).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 2 ]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]" >&2
  exit 2
fi
target=$1
seconds=$2
shift 2
if [ ! -f "fuzz/$target.cpp" ]; then
  echo "no fuzz target '$target' (see fuzz/)" >&2
  exit 2
fi
source scripts/deps.sh
ralvex_install_deps
ralvex_install_clang_deps

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DRALVEX_SANITIZE=address,undefined -DRALVEX_FUZZ_INSTRUMENT=ON -DRALVEX_BENCHMARKS=OFF \
  "${launcher[@]}" >/dev/null
cmake --build build-fuzz --target "fuzz_$target" -j "$(nproc 2>/dev/null || echo 2)"

corpus=build-fuzz/corpus/$target
findings=build-fuzz/findings/$target
mkdir -p "$corpus" "$findings"
status=0
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  "build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$findings/" "$@" "$corpus" "fuzz/corpus/$target" ||
  status=$?
echo "corpus: $(find "$corpus" -type f | wc -l) new inputs in $corpus"
if [ "$status" -ne 0 ]; then
  cat <<EOT
A finding is in $findings/. To shrink it and keep it as a regression test:
  build-fuzz/fuzz/fuzz_$target -minimize_crash=1 -runs=100000 -artifact_prefix=$findings/min- $findings/<file>
  cp $findings/min-<file> fuzz/corpus/$target/<what-it-shows>
EOT
fi
exit "$status"
