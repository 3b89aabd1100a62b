#!/usr/bin/env bash
# Restores NTFS partitions with our engine (from its images of compression
# types 0, 1 and 2) and, in the same run and under the same page-cache
# conditions, with `partclone.ntfs -r` and `ntfsclone --restore-image` (each
# from its own image of the same partition), onto a new sparse target file of
# the source's size, and prints one table per case: wall time, CPU time,
# throughput (used bytes per second) and our wall time as a ratio to
# partclone's. Aim: no slower than partclone. After the timing, the target of
# a type 0 restore is checked with `ntfsfix -n`.
#
# Cases (BENCH_CASES, default "mixed many"):
#   mixed  a BENCH_MIB (default 1536) MiB partition, about 80% full of mixed
#          files (text, random data, media, zeros, 2000 small files)
#   many   BENCH_RECORDS (default 200000) small files, so per-record costs show
# Timing rules (BENCH_CACHE, BENCH_RUNS): see bench/ntfs_bench_common.sh.
# BENCH_REUSE=1 keeps and reuses the partitions made in the same work dir.
#
# usage: bench/ntfs_restore_bench.sh [build dir] [work dir]
# Needs root for the ntfs-3g mount that fills the partitions. A work dir made
# here is removed at the end; a given one keeps only reused partitions.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
backup="$build/bench/ntfs_backup_bench"
restore="$build/bench/ntfs_restore_bench"
for runner in "$backup" "$restore"; do
    [ -x "$runner" ] || { echo "build the benchmarks first: $runner is missing" >&2; exit 1; }
done
source "$root/bench/ntfs_bench_common.sh"
need_tools mkntfs ntfs-3g ntfsinfo ntfsfix partclone.ntfs ntfsclone python3
make_work_dir "${2:-}" ntfs-restore-bench
target="$work/sdx1"
cleanup() { cleanup_work "$work"/rimg*_*.bkp "$work/rpc.img" "$work/rnc.img" "$target" "$work/pc.log"; }
trap cleanup EXIT

target_size=0
new_target() { rm -f "$target"; truncate -s "$target_size" "$target"; }
nothing() { :; }

bench_case() { # bench_case <title> <partition>
    local title="$1" part="$2" used name type check
    used=$(used_bytes "$part")
    target_size=$(stat -c %s "$part")
    echo "== restore, $title: making the images"
    for type in 0 1 2; do
        rm -f "$work"/rimg${type}_*.bkp
        "$backup" "$part" "$work/rimg$type" "$type" >/dev/null 2>&1
    done
    rm -f "$work/rpc.img" "$work/rnc.img"
    partclone.ntfs -c -q -L "$work/pc.log" -s "$part" -o "$work/rpc.img" >/dev/null 2>&1
    ntfsclone --save-image -f -o "$work/rnc.img" "$part" >/dev/null 2>&1

    tool_names=()
    for type in 0 1 2; do
        tool "quarn type $type" new_target nothing "$(ours "$target" "$restore" "$work/rimg${type}_0_0.bkp" "$target")"
    done
    tool partclone.ntfs new_target nothing \
        "$(peer "$target" partclone.ntfs -r -q -L "$work/pc.log" -s "$work/rpc.img" -O "$target")"
    tool ntfsclone new_target nothing \
        "$(peer "$target" ntfsclone --restore-image --overwrite "$target" "$work/rnc.img")"
    measure_all

    new_target
    "$restore" "$work/rimg0_0_0.bkp" "$target" >/dev/null 2>&1
    if ntfsfix -n "$target" >"$work/last.err" 2>&1; then check="ntfsfix -n passed"; else check="ntfsfix -n FAILED"; fi

    echo
    echo "NTFS restore, $title: partition $(mib "$target_size") MiB, used $(mib "$used") MiB, $(mft_records "$part") MFT records"
    conditions
    printf "%-27s %8s %8s %8s %9s %11s %12s\n" tool "wall s" "user s" "sys s" "MiB/s" "image MiB" "/ partclone"
    for name in "quarn type 0" "quarn type 1" "quarn type 2" partclone.ntfs ntfsclone; do
        local label="$name" image
        case "$name" in
            "quarn type "*) type=${name##* }; image=$(du -cb "$work"/rimg${type}_*.bkp | tail -1 | cut -f1)
                case "$type" in 0) label="$name (none)" ;; 1) label="$name (QuickLZ)" ;; 2) label="$name (deflate 1)" ;; esac ;;
            partclone.ntfs) label="partclone.ntfs -r"; image=$(stat -c %s "$work/rpc.img") ;;
            ntfsclone) label="ntfsclone --restore-image"; image=$(stat -c %s "$work/rnc.img") ;;
        esac
        printf "%-27s %8.2f %8.2f %8.2f %9.1f %11.1f %12s\n" "$label" \
            "${best_real[$name]}" "${best_user[$name]}" "${best_sys[$name]}" \
            "$(throughput "$used" "${best_real[$name]}")" \
            "$(mib "$image")" "$(ratio "${best_real[$name]}" "${best_real[partclone.ntfs]}")"
    done
    local r0 r1 r2
    r0=$(ratio "${best_real[quarn type 0]}" "${best_real[partclone.ntfs]}")
    r1=$(ratio "${best_real[quarn type 1]}" "${best_real[partclone.ntfs]}")
    r2=$(ratio "${best_real[quarn type 2]}" "${best_real[partclone.ntfs]}")
    echo "aim <= partclone.ntfs -r: type 0 $r0 $(verdict "$r0" 1); type 1 $r1 $(verdict "$r1" 1); type 2 $r2 $(verdict "$r2" 1)"
    echo "type 0 target: $check"
    echo
    rm -f "$work"/rimg*_*.bkp "$work/rpc.img" "$work/rnc.img" "$target" "$work/pc.log"
}

run_cases "mixed many"
