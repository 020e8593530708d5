# A throwaway PostgreSQL server for the tests: its own cluster in a temporary
# folder, reached through a unix socket in that folder only (no TCP port),
# owned by an unprivileged user (the server refuses to run as root: under
# root the cluster belongs to the "postgres" user the package creates).
# shellcheck shell=bash

PG_TEST_DIR=""

# start_test_postgresql: starts the server and exports RDM_TEST_POSTGRESQL,
# the URI of its database "rdmtest"; without PostgreSQL's programs it says
# so and exports nothing (the PostgreSQL tests are then reported skipped).
start_test_postgresql() {
  local bin run=()
  bin="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)"
  if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
    say "PostgreSQL's server programs are not installed: the PostgreSQL tests will be skipped"
    return 0
  fi
  PG_TEST_DIR="$(mktemp -d /tmp/rdm-pg.XXXXXX)"
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres: "$PG_TEST_DIR"
    run=(runuser -u postgres --)
  fi
  say "starting a throwaway PostgreSQL server ($PG_TEST_DIR)"
  "${run[@]}" "$bin/initdb" -D "$PG_TEST_DIR/data" -U rdm --auth=trust --encoding=UTF8 --locale=C \
      >"$PG_TEST_DIR/initdb.log" 2>&1 || { cat "$PG_TEST_DIR/initdb.log" >&2; return 1; }
  "${run[@]}" "$bin/pg_ctl" -D "$PG_TEST_DIR/data" -l "$PG_TEST_DIR/server.log" -w \
      -o "-c listen_addresses='' -k $PG_TEST_DIR -c fsync=off -c max_connections=200" start >/dev/null ||
      { cat "$PG_TEST_DIR/server.log" >&2; return 1; }
  "$bin/createdb" -h "$PG_TEST_DIR" -U rdm rdmtest
  export RDM_TEST_POSTGRESQL="postgresql:///rdmtest?host=$PG_TEST_DIR&user=rdm"
}

# stop_test_postgresql: stops the server and removes its folder (safe to call
# when none was started).
stop_test_postgresql() {
  [ -n "$PG_TEST_DIR" ] || return 0
  local bin run=()
  bin="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)"
  [ "$(id -u)" -eq 0 ] && run=(runuser -u postgres --)
  "${run[@]}" "$bin/pg_ctl" -D "$PG_TEST_DIR/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$PG_TEST_DIR"
  PG_TEST_DIR=""
}
