# Shared by scripts/test and scripts/demo: installs what is missing and builds.
# shellcheck shell=bash

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Debian packages the build, the tests and the benchmarks need.
RDM_PACKAGES=(cmake ninja-build g++ pkg-config libsqlite3-dev sqlite3 libgtest-dev libgmock-dev
              libbenchmark-dev libspdlog-dev libtomlplusplus-dev libcli11-dev nlohmann-json3-dev
              libserd-dev raptor2-utils  # Turtle: serd writes and reads it, rapper checks it in the tests
              clang libclang-rt-14-dev  # clang and its libFuzzer runtime: the fuzz targets
              help2man man-db dpkg-dev file  # the man page, its check, the Debian package
              libpq-dev postgresql)  # the store's PostgreSQL driver; a server for its tests

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

FUZZ_BUILD="$ROOT/build/fuzz"

# build_fuzz_targets TARGET...: configures build/fuzz with clang and builds
# the fuzz targets (fuzz/); the normal builds are untouched.
build_fuzz_targets() {
  say "configuring and building the fuzz targets (clang, build/fuzz)"
  cmake -S "$ROOT" -B "$FUZZ_BUILD" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DRDM_WERROR=ON -DRDM_FUZZ=ON -DRDM_BUILD_TESTS=OFF -DRDM_BUILD_BENCH=OFF >/dev/null
  local t names=()
  for t in "$@"; do names+=("fuzz_$t"); done
  cmake --build "$FUZZ_BUILD" -j 2 --target "${names[@]}"
}

# run_fuzz_targets SECONDS TARGET...: runs each target for SECONDS from its
# seeds and the inputs earlier runs kept; prints executions and crashes;
# answers 1 when a target crashed (the input is kept in build/fuzz/crashes).
run_fuzz_targets() {
  local seconds="$1" t log execs status=0 scratch="$FUZZ_BUILD/tmp"
  shift
  # The configuration target writes a file per input: memory is faster than disk.
  [ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm
  mkdir -p "$scratch"
  for t in "$@"; do
    mkdir -p "$FUZZ_BUILD/corpus/$t" "$FUZZ_BUILD/crashes/$t"
    log="$FUZZ_BUILD/fuzz_$t.log"
    say "fuzzing $t for ${seconds}s"
    if TMPDIR="$scratch" "$FUZZ_BUILD/bin/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 \
         -artifact_prefix="$FUZZ_BUILD/crashes/$t/" "$FUZZ_BUILD/corpus/$t" "$ROOT/fuzz/corpus/$t" >"$log" 2>&1; then
      execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
      printf '%-12s %10s executions, no crash\n' "$t" "${execs:-?}"
    else
      printf '%-12s CRASHED (log: %s)\n' "$t" "$log"
      grep -E '^(==[0-9]+==ERROR|SUMMARY|.*property failed)|Test unit written to' "$log" >&2 || tail -20 "$log" >&2
      status=1
    fi
  done
  return $status
}
