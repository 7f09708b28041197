#!/usr/bin/env bash
# Makes every package into dist/ from trees of its own, built without tests: the Debian package
# from build-deb/ (configured for /usr, with Debian's hardening flags) and the Windows zips from
# build-pkg-win32/ and build-pkg-win64/ (the mingw-w64 cross compilers, as scripts/windows.sh
# uses them). Lists what each package holds and runs lintian on the Debian one.
#   scripts/package.sh          all three
#   scripts/package.sh deb      the Debian package only
#   scripts/package.sh zip      the Windows zips only
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
ralvex_install_deps
ralvex_install_packaging_deps

jobs=$(nproc 2>/dev/null || echo 2)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
mkdir -p dist
version=$(sed -n 's/^project(ralvex VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

what=${1:-all}

if [ "$what" != zip ]; then
  echo "== Debian package (build-deb) =="
  # The library goes to the multiarch folder only in a tree configured for /usr. The flags are
  # given on every configure (the environment's are read at the first only); CMake reads no
  # CPPFLAGS, so the fortify flag goes with the compiler flags.
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  cppflags=$(dpkg-buildflags --get CPPFLAGS)
  ldflags=$(dpkg-buildflags --get LDFLAGS)
  cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DRALVEX_TESTS=OFF -DRALVEX_BENCHMARKS=OFF "${launcher[@]}" \
    -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" >/dev/null
  cmake --build build-deb -j "$jobs"
  (cd build-deb && cpack -G DEB -B "$PWD/../dist" >/dev/null)
  deb=dist/ralvex_${version}_$(dpkg --print-architecture).deb
  echo "$deb:"
  dpkg-deb -c "$deb"
  echo "lintian $deb:"
  lintian "$deb" && echo "(no tags)"
fi

if [ "$what" != deb ]; then
  ralvex_install_windows_deps
  for arch in i686:win32 x86_64:win64; do
    dir=build-pkg-${arch#*:}
    echo "== Windows zip ($dir) =="
    # The toolchain is read when a tree is first configured only.
    toolchain=()
    [ -f "$dir/CMakeCache.txt" ] || toolchain=("-DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-${arch%%:*}.cmake")
    cmake -S . -B "$dir" "${toolchain[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRALVEX_TESTS=OFF \
      -DRALVEX_BENCHMARKS=OFF "${launcher[@]}" >/dev/null
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && cpack -G ZIP -B "$PWD/../dist" >/dev/null)
    unzip -l "dist/ralvex-$version-${arch#*:}.zip"
  done
fi
rm -rf dist/_CPack_Packages
echo "Packages in dist/:"
ls -l dist
