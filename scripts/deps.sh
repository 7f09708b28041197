# Sourced by test.sh and run.sh: makes sure the Debian packages the build needs are there.
RALVEX_PACKAGES=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev libtomlplusplus-dev)

ralvex_install_deps() {
  local missing=()
  local pkg
  for pkg in "${RALVEX_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing missing packages: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  else
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them with: sudo apt-get install ${missing[*]}" >&2
    return 1
  fi
}
