#!/usr/bin/env bash
# The dump writer end to end: `gridload --from_csv --dump` on generated CSV
# files of 100,000 and 1,000,000 rows (bench/csv_gen), against two
# references measured in the same run on the same machine:
# - mariadb-dump writing the same rows (multi-row INSERTs) from the private
#   server, after the dump just written has been loaded there (which also
#   checks that it loads and holds every row);
# - cat FILE > /dev/null on the CSV file (the cost of reading the input).
# The two programs run GRIDLOAD_BENCH_ROUNDS times each (default 3), taking
# turns, and each one's best time counts (each round's ratio is shown too).
# Prints input MB/s, rows/s, the ratios, gridload's peak RSS and its CPU
# seconds (user + system: steadier than the wall clock on a
# shared machine), and what the type refinement costs (CPU against a run
# with --no_refine).
#
#   bench/dump_bench.sh [BUILD_DIR] [ROWS...]
# BUILD_DIR holds agent/gridload and bench/csv_gen (default build-dmp).
# Uses the private server of GRIDLOAD_TEST_* when set, else starts one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/lib/common.sh"
build=${1:-$root/build-dmp}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(100000 1000000)
gridload=$build/agent/gridload
csv_gen=$build/bench/csv_gen
for tool in "$gridload" "$csv_gen"; do
  [ -x "$tool" ] || { echo "missing $tool (build the gridload and csv_gen targets)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/gridload-dump-bench.XXXXXX)
bench_server "$work"
dumper=(mariadb-dump --no-defaults -h"$GRIDLOAD_TEST_HOST" -P"$GRIDLOAD_TEST_PORT" -u"$GRIDLOAD_TEST_USER"
        -p"$GRIDLOAD_TEST_PASSWORD")
db=gl_dump_bench
# The generated text holds 4-byte characters: the dump names the session
# and the database utf8mb4.
printf 'char_set=utf8mb4\n' >"$work/settings"
export GRIDLOAD_SETTINGS=$work/settings
rounds=${GRIDLOAD_BENCH_ROUNDS:-3}
now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"$1\", $2 }"; }

printf '%-9s %-14s %8s %8s %9s %11s %8s %s\n' rows program seconds "CPU s" "MB/s in" rows/s "peak MB" ratio
for rows in "${sizes[@]}"; do
  csv=$work/rows_$rows.csv
  "$csv_gen" "$rows" "$csv"
  mb=$(calc "%.1f" "$(stat -c %s "$csv") / 1e6")
  cat "$csv" >/dev/null  # the same (cached) input for every program

  t0=$(now)
  cat "$csv" >/dev/null
  cat_s=$(calc "%.3f" "$(now) - $t0")

  dump=$work/rows_$rows.sql
  run_gridload() {
    /usr/bin/time -f '%M %U %S' -o "$work/rss" "$gridload" --from_csv --src="$csv" --csv_delim=2 --extr_fn \
      --tab_name=rows --dump --dest="$dump" --silent "$@"
  }
  # The first dump is loaded into the private server: it must load and hold
  # every row, and it is what mariadb-dump then writes out again.
  run_gridload
  "${client[@]}" -e "DROP DATABASE IF EXISTS $db; CREATE DATABASE $db CHARACTER SET utf8mb4"
  if ! "${client[@]}" "$db" <"$dump" 2>"$work/load.err"; then
    echo "the dump does not load:" >&2
    tail -c 600 "$work/load.err" >&2
    exit 1
  fi
  loaded=$("${client[@]}" -N "$db" -e "SELECT COUNT(*) FROM \`rows\`")
  [ "$loaded" = "$rows" ] || { echo "the dump loaded $loaded rows of $rows" >&2; exit 1; }
  # Warm, as the CSV is: its second run is the first one timed.
  "${dumper[@]}" "$db" rows >/dev/null

  # The two programs take turns, round after round, and each one's best time
  # counts: on a shared machine the speed drifts over minutes, and a slow
  # spell then meets both.
  gl_s="" md_s="" ratios=""
  for round in $(seq "$rounds"); do
    t0=$(now)
    run_gridload
    s=$(calc "%.3f" "$(now) - $t0")
    if [ -z "$gl_s" ] || awk "BEGIN { exit !($s < $gl_s) }"; then
      gl_s=$s
      read -r rss user sys <"$work/rss"
    fi
    t0=$(now)
    "${dumper[@]}" "$db" rows >"$work/reference.sql"
    m=$(calc "%.3f" "$(now) - $t0")
    if [ -z "$md_s" ] || awk "BEGIN { exit !($m < $md_s) }"; then md_s=$m; fi
    ratios+="${ratios:+ }$(calc "%.2f" "$m / $s")"
  done
  gl_rss=$(calc "%.1f" "$rss / 1024")
  gl_cpu=$(calc "%.2f" "$user + $sys")
  # The same without the type refinement: what the statistics cost.
  /usr/bin/time -f '%U %S' -o "$work/plain" "$gridload" --from_csv --src="$csv" --csv_delim=2 --extr_fn \
    --tab_name=rows --dump --dest="$work/plain.sql" --silent --no_refine
  read -r user sys <"$work/plain"
  plain_cpu=$(calc "%.2f" "$user + $sys")
  rm -f "$work/plain.sql"
  "${client[@]}" -e "DROP DATABASE $db"

  gl_rows=$(calc "%.0f" "$rows / $gl_s")
  md_rows=$(calc "%.0f" "$rows / $md_s")
  printf '%-9s %-14s %8s %8s %9s %11s %8s %s\n' "$rows" cat "$cat_s" - "$(calc "%.1f" "$mb / $cat_s")" - - -
  printf '%-9s %-14s %8s %8s %9s %11s %8s %s\n' "$rows" mariadb-dump "$md_s" - - "$md_rows" - -
  printf '%-9s %-14s %8s %8s %9s %11s %8s %s\n' "$rows" "gridload" "$gl_s" "$gl_cpu" "$(calc "%.1f" "$mb / $gl_s")" \
    "$gl_rows" "$gl_rss" "$(calc "%.2f" "$gl_rows / $md_rows")x mariadb-dump rows/s (rounds: $ratios), $(calc "%.1f" "$gl_s / $cat_s")x cat time"
  printf '%-9s %-14s %8s %8s   refinement costs %s%% of the dump without it\n' "$rows" "--no_refine" - "$plain_cpu" \
    "$(calc "%.0f" "($gl_cpu - $plain_cpu) * 100 / $plain_cpu")"
  rm -f "$csv" "$dump" "$work/reference.sql"
done
