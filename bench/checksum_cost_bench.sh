#!/usr/bin/env bash
# What the volume checksums cost: backs up and restores one NTFS partition
# with the benchmark runners of two builds, one of the engine before the
# checksums and one after, taking turns inside every round under the same
# page-cache conditions, and prints each job's best wall time, the after /
# before ratio and whether it stays within the aim of 1.05 (at most 5%
# slower).
#
# Cases (BENCH_CASES, default "mixed"): those of bench/ntfs_bench_common.sh;
# BENCH_MIB (default 1024) sets the size of the mixed partition.
# Compression types: BENCH_TYPES (default "0 1").
# Timing rules (BENCH_CACHE, BENCH_RUNS, BENCH_SYNC): see
# bench/ntfs_bench_common.sh.
#
# usage: bench/checksum_cost_bench.sh <build before> <build after> [work dir]
# Both builds need -DQUARN_BENCH=ON (targets ntfs_backup_bench and
# ntfs_restore_bench). Needs root for the ntfs-3g mount that fills the
# partition.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
[ $# -ge 2 ] || { echo "usage: $0 <build before> <build after> [work dir]" >&2; exit 2; }
declare -A builds=([before]="$1" [after]="$2")
for side in before after; do
    for runner in ntfs_backup_bench ntfs_restore_bench; do
        [ -x "${builds[$side]}/bench/$runner" ] || {
            echo "build the benchmarks first: ${builds[$side]}/bench/$runner is missing" >&2; exit 1; }
    done
done
source "$root/bench/ntfs_bench_common.sh"
need_tools mkntfs ntfs-3g ntfsinfo python3
make_work_dir "${3:-}" checksum-cost-bench
target="$work/sdx1"
cleanup() { cleanup_work "$work"/c*_*.bkp "$target"; }
trap cleanup EXIT

types="${BENCH_TYPES:-0 1}"
target_size=0
new_target() { rm -f "$target"; truncate -s "$target_size" "$target"; }
nothing() { :; }

bench_case() { # bench_case <title> <partition>
    local title="$1" part="$2" used side type name
    used=$(used_bytes "$part")
    target_size=$(stat -c %s "$part")
    tool_names=()
    for type in $types; do
        for side in before after; do
            local base="$work/c${side}${type}"
            # The images the restores read, made once and kept.
            rm -f "$base"_*.bkp
            "${builds[$side]}/bench/ntfs_backup_bench" "$part" "$base" "$type" >/dev/null 2>&1
            eval "drop_b_${side}${type}() { rm -f \"$work\"/cb${side}${type}_*.bkp; }"
            tool "backup $side $type" "drop_b_${side}${type}" nothing \
                "$(ours "$work/cb${side}${type}_*.bkp" "${builds[$side]}/bench/ntfs_backup_bench" "$part" \
                    "$work/cb${side}${type}" "$type")"
            tool "restore $side $type" new_target nothing \
                "$(ours "$target" "${builds[$side]}/bench/ntfs_restore_bench" "${base}_0_0.bkp" "$target")"
        done
    done
    measure_all

    echo
    echo "NTFS, $title: partition $(mib "$target_size") MiB, used $(mib "$used") MiB"
    conditions
    printf "%-10s %5s %12s %12s %11s %9s %8s\n" job type "before s" "after s" "after MiB/s" "after/bf" aim
    for job in backup restore; do
        for type in $types; do
            local b="${best_real[$job before $type]}" a="${best_real[$job after $type]}" r
            r=$(ratio "$a" "$b")
            printf "%-10s %5s %12.2f %12.2f %11.1f %9s %8s\n" "$job" "$type" "$b" "$a" \
                "$(throughput "$used" "$a")" "$r" "$(verdict "$r" 1.05)"
        done
    done
    echo
    rm -f "$work"/c*_*.bkp "$target"
}

BENCH_MIB="${BENCH_MIB:-1024}" run_cases "mixed"
