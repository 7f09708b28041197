#!/usr/bin/env bash
# Runs ralvex with the given options against the bench that RALVEX_BENCH names (default when it
# is unset: the built-in one; set but empty: the machine's real devices), after installing missing
# build packages and building build/ralvex if needed.
# The program's exit code is passed through.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
cd "$root"
source scripts/deps.sh
ralvex_install_deps >&2

build_dir="$root/build"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  if ! cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >"$log" 2>&1; then
    cat "$log" >&2
    echo "run.sh: configuring the build failed" >&2
    exit 1
  fi
fi
# Builds only what is out of date; quiet unless it fails.
if ! cmake --build "$build_dir" --target ralvex -j2 >"$log" 2>&1; then
  cat "$log" >&2
  echo "run.sh: building ralvex failed" >&2
  exit 1
fi

export RALVEX_BENCH="${RALVEX_BENCH-builtin}"
status=0
"$build_dir/ralvex" "$@" || status=$?
exit "$status"
