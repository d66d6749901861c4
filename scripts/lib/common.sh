# Shared by scripts/test, scripts/demo and the benchmarks: package checks and
# a private, throw-away MariaDB server. Source it; do not run it.

GRIDLOAD_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# install_missing PKG...: apt-get installs the packages that are not there yet.
install_missing() {
  local need=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
  done
  if ((${#need[@]})); then
    echo "== installing: ${need[*]}"
    if [ "$(id -u)" -ne 0 ]; then
      echo "missing packages (${need[*]}); run as root or install them first" >&2
      return 1
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}"
  fi
}

BUILD_PACKAGES=(cmake make g++ pkg-config clang libclang-rt-14-dev libicu-dev libgtest-dev libbenchmark-dev
  libmariadb-dev libzip-dev libexpat1-dev libxlsxwriter-dev e2fsprogs time)
SERVER_PACKAGES=(mariadb-server mariadb-client)

# configure_and_build DIR ARGS...: a CMake build with the machine's cores.
configure_and_build() {
  local dir=$1
  shift
  cmake -S "$GRIDLOAD_ROOT" -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}

# start_private_mariadb: starts a server of our own on a free loopback port,
# never the system's, and exports GRIDLOAD_TEST_HOST/PORT/USER/PASSWORD.
# stop_private_mariadb stops it; callers set a trap so it runs on every exit.
start_private_mariadb() {
  MARIADB_DIR=$(mktemp -d /tmp/gridload-db.XXXXXX)
  local port
  for port in $(seq 33306 33406); do
    (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null || break
  done
  MARIADB_PORT=$port
  MARIADB_SOCKET=$MARIADB_DIR/mysqld.sock
  # A temporary directory of its own: a server starting removes the
  # temporary tables it finds in its tmpdir, another server's among them.
  mkdir -p "$MARIADB_DIR/tmp"
  mariadb-install-db --no-defaults --user=root --datadir="$MARIADB_DIR/data" --tmpdir="$MARIADB_DIR/tmp" \
    --auth-root-authentication-method=socket --skip-test-db >"$MARIADB_DIR/install.log" 2>&1 || {
    cat "$MARIADB_DIR/install.log" >&2
    return 1
  }
  setsid mariadbd --no-defaults --user=root --datadir="$MARIADB_DIR/data" --socket="$MARIADB_SOCKET" \
    --tmpdir="$MARIADB_DIR/tmp" --pid-file="$MARIADB_DIR/mysqld.pid" --log-error="$MARIADB_DIR/err.log" --bind-address=127.0.0.1 \
    --port="$MARIADB_PORT" --local-infile=1 --max-allowed-packet=64M >/dev/null 2>&1 &
  MARIADB_PID=$!
  local i
  for i in $(seq 1 60); do
    if mariadb-admin --no-defaults --protocol=SOCKET --socket="$MARIADB_SOCKET" --user=root ping >/dev/null 2>&1; then
      break
    fi
    if ! kill -0 "$MARIADB_PID" 2>/dev/null; then
      echo "MariaDB did not start:" >&2
      cat "$MARIADB_DIR/err.log" >&2
      return 1
    fi
    sleep 0.5
  done
  export GRIDLOAD_TEST_HOST=127.0.0.1 GRIDLOAD_TEST_PORT=$MARIADB_PORT GRIDLOAD_TEST_USER=gridload \
    GRIDLOAD_TEST_PASSWORD=gridload-test-pw GRIDLOAD_TEST_SOCKET=$MARIADB_SOCKET
  mariadb --no-defaults --protocol=SOCKET --socket="$MARIADB_SOCKET" --user=root -e \
    "CREATE USER 'gridload'@'%' IDENTIFIED BY 'gridload-test-pw'; GRANT ALL PRIVILEGES ON *.* TO 'gridload'@'%' WITH GRANT OPTION;"
  echo "== private MariaDB on 127.0.0.1:$MARIADB_PORT ($MARIADB_DIR)"
}

stop_private_mariadb() {
  [ -n "${MARIADB_DIR:-}" ] || return 0
  mariadb-admin --no-defaults --protocol=SOCKET --socket="$MARIADB_SOCKET" --user=root shutdown >/dev/null 2>&1 || true
  local i
  for i in $(seq 1 60); do
    kill -0 "$MARIADB_PID" 2>/dev/null || break
    sleep 0.5
  done
  kill -9 "$MARIADB_PID" 2>/dev/null || true
  rm -rf "$MARIADB_DIR"
  MARIADB_DIR=
}

# mariadb_root ARGS...: the mariadb client as root on the private server.
mariadb_root() { mariadb --no-defaults --protocol=SOCKET --socket="$MARIADB_SOCKET" --user=root "$@"; }

# bench_server WORK: the benchmarks' set-up. WORK is removed on exit; the
# private server of GRIDLOAD_TEST_* is used when one is named, else one is
# started here and stopped on exit. Sets `client`, the mariadb client of it.
bench_server() {
  BENCH_WORK=$1
  BENCH_STARTED_SERVER=
  trap bench_server_cleanup EXIT
  if [ -z "${GRIDLOAD_TEST_PORT:-}" ]; then
    start_private_mariadb >/dev/null
    BENCH_STARTED_SERVER=1
  fi
  client=(mariadb --no-defaults -h"$GRIDLOAD_TEST_HOST" -P"$GRIDLOAD_TEST_PORT" -u"$GRIDLOAD_TEST_USER"
    -p"$GRIDLOAD_TEST_PASSWORD")
}
bench_server_cleanup() {
  rm -rf "$BENCH_WORK"
  [ -z "$BENCH_STARTED_SERVER" ] || stop_private_mariadb
}
