#!/usr/bin/env bash
# CSV files into a live server: `gridload --from_csv --csv_delim=2 --extr_fn`
# (type refinement on) on generated CSV files of 100,000 and 1,000,000 rows
# (bench/csv_gen) into the private server, against the server's own bulk
# loader in the same run: LOAD DATA LOCAL INFILE of the same file into an
# empty table of the column types gridload ended with (empty fields loaded
# as NULL, as gridload stores them). Prints wall seconds, rows/s, the ratio
# of gridload's rows/s to LOAD DATA's and gridload's peak RSS; both tables
# must end with every row.
#
#   bench/csv_mysql_bench.sh [BUILD_DIR] [ROWS...]
# BUILD_DIR holds agent/gridload and bench/csv_gen (default build-wbe).
# Uses the private server of GRIDLOAD_TEST_* when set, else starts one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/lib/common.sh"
build=${1:-$root/build-wbe}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(100000 1000000)
gridload=$build/agent/gridload
csv_gen=$build/bench/csv_gen
for tool in "$gridload" "$csv_gen"; do
  [ -x "$tool" ] || { echo "missing $tool (build the gridload and csv_gen targets)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/gridload-csv-mysql-bench.XXXXXX)
started_server=
cleanup() {
  rm -rf "$work"
  [ -z "$started_server" ] || stop_private_mariadb
}
trap cleanup EXIT
if [ -z "${GRIDLOAD_TEST_PORT:-}" ]; then
  start_private_mariadb >/dev/null
  started_server=1
fi
client=(mariadb --no-defaults -h"$GRIDLOAD_TEST_HOST" -P"$GRIDLOAD_TEST_PORT" -u"$GRIDLOAD_TEST_USER"
        -p"$GRIDLOAD_TEST_PASSWORD")
db=gl_csv_mysql_bench
now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"$1\", $2 }"; }

printf '%-8s %-10s %8s %10s %9s  %s\n' rows program seconds rows/s "peak MiB" ratio
for rows in "${sizes[@]}"; do
  csv=$work/rows_$rows.csv
  "$csv_gen" "$rows" "$csv"
  cat "$csv" >/dev/null  # the same (cached) input for both loaders

  "${client[@]}" -e "DROP DATABASE IF EXISTS $db"
  t0=$(now)
  # The generated text holds 4-byte characters: utf8mb4.
  /usr/bin/time -f '%M' -o "$work/rss" "$gridload" --from_csv --src="$csv" --csv_delim=2 --extr_fn \
    --tab_name=rows --dest=$db --charset=utf8mb4 --host="$GRIDLOAD_TEST_HOST" --port="$GRIDLOAD_TEST_PORT" \
    --user="$GRIDLOAD_TEST_USER" --pswd="$GRIDLOAD_TEST_PASSWORD" --silent
  gl_s=$(calc "%.3f" "$(now) - $t0")
  gl_rss=$(calc "%.1f" "$(cat "$work/rss") / 1024")
  stored=$("${client[@]}" -N $db -e 'SELECT COUNT(*) FROM `rows`')
  [ "$stored" = "$rows" ] || { echo "gridload stored $stored rows of $rows" >&2; exit 1; }

  # The reference table: gridload's final column types, no rows.
  "${client[@]}" $db -e 'CREATE TABLE `reference` LIKE `rows`'
  columns=$("${client[@]}" -N -e "SELECT column_name FROM information_schema.columns WHERE table_schema='$db' \
    AND table_name='rows' ORDER BY ordinal_position")
  vars="" sets=""
  i=0
  for c in $columns; do
    i=$((i + 1))
    vars+="${vars:+,}@v$i"
    sets+="${sets:+,}\`$c\`=NULLIF(@v$i,'')"
  done
  t0=$(now)
  "${client[@]}" --local-infile=1 $db -e "LOAD DATA LOCAL INFILE '$csv' INTO TABLE \`reference\` \
    CHARACTER SET utf8mb4 FIELDS TERMINATED BY ',' OPTIONALLY ENCLOSED BY '\"' ESCAPED BY '' \
    LINES TERMINATED BY '\n' IGNORE 1 LINES ($vars) SET $sets"
  ld_s=$(calc "%.3f" "$(now) - $t0")
  loaded=$("${client[@]}" -N $db -e 'SELECT COUNT(*) FROM `reference`')
  [ "$loaded" = "$rows" ] || { echo "LOAD DATA stored $loaded rows of $rows" >&2; exit 1; }
  "${client[@]}" -e "DROP DATABASE $db"

  gl_rate=$(calc "%.0f" "$rows / $gl_s")
  ld_rate=$(calc "%.0f" "$rows / $ld_s")
  printf '%-8s %-10s %8s %10s %9s  %s\n' "$rows" "LOAD DATA" "$ld_s" "$ld_rate" - -
  printf '%-8s %-10s %8s %10s %9s  %s\n' "$rows" gridload "$gl_s" "$gl_rate" "$gl_rss" \
    "$(calc "%.2f" "$gl_rate / $ld_rate")x LOAD DATA rows/s"
  rm -f "$csv"
done
