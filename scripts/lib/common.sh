# Shared by scripts/test and scripts/demo: installs what is missing and builds.
# shellcheck shell=bash

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Debian packages the build, the tests and the benchmarks need.
RDM_PACKAGES=(cmake ninja-build g++ pkg-config libsqlite3-dev sqlite3 libgtest-dev libgmock-dev
              libbenchmark-dev libspdlog-dev libtomlplusplus-dev libcli11-dev nlohmann-json3-dev)

say() { printf '==> %s\n' "$*" >&2; }

install_packages() {
  local missing=()
  for p in "${RDM_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  say "installing missing packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build PRESET: configure and build one preset (default, asan).
build_preset() {
  local preset="$1"
  say "configuring and building ($preset)"
  cmake --preset "$preset" -S "$ROOT" >/dev/null
  cmake --build --preset "$preset" -j 2
}
