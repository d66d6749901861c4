#!/usr/bin/env bash
# Workbooks end to end: `gridload --dump` on generated .xlsx files of
# 200,000 and 1,000,000 rows x 13 typed columns (bench/xlsx_gen: shared
# strings, mostly unique long texts), against two references measured in
# the same run on the same file:
# - python3-openpyxl (read_only=True, iter_rows(values_only=True)) writing
#   the sheet as CSV (bench/openpyxl_to_csv.py);
# - unzip -p FILE xl/worksheets/sheet1.xml > /dev/null (inflating the sheet
#   alone, no parsing).
# Prints seconds, rows/s, peak RSS, gridload's CPU seconds and the ratios.
# When GRIDLOAD_TEST_* names a server, each dump is also loaded there (not
# timed) and its row count checked.
#
#   bench/xlsx_bench.sh [BUILD_DIR] [ROWS...]
# BUILD_DIR holds agent/gridload and bench/xlsx_gen (default build-wbe).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-wbe}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(200000 1000000)
gridload=$build/agent/gridload
gen=$build/bench/xlsx_gen
for tool in "$gridload" "$gen"; do
  [ -x "$tool" ] || { echo "missing $tool (build the gridload and xlsx_gen targets)" >&2; exit 1; }
done
python=/usr/bin/python3
"$python" -c 'import openpyxl' || { echo "python3-openpyxl is missing" >&2; exit 1; }

work=$(mktemp -d /tmp/gridload-xlsx-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"$1\", $2 }"; }
# timed OUT_PREFIX COMMAND...: wall seconds into $OUT_PREFIX.s, "peak KiB
# user sys" into $OUT_PREFIX.rss.
timed() {
  local prefix=$1 t0
  shift
  t0=$(now)
  /usr/bin/time -f '%M %U %S' -o "$prefix.rss" "$@"
  calc "%.3f" "$(now) - $t0" >"$prefix.s"
}

printf '%-8s %-10s %8s %8s %10s %9s  %s\n' rows program seconds "CPU s" rows/s "peak MiB" ratio
for rows in "${sizes[@]}"; do
  book=$work/rows_$rows.xlsx
  "$gen" "$rows" "$book"
  cat "$book" >/dev/null  # the same (cached) input for every program

  timed "$work/unzip" sh -c "unzip -p '$book' xl/worksheets/sheet1.xml >/dev/null"
  # gridload's best of GRIDLOAD_BENCH_ROUNDS runs (default 3): a run now and
  # then is slowed by something else on a small machine.
  for round in $(seq "${GRIDLOAD_BENCH_ROUNDS:-3}"); do
    timed "$work/run" "$gridload" --src="$book" --dump --dest="$work/out.sql" --extr_fn --silent
    if [ "$round" = 1 ] || awk "BEGIN { exit !($(cat "$work/run.s") < $(cat "$work/gl.s")) }"; then
      mv "$work/run.s" "$work/gl.s"
      mv "$work/run.rss" "$work/gl.rss"
    fi
  done
  timed "$work/py" "$python" "$root/bench/openpyxl_to_csv.py" "$book" "$work/out.csv" >"$work/py.rows"

  read -r gl_rss gl_user gl_sys <"$work/gl.rss"
  read -r py_rss py_user py_sys <"$work/py.rss"
  read -r uz_rss uz_user uz_sys <"$work/unzip.rss"
  gl_s=$(cat "$work/gl.s")
  py_s=$(cat "$work/py.s")
  uz_s=$(cat "$work/unzip.s")
  py_rows=$(cat "$work/py.rows")
  [ "$py_rows" = $((rows + 1)) ] || { echo "openpyxl read $py_rows rows of $((rows + 1))" >&2; exit 1; }

  if [ -n "${GRIDLOAD_TEST_PORT:-}" ]; then
    client=(mariadb --no-defaults -h"$GRIDLOAD_TEST_HOST" -P"$GRIDLOAD_TEST_PORT" -u"$GRIDLOAD_TEST_USER"
            -p"$GRIDLOAD_TEST_PASSWORD")
    "${client[@]}" -e "DROP DATABASE IF EXISTS gl_xlsx_bench; CREATE DATABASE gl_xlsx_bench CHARACTER SET utf8mb4"
    "${client[@]}" gl_xlsx_bench <"$work/out.sql"
    loaded=$("${client[@]}" -N gl_xlsx_bench -e 'SELECT COUNT(*) FROM `Data`')
    "${client[@]}" -e "DROP DATABASE gl_xlsx_bench"
    [ "$loaded" = "$rows" ] || { echo "the dump loaded $loaded rows of $rows" >&2; exit 1; }
  fi

  gl_rate=$(calc "%.0f" "$rows / $gl_s")
  py_rate=$(calc "%.0f" "$rows / $py_s")
  printf '%-8s %-10s %8s %8s %10s %9s  %s\n' "$rows" unzip "$uz_s" "$(calc "%.2f" "$uz_user + $uz_sys")" \
    "$(calc "%.0f" "$rows / $uz_s")" "$(calc "%.1f" "$uz_rss / 1024")" -
  printf '%-8s %-10s %8s %8s %10s %9s  %s\n' "$rows" openpyxl "$py_s" "$(calc "%.2f" "$py_user + $py_sys")" \
    "$py_rate" "$(calc "%.1f" "$py_rss / 1024")" -
  printf '%-8s %-10s %8s %8s %10s %9s  %s\n' "$rows" gridload "$gl_s" "$(calc "%.2f" "$gl_user + $gl_sys")" \
    "$gl_rate" "$(calc "%.1f" "$gl_rss / 1024")" \
    "$(calc "%.2f" "$gl_rate / $py_rate")x openpyxl rows/s, $(calc "%.2f" "$gl_s / $uz_s")x unzip time, RSS $(calc "%.2f" "$gl_rss / $py_rss")x openpyxl"
  rm -f "$book" "$work/out.sql" "$work/out.csv"
done
