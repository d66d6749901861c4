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
# Each loader runs GRIDLOAD_BENCH_ROUNDS times (default 3), in turn with the
# other. Prints the best wall seconds of each, rows/s, the ratio of
# gridload's rows/s to LOAD DATA's (and each round's ratio) and gridload's
# peak RSS; both tables must end with every row.
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
rounds=${GRIDLOAD_BENCH_ROUNDS:-3}
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

  # Each loader runs $rounds times, in turn with the other, and its best
  # time counts: on a small machine a run now and then is slowed by
  # something else, and the other loader then meets the same conditions.
  ref=gl_live_ref
  best_gl="" best_ld="" ratios=""
  for round in $(seq "$rounds"); do
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

    if [ "$round" = 1 ]; then
      # The reference table: gridload's final column types, no rows.
      "${client[@]}" -e "DROP DATABASE IF EXISTS $ref; CREATE DATABASE $ref CHARACTER SET utf8mb4"
      "${client[@]}" $ref -e "CREATE TABLE \`reference\` LIKE $db.\`$table\`"
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
    fi
    "${client[@]}" $ref -e 'TRUNCATE TABLE `reference`'
    t0=$(now)
    "${client[@]}" --local-infile=1 $ref -e "$load"
    ld_s=$(calc "%.3f" "$(now) - $t0")
    loaded=$("${client[@]}" -N $ref -e 'SELECT COUNT(*) FROM `reference`')
    [ "$loaded" = "$rows" ] || { echo "LOAD DATA stored $loaded rows of $rows" >&2; exit 1; }
    ratios+="${ratios:+ }$(calc "%.2f" "$ld_s / $gl_s")"
    if [ -z "$best_gl" ] || awk "BEGIN { exit !($gl_s < $best_gl) }"; then best_gl=$gl_s best_rss=$gl_rss; fi
    if [ -z "$best_ld" ] || awk "BEGIN { exit !($ld_s < $best_ld) }"; then best_ld=$ld_s; fi
  done
  "${client[@]}" -e "DROP DATABASE $db; DROP DATABASE $ref"

  gl_rate=$(calc "%.0f" "$rows / $best_gl")
  ld_rate=$(calc "%.0f" "$rows / $best_ld")
  printf '%-8s %-10s %8s %10s %9s  %s\n' "$rows" "LOAD DATA" "$best_ld" "$ld_rate" - -
  printf '%-8s %-10s %8s %10s %9s  %s\n' "$rows" gridload "$best_gl" "$gl_rate" "$best_rss" \
    "$(calc "%.2f" "$gl_rate / $ld_rate")x LOAD DATA rows/s (rounds: $ratios)"
  rm -f "$src" "$work"/*.tsv
done
