#!/usr/bin/env bash
# Makes every package into dist/: the Debian package from build-deb/ (configured for /usr, with
# Debian's hardening flags), and the Windows zips from build-win32/ and build-win64/ (built by
# scripts/windows.sh). Lists what each holds and runs lintian on the Debian package.
#   scripts/package.sh          all three
#   scripts/package.sh deb      the Debian package only
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
ralvex_install_deps
ralvex_install_packaging_deps

jobs=$(nproc 2>/dev/null || echo 2)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
mkdir -p dist

echo "== Debian package (build-deb) =="
# The library goes to the multiarch folder only in a tree configured for /usr. The report
# printer passes its literal formats through a variadic helper, which -Werror=format-security
# cannot see through: that one stays a warning.
CFLAGS=$(dpkg-buildflags --get CFLAGS) \
  CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) -Wno-error=format-security" \
  CPPFLAGS=$(dpkg-buildflags --get CPPFLAGS) LDFLAGS=$(dpkg-buildflags --get LDFLAGS) \
  cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DRALVEX_TESTS=OFF -DRALVEX_BENCHMARKS=OFF "${launcher[@]}" >/dev/null
cmake --build build-deb -j "$jobs"
(cd build-deb && cpack -G DEB -B "$PWD/../dist" >/dev/null)
deb=$(ls -t dist/ralvex_*.deb | head -1)
echo "$deb:"
dpkg-deb -c "$deb"
echo "lintian $deb:"
lintian --info "$deb" || true

if [ "${1:-}" != deb ]; then
  scripts/windows.sh build
  for dir in build-win32 build-win64; do
    echo "== Windows zip ($dir) =="
    (cd "$dir" && cpack -G ZIP -B "$PWD/../dist" >/dev/null)
  done
  for zip in dist/ralvex-*-win32.zip dist/ralvex-*-win64.zip; do
    unzip -l "$zip"
  done
fi
rm -rf dist/_CPack_Packages
echo "Packages in dist/:"
ls -l dist
