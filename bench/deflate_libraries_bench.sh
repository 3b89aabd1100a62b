#!/usr/bin/env bash
# Which deflate library and level writes and reads the data sets of
# compression types 2 and 3: runs bench/deflate_libraries_bench on three
# corpora of this machine's own files and prints, for every library and
# level, the stored size against today's writer (zlib level 1 for type 2,
# level 6 for type 3), the best wall and CPU speeds of BENCH_RUNS rounds
# (default 3), and the instructions each case executes (callgrind, on a
# smaller corpus: repeatable on a shared machine where wall times are not).
#
# Corpora:
#   mixed:      documentation, headers, libraries, locales and programs, plus
#               32 MiB of incompressible bytes as their own data sets
#   plain text: headers and Perl and Python sources
#   packed:     documentation and manual pages (mostly gzip'd) and Perl
# BENCH_MIB (default 240) sets the size of the mixed corpus;
# BENCH_INSTRUCTIONS=no leaves the instruction counts out.
#
# usage: bench/deflate_libraries_bench.sh <build dir with -DQUARN_BENCH=ON>
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 <build dir>" >&2; exit 2; }
runner="$1/bench/deflate_libraries_bench"
[ -x "$runner" ] || { echo "build the benchmark first: $runner is missing" >&2; exit 1; }
runs="${BENCH_RUNS:-3}"
mib="${BENCH_MIB:-240}"

mixed=(/usr/share/doc /usr/include /usr/lib/x86_64-linux-gnu /usr/share/locale /usr/bin)
text=(/usr/include /usr/share/perl /usr/lib/python3)
packed=(/usr/share/doc /usr/include /usr/share/man /usr/share/perl)

echo "== mixed"
"$runner" --mib "$mib" --random 32 --rounds "$runs" "${mixed[@]}"
echo
echo "== plain text"
"$runner" --mib 96 --random 0 --rounds "$runs" "${text[@]}"
echo
echo "== packed"
"$runner" --mib 128 --random 0 --rounds "$runs" "${packed[@]}"

[ "${BENCH_INSTRUCTIONS:-yes}" = yes ] || exit 0
command -v valgrind >/dev/null || { echo "valgrind is not installed (scripts/install-deps)" >&2; exit 1; }
echo
echo "== instructions per plain byte (callgrind, mixed corpus of 12 MiB + 4 MiB incompressible, one round)"
printf "%-15s %-30s %14s %10s\n" job library-level instructions "per byte"
cases=$("$runner" --mib 1 --random 0 --rounds 1 "${mixed[@]}" | awk 'NR > 2 {print $1" "$2" "$3"/"$4}')
plain=$(( 16 << 20 ))
while read -r job; do
    log=$(mktemp)
    valgrind --tool=callgrind --callgrind-out-file=/dev/null --collect-atstart=no \
        --toggle-collect='*MeasuredPass*' "$runner" --mib 12 --random 4 --rounds 1 --only "$job" \
        "${mixed[@]}" >/dev/null 2>"$log" || true
    count=$(awk '/Collected :/ {print $NF}' "$log")
    rm -f "$log"
    printf "%-15s %-30s %14s %10s\n" "${job%%/*}" "${job#*/}" "${count:-?}" \
        "$(awk -v c="${count:-0}" -v p="$plain" 'BEGIN {printf "%.2f", c / p}')"
done <<<"$cases"
