# Sourced by scripts/test and scripts/demo: installs the Debian packages a
# fresh Debian 12 C++ machine lacks, and nothing that is already there.

vesk_missing_packages() {
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || echo "$pkg"
  done
}

vesk_ensure_packages() {
  local missing
  missing=$(vesk_missing_packages "$@")
  [ -z "$missing" ] && return 0
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "error: need root to install:" $missing >&2; return 1; }
    sudo="sudo"
  fi
  echo "== installing:" $missing
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q >/dev/null
  # shellcheck disable=SC2086
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
}

VESK_BUILD_PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev libssl-dev
  zlib1g-dev g++-mingw-w64-i686-win32 libz-mingw-w64-dev mingw-w64-i686-dev binutils-mingw-w64-i686)

# libFuzzer for the linux-fuzz preset, where clang is installed: Debian 12's
# clang 14 only recommends its compiler-rt libraries.
VESK_FUZZ_PACKAGES=(libclang-rt-14-dev)
