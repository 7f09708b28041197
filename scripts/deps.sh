# Sourced by test.sh, run.sh, scripts/windows.sh and scripts/package.sh: makes sure the Debian
# packages the build needs are there.
RALVEX_PACKAGES=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev libtomlplusplus-dev
  pkgconf groff-base python3 libcli11-dev nlohmann-json3-dev libsqlite3-dev
  libcpp-httplib-dev)
# ralvex-lab serve speaks HTTP with cpp-httplib (a library found with pkg-config).

# The test suite looks at ralvex-lab with its users' own tools: headless chromium renders the
# pages, prometheus scrapes serve and its promtool checks the exposition and the alert rules; wrk
# drives benchmarks/serve_load.sh. Only test.sh installs them.
RALVEX_TEST_PACKAGES=(chromium prometheus wrk)

# The Windows builds: the POSIX thread-model mingw-w64 compilers (the default model has no
# std::thread), GoogleTest's sources to compile with them, and Wine to run the results. 32-bit
# Windows programs need the 32-bit Wine. ralvex-lab takes the header-only CLI11 and nlohmann-json
# from the host's packages.
RALVEX_WINDOWS_PACKAGES=(cmake make googletest g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  libcli11-dev nlohmann-json3-dev
  wine wine64 wine32:i386)

# scripts/package.sh: dpkg-shlibdeps (dpkg-dev) and file find the Debian package's dependencies;
# lintian checks the package; unzip lists the zips.
RALVEX_PACKAGING_PACKAGES=(dpkg-dev file lintian unzip)

# The Clang build and the fuzz targets: Debian's clang and its libFuzzer runtime.
RALVEX_CLANG_PACKAGES=(clang libclang-rt-14-dev)

# Installs whichever of the named packages are missing (as root), or says how to.
ralvex_install_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing missing packages: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    for pkg in "${missing[@]}"; do
      if [[ $pkg == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
      fi
    done
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  else
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them with: sudo apt-get install ${missing[*]}" >&2
    return 1
  fi
}

ralvex_install_deps() { ralvex_install_packages "${RALVEX_PACKAGES[@]}"; }
ralvex_install_test_deps() { ralvex_install_packages "${RALVEX_TEST_PACKAGES[@]}"; }
ralvex_install_clang_deps() { ralvex_install_packages "${RALVEX_CLANG_PACKAGES[@]}"; }
ralvex_install_windows_deps() { ralvex_install_packages "${RALVEX_WINDOWS_PACKAGES[@]}"; }
ralvex_install_packaging_deps() { ralvex_install_packages "${RALVEX_PACKAGING_PACKAGES[@]}"; }
