#!/usr/bin/env bash
# Times verify_image against restore_ntfs on the same images: an NTFS
# partition of BENCH_MIB (default 768) MiB, about two thirds full of random
# data, text and zeros copied in with ntfscp (no mount, no root), backed up
# with compression types 0, 1 and 3. For each type it prints the best wall
# time of BENCH_RUNS (default 3) runs of each job, their throughput in MB/s
# of the partition's used bytes (the restore writes them, the verify reads
# the image that holds them), the verify's read rate of image bytes, and the
# verify's speed as a ratio to the restore's. Aim: verify at least as fast
# as a restore writes (ratio >= 1). Warm page cache: one unmeasured round
# first, so that both jobs read the image from memory alike.
#
# usage: bench/verify_image_bench.sh [build dir] [work dir]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
backup="$build/bench/ntfs_backup_bench"
restore="$build/bench/ntfs_restore_bench"
verify="$build/bench/verify_image_bench"
for runner in "$backup" "$restore" "$verify"; do
    [ -x "$runner" ] || { echo "build the benchmarks first: $runner is missing" >&2; exit 1; }
done
for tool in mkntfs ntfscp python3; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done
mib_total="${BENCH_MIB:-768}"
runs="${BENCH_RUNS:-3}"
made=0
if [ -n "${2:-}" ]; then work="$2"; mkdir -p "$work"; else work="$(mktemp -d /tmp/verify-bench-XXXXXX)"; made=1; fi
part="$work/sdy1"
target="$work/sdx1"
cleanup() {
    rm -f "$part" "$target" "$work"/vimg*_*.bkp "$work"/fill.*
    if [ "$made" = 1 ]; then rm -rf "$work"; fi
}
trap cleanup EXIT

# The partition: a third each of random bytes, text and zeros.
truncate -s "$((mib_total * 1048576))" "$part"
mkntfs -F -Q -q "$part" >/dev/null 2>&1
third=$((mib_total * 2 / 9))
head -c "$((third * 1048576))" /dev/urandom >"$work/fill.random"
python3 - "$work/fill.text" "$((third * 1048576))" <<'PY'
import sys
path, size = sys.argv[1], int(sys.argv[2])
with open(path, "w") as f:
    written, i = 0, 0
    while written < size:
        line = "line %d of a text that compresses, with some words in it\n" % i
        f.write(line); written += len(line); i += 1
PY
head -c "$((third * 1048576))" /dev/zero >"$work/fill.zero"
for kind in random text zero; do
    ntfscp -f "$part" "$work/fill.$kind" "/$kind.bin" >/dev/null
done
rm -f "$work"/fill.*
used=$(python3 -c "import os; print(os.stat('$part').st_blocks * 512)")

best() { # best <command...>: the best wall time of $runs runs (the runner prints it)
    local b="" t i
    for ((i = 0; i < runs; i++)); do
        [ "${pre:-}" ] && $pre
        t=$("$@" 2>/dev/null)
        if [ -z "$b" ] || python3 -c "import sys; sys.exit(0 if $t < $b else 1)"; then b=$t; fi
    done
    echo "$b"
}
new_target() { rm -f "$target"; truncate -s "$((mib_total * 1048576))" "$target"; }
rate() { python3 -c "print('%.1f' % ($1 / 1e6 / $2))"; }

echo "verify_image vs restore_ntfs: partition $mib_total MiB, used about $((used / 1048576)) MiB, best of $runs, warm cache"
printf "%-18s %10s %10s %14s %14s %14s %10s\n" type "image MiB" "restore s" "restore MB/s" "verify s" "verify MB/s" "verify/rest"
for type in 0 1 3; do
    rm -f "$work"/vimg${type}_*.bkp
    "$backup" "$part" "$work/vimg$type" "$type" >/dev/null 2>&1
    image=$(du -cb "$work"/vimg${type}_*.bkp | tail -1 | cut -f1)
    first="$work/vimg${type}_0_0.bkp"
    new_target; "$restore" "$first" "$target" >/dev/null 2>&1; "$verify" "$first" >/dev/null 2>&1
    pre=new_target
    rt=$(best "$restore" "$first" "$target")
    pre=
    vt=$(best "$verify" "$first")
    case "$type" in 0) label="0 (none)" ;; 1) label="1 (QuickLZ)" ;; 3) label="3 (deflate)" ;; esac
    printf "%-18s %10.1f %10.3f %14s %14s %14s %10s\n" "$label" "$(python3 -c "print($image / 1048576)")" "$rt" \
        "$(rate "$used" "$rt")" "$vt" "$(rate "$used" "$vt") ($(rate "$image" "$vt") read)" \
        "$(python3 -c "print('%.2f' % ($rt / $vt))")"
    rm -f "$work"/vimg${type}_*.bkp "$target"
done
echo "aim: verify/rest >= 1 (the verify reads at least as fast as the restore writes)"
