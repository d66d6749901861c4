#!/usr/bin/env bash
# Into a live server, against the server's own bulk loader in the same run:
#   csv   `gridload --from_csv --csv_delim=2 --extr_fn` (type refinement on)
#         on generated CSV files (bench/csv_gen); the reference is LOAD DATA
#         LOCAL INFILE of the same file into an empty table of the column
#         types gridload ended with (empty fields loaded as NULL, as
#         gridload stores them);
#   xlsx  `gridload --extr_fn` on generated workbooks (bench/xlsx_gen); the
#         reference is LOAD DATA LOCAL INFILE of the same data as a CSV file
#         (the server's own tab-separated export of gridload's table) into an
#         empty table of the same types.
# Prints wall seconds, rows/s, the ratio of gridload's rows/s to LOAD DATA's
# and gridload's peak RSS; both tables must end with every row.
#
#   bench/live_bench.sh csv|xlsx [BUILD_DIR] [ROWS...]
# BUILD_DIR holds agent/gridload, bench/csv_gen and bench/xlsx_gen (default
# build-wbe); ROWS default to 100,000 and 1,000,000 (CSV) or 200,000 (xlsx).
# Uses the private server of GRIDLOAD_TEST_* when set, else starts one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/lib/common.sh"
kind=${1:?usage: live_bench.sh csv|xlsx [BUILD_DIR] [ROWS...]}
shift
build=${1:-$root/build-wbe}
shift || true
sizes=("$@")
gridload=$build/agent/gridload
case $kind in
  csv) gen=$build/bench/csv_gen; [ ${#sizes[@]} -gt 0 ] || sizes=(100000 1000000) ;;
  xlsx) gen=$build/bench/xlsx_gen; [ ${#sizes[@]} -gt 0 ] || sizes=(200000) ;;
  *) echo "live_bench.sh: csv or xlsx" >&2; exit 2 ;;
esac
for tool in "$gridload" "$gen"; do
  [ -x "$tool" ] || { echo "missing $tool (build gridload, csv_gen and xlsx_gen)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/gridload-live-bench.XXXXXX)
chmod 755 "$work"  # the server writes its export here
bench_server "$work"
db=gl_live_bench
now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"$1\", $2 }"; }

printf '%-8s %-10s %8s %10s %9s  %s\n' rows program seconds rows/s "peak MiB" ratio
for rows in "${sizes[@]}"; do
  if [ "$kind" = csv ]; then
    src=$work/rows_$rows.csv
    args=(--from_csv --csv_delim=2 --extr_fn --tab_name=rows)
  else
    src=$work/rows_$rows.xlsx
    args=(--extr_fn)
  fi
  "$gen" "$rows" "$src" >/dev/null
  cat "$src" >/dev/null  # the same (cached) input for both loaders

  "${client[@]}" -e "DROP DATABASE IF EXISTS $db"
  t0=$(now)
  # The generated text holds 4-byte characters: utf8mb4.
  /usr/bin/time -f '%M' -o "$work/rss" "$gridload" --src="$src" "${args[@]}" --dest=$db --charset=utf8mb4 \
    --host="$GRIDLOAD_TEST_HOST" --port="$GRIDLOAD_TEST_PORT" --user="$GRIDLOAD_TEST_USER" \
    --pswd="$GRIDLOAD_TEST_PASSWORD" --silent
  gl_s=$(calc "%.3f" "$(now) - $t0")
  gl_rss=$(calc "%.1f" "$(cat "$work/rss") / 1024")
  table=$("${client[@]}" -N -e "SELECT table_name FROM information_schema.tables WHERE table_schema='$db'")
  stored=$("${client[@]}" -N $db -e "SELECT COUNT(*) FROM \`$table\`")
  [ "$stored" = "$rows" ] || { echo "gridload stored $stored rows of $rows" >&2; exit 1; }

  # The reference table: gridload's final column types, no rows.
  "${client[@]}" $db -e "CREATE TABLE \`reference\` LIKE \`$table\`"
  if [ "$kind" = csv ]; then
    columns=$("${client[@]}" -N -e "SELECT column_name FROM information_schema.columns WHERE table_schema='$db' \
      AND table_name='$table' ORDER BY ordinal_position")
    vars="" sets=""
    i=0
    for c in $columns; do
      i=$((i + 1))
      vars+="${vars:+,}@v$i"
      sets+="${sets:+,}\`$c\`=NULLIF(@v$i,'')"
    done
    load="LOAD DATA LOCAL INFILE '$src' INTO TABLE \`reference\` CHARACTER SET utf8mb4 FIELDS TERMINATED BY ',' \
      OPTIONALLY ENCLOSED BY '\"' ESCAPED BY '' LINES TERMINATED BY '\n' IGNORE 1 LINES ($vars) SET $sets"
  else
    csv=$work/rows_$rows.tsv
    "${client[@]}" $db -e "SELECT * INTO OUTFILE '$csv' CHARACTER SET utf8mb4 FROM \`$table\`"
    cat "$csv" >/dev/null
    load="LOAD DATA LOCAL INFILE '$csv' INTO TABLE \`reference\` CHARACTER SET utf8mb4"
  fi
  t0=$(now)
  "${client[@]}" --local-infile=1 $db -e "$load"
  ld_s=$(calc "%.3f" "$(now) - $t0")
  loaded=$("${client[@]}" -N $db -e 'SELECT COUNT(*) FROM `reference`')
  [ "$loaded" = "$rows" ] || { echo "LOAD DATA stored $loaded rows of $rows" >&2; exit 1; }
  "${client[@]}" -e "DROP DATABASE $db"

  gl_rate=$(calc "%.0f" "$rows / $gl_s")
  ld_rate=$(calc "%.0f" "$rows / $ld_s")
  printf '%-8s %-10s %8s %10s %9s  %s\n' "$rows" "LOAD DATA" "$ld_s" "$ld_rate" - -
  printf '%-8s %-10s %8s %10s %9s  %s\n' "$rows" gridload "$gl_s" "$gl_rate" "$gl_rss" \
    "$(calc "%.2f" "$gl_rate / $ld_rate")x LOAD DATA rows/s"
  rm -f "$src" "$work"/*.tsv
done
