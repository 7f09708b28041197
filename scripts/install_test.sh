#!/usr/bin/env bash
# Installs a built tree into a temporary prefix, moves the prefix elsewhere (the pkg-config and
# CMake files must follow), and checks the installed tree as its users meet it: two outside C
# programs built against it, one with pkg-config and one with find_package(RalvexBridge), list
# the built-in bench's tester through the installed library; the installed program runs; the
# man pages render without a warning; an installed bench file works from where it lies.
#   scripts/install_test.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
version=$(sed -n 's/^project(ralvex VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
  echo "install test: $*" >&2
  failures=$((failures + 1))
}
expect() { # what, expected, actual
  [ "$2" = "$3" ] || fail "$1: expected [$2], got [$3]"
}

cmake --install "$build" --prefix "$tmp/staged" >/dev/null
mv "$tmp/staged" "$tmp/prefix"
prefix=$tmp/prefix
library=$(find "$prefix" -name libralvex-bridge.so)
libdir=$(dirname "$library")

expect "programs installed" "ralvex ralvex-lab ralvex-tester" "$(cd "$prefix/bin" && echo *)"
expect "library links" "libralvex-bridge.so.0 libralvex-bridge.so.$version" \
  "$(readlink "$library") $(readlink "$libdir/libralvex-bridge.so.0")"
expect "SONAME" "libralvex-bridge.so.0" \
  "$(readelf -d "$library" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')"

export PKG_CONFIG_PATH=$libdir/pkgconfig
expect "pkg-config version" "$version" "$(pkg-config --modversion ralvex-bridge)"
# Only the installed header folder is on the include path, and every warning is an error: the
# header must stand on its own.
read -ra flags <<<"$(pkg-config --cflags --libs ralvex-bridge)"
cc -std=c11 -Wall -Wextra -Wpedantic -Werror tests/install/list_testers.c -o "$tmp/list_pkgconfig" \
  "${flags[@]}"
cmake -S tests/install -B "$tmp/outside" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_FLAGS="-Wall -Wextra -Wpedantic -Werror" >/dev/null
cmake --build "$tmp/outside" >/dev/null

export RALVEX_BENCH=builtin XDG_STATE_HOME=$tmp/state
for program in "$tmp/list_pkgconfig" "$tmp/outside/list_testers"; do
  expect "$(basename "$program") output" "0 KORA4VLH7Y PD Tester" \
    "$(LD_LIBRARY_PATH=$libdir "$program" 2>&1)"
done

"$prefix/bin/ralvex" -h 2>"$tmp/usage" || fail "ralvex -h ended with $?"
expect "ralvex -h, first line" "Usage: $prefix/bin/ralvex [-f] [-d] [-i] [-c] [-p] [-s] [-v] [-l]" \
  "$(head -1 "$tmp/usage")"
expect "ralvex -f on an installed bench" "$(printf '0=KORA4VLH7Y\n1=KORA8QZ2M4')" \
  "$(RALVEX_BENCH=$prefix/share/ralvex/benches/two-testers.toml "$prefix/bin/ralvex" -f 2>&1)"
expect "ralvex-lab --version" "$version" "$("$prefix/bin/ralvex-lab" --version 2>&1)"
expect "ralvex-lab status on an installed bench" "KORA4VLH7Y" \
  "$(RALVEX_BENCH=$prefix/share/ralvex/benches/two-testers.toml "$prefix/bin/ralvex-lab" status \
    --json 2>&1 | sed -n 's/.*"serial": "\([A-Z0-9]*\)".*/\1/p')"

for page in "$prefix"/share/man/man1/*.1; do
  expect "groff -ww -z $(basename "$page")" "" "$(groff -ww -z -man "$page" 2>&1)"
done

if [ "$failures" -ne 0 ]; then
  echo "install test: $failures failed" >&2
  exit 1
fi
echo "install test passed: $(find "$prefix" -type f | wc -l) files in $prefix, libdir ${libdir#"$prefix"/}"
