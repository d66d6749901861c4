#!/usr/bin/env bash
# .xls workbooks end to end: `gridload --dump` on a generated 60,000-row
# .xls (bench/make_xls_bench.py, python3-xlwt: 13 typed columns, mostly
# unique long texts) against python3-xlrd reading the same file into CSV
# (bench/xlrd_to_csv.py) in the same run. Prints seconds, CPU seconds, peak
# RSS and the ratio; the target is gridload's whole conversion faster than
# xlrd's read alone. When GRIDLOAD_TEST_* names a server, the dump is also
# loaded there (not timed) and its row count checked.
#
#   bench/xls_bench.sh [BUILD_DIR] [ROWS...]
# BUILD_DIR holds agent/gridload (default build-wbe).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-wbe}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(60000)
gridload=$build/agent/gridload
[ -x "$gridload" ] || { echo "missing $gridload (build the gridload target)" >&2; exit 1; }
python=/usr/bin/python3
"$python" -c 'import xlwt, xlrd' || { echo "python3-xlwt and python3-xlrd are needed" >&2; exit 1; }

work=$(mktemp -d /tmp/gridload-xls-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"$1\", $2 }"; }
timed() {
  local prefix=$1 t0
  shift
  t0=$(now)
  /usr/bin/time -f '%M %U %S' -o "$prefix.rss" "$@"
  calc "%.3f" "$(now) - $t0" >"$prefix.s"
}

printf '%-7s %-9s %8s %8s %9s %9s  %s\n' rows program seconds "CPU s" rows/s "peak MiB" ratio
for rows in "${sizes[@]}"; do
  book=$work/rows_$rows.xls
  "$python" "$root/bench/make_xls_bench.py" "$book" "$rows"
  cat "$book" >/dev/null

  timed "$work/gl" "$gridload" --src="$book" --dump --dest="$work/out.sql" --extr_fn --silent
  timed "$work/py" "$python" "$root/bench/xlrd_to_csv.py" "$book" "$work/out.csv"
  csv_rows=$("$python" -c 'import csv, sys; print(sum(1 for _ in csv.reader(open(sys.argv[1], newline=""))))' \
    "$work/out.csv")
  [ "$csv_rows" = $((rows + 1)) ] || { echo "xlrd wrote $csv_rows rows of $((rows + 1))" >&2; exit 1; }

  if [ -n "${GRIDLOAD_TEST_PORT:-}" ]; then
    client=(mariadb --no-defaults -h"$GRIDLOAD_TEST_HOST" -P"$GRIDLOAD_TEST_PORT" -u"$GRIDLOAD_TEST_USER"
            -p"$GRIDLOAD_TEST_PASSWORD")
    "${client[@]}" -e "DROP DATABASE IF EXISTS gl_xls_bench; CREATE DATABASE gl_xls_bench CHARACTER SET utf8mb4"
    "${client[@]}" gl_xls_bench <"$work/out.sql"
    loaded=$("${client[@]}" -N gl_xls_bench -e 'SELECT COUNT(*) FROM `Data`')
    "${client[@]}" -e "DROP DATABASE gl_xls_bench"
    [ "$loaded" = "$rows" ] || { echo "the dump loaded $loaded rows of $rows" >&2; exit 1; }
  fi

  read -r gl_rss gl_user gl_sys <"$work/gl.rss"
  read -r py_rss py_user py_sys <"$work/py.rss"
  gl_s=$(cat "$work/gl.s")
  py_s=$(cat "$work/py.s")
  printf '%-7s %-9s %8s %8s %9s %9s  %s\n' "$rows" xlrd "$py_s" "$(calc "%.2f" "$py_user + $py_sys")" \
    "$(calc "%.0f" "$rows / $py_s")" "$(calc "%.1f" "$py_rss / 1024")" -
  printf '%-7s %-9s %8s %8s %9s %9s  %s\n' "$rows" gridload "$gl_s" "$(calc "%.2f" "$gl_user + $gl_sys")" \
    "$(calc "%.0f" "$rows / $gl_s")" "$(calc "%.1f" "$gl_rss / 1024")" \
    "gridload's conversion takes $(calc "%.2f" "$gl_s / $py_s")x xlrd's read ($(calc "%.2f" "($gl_user + $gl_sys) / ($py_user + $py_sys)")x its CPU time)"
  rm -f "$book" "$work/out.sql" "$work/out.csv"
done
