#!/usr/bin/env bash
# The console's GUI thread while the worker backs up a 1 GiB NTFS partition
# file (about 80% full of mixed files) with the real engine: prints the
# median, 99th percentile and maximum gap between two runs of the GUI event
# loop. Aim: the maximum stays below 50 ms.
#
# usage: bench/console_gui_gap_bench.sh [build dir] [work dir]
# BENCH_MIB sets the partition size (default 1024), BENCH_TYPES the
# compression types measured (default "0 1"). Needs root for the ntfs-3g
# mount that fills the partition.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
runner="$build/bench/console_gui_gap_bench"
[ -x "$runner" ] || { echo "build the benchmarks first: $runner is missing" >&2; exit 1; }
source "$root/bench/ntfs_bench_common.sh"
need_tools mkntfs ntfs-3g ntfsinfo python3
make_work_dir "${2:-}" gui-gap-bench
cleanup() { cleanup_work "$work"/img_*.bkp "$work/part"; }
trap cleanup EXIT

mib="${BENCH_MIB:-1024}"
echo "== making a ${mib} MiB NTFS partition"
make_mixed_partition "$work/part" "$mib"
echo "== used bytes: $(used_bytes "$work/part")"
for type in ${BENCH_TYPES:-0 1}; do
    sync
    echo "== compression type $type"
    "$runner" "$work/part" "$work/img" "$type" 2>/dev/null
    rm -f "$work"/img_*.bkp
done
