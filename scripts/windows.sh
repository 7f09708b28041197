#!/usr/bin/env bash
# The Windows programs: installs the cross compilers and Wine when missing, builds
# build-win32/ (i686) and build-win64/ (x64), and runs their tests under Wine.
#   scripts/windows.sh          build both and test both
#   scripts/windows.sh build    build only
# Both test runs share one Wine prefix (build-wine/) and one wine server, started here once:
# without a running server every Windows process would pay for starting one.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
ralvex_install_windows_deps

jobs=$(nproc 2>/dev/null || echo 2)
prefix=$PWD/build-wine
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

for arch in i686:win32 x86_64:win64; do
  dir=build-${arch#*:}
  echo "== Windows ${arch%%:*} build ($dir) =="
  # The toolchain is read when a tree is first configured only.
  toolchain=()
  [ -f "$dir/CMakeCache.txt" ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-${arch%%:*}.cmake)
  # Built to be tested, not shipped (scripts/package.sh builds the packages): lightly optimised,
  # without the debug information that makes these links slow.
  cmake -S . -B "$dir" "${toolchain[@]}" -DCMAKE_BUILD_TYPE=Release -DRALVEX_WERROR=ON \
    -DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG" -DCMAKE_C_FLAGS_RELEASE="-O1 -DNDEBUG" \
    -DRALVEX_WINEPREFIX="$prefix" "${launcher[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
done
[ "${1:-}" = build ] && exit 0

# The 64-bit loader directly: the "wine" launcher prefers the 32-bit one.
wine64=$(command -v wine64 || true)
[ -z "$wine64" ] && [ -x /usr/lib/wine/wine64 ] && wine64=/usr/lib/wine/wine64
[ -z "$wine64" ] && wine64=wine
export WINEPREFIX=$prefix WINEDEBUG=-all
mkdir -p "$prefix"
wineserver -p &  # it detaches itself; in the background in case it does not
trap 'wineserver -k || true' EXIT
"$wine64" wineboot -i >/dev/null 2>&1

ctest_args=(--output-on-failure --timeout 300 -j "$jobs")
echo "== Windows x86_64 tests =="
ctest --test-dir build-win64 "${ctest_args[@]}"

echo "== Windows i686 tests =="
# Some Linux kernels (some virtual machines) run no 32-bit programs at all; there only the
# checks that need not run a Windows program are possible.
if /usr/lib/wine/wine --version >/dev/null 2>&1 || { [ ! -e /usr/lib/wine/wine ] && wine --version >/dev/null 2>&1; }; then
  ctest --test-dir build-win32 "${ctest_args[@]}"
else
  echo "This kernel runs no 32-bit programs: the i686 tests that run under Wine are skipped."
  ctest --test-dir build-win32 "${ctest_args[@]}" -LE wine
fi
echo "Windows builds passed."
