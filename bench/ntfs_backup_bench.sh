#!/usr/bin/env bash
# Backs up NTFS partition images with our engine (compression types 0, 1 and
# 2) and, in the same run and under the same page-cache conditions, with
# `partclone.ntfs -c` and `ntfsclone --save-image`, and prints one table per
# case: wall time, CPU time, throughput (used bytes per second), image size
# and our wall time as a ratio to each peer's.
# Aims: type 0 no slower than either peer; type 1 within 1.5 times of type 0.
#
# Cases (BENCH_CASES, default "mixed many"):
#   mixed  a BENCH_MIB (default 1536) MiB partition, about 80% full of mixed
#          files (text, random data, media, zeros, 2000 small files)
#   many   BENCH_RECORDS (default 200000) small files, so per-record costs show
# Timing rules (BENCH_CACHE, BENCH_RUNS): see bench/ntfs_bench_common.sh.
# BENCH_REUSE=1 keeps and reuses the partitions made in the same work dir.
#
# usage: bench/ntfs_backup_bench.sh [build dir] [work dir]
# Needs root for the ntfs-3g mount that fills the partitions. A work dir made
# here is removed at the end; a given one keeps only reused partitions.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
runner="$build/bench/ntfs_backup_bench"
[ -x "$runner" ] || { echo "build the benchmarks first: $runner is missing" >&2; exit 1; }
source "$root/bench/ntfs_bench_common.sh"
need_tools mkntfs ntfs-3g ntfsinfo partclone.ntfs ntfsclone python3
make_work_dir "${2:-}" ntfs-bench
cleanup() { cleanup_work "$work"/img*_*.bkp "$work/pc.img" "$work/nc.img"; }
trap cleanup EXIT

drop_ours() { rm -f "$work"/img*_*.bkp; }
drop_pc() { rm -f "$work/pc.img"; }
drop_nc() { rm -f "$work/nc.img"; }
size_of() { out_bytes[$1]=$(du -cb $2 | tail -1 | cut -f1); }
for type in 0 1 2; do
    eval "size_q$type() { size_of 'quarn type $type' \"\$work/img${type}_*.bkp\"; drop_ours; }"
done
size_pc() { size_of partclone.ntfs "$work/pc.img"; drop_pc; }
size_nc() { size_of ntfsclone "$work/nc.img"; drop_nc; }

bench_case() { # bench_case <title> <partition>
    local title="$1" part="$2" used name
    used=$(used_bytes "$part")
    tool_names=()
    for type in 0 1 2; do
        tool "quarn type $type" drop_ours "size_q$type" \
            "$(ours "$work/img${type}_*.bkp" "$runner" "$part" "$work/img$type" "$type")"
    done
    tool partclone.ntfs drop_pc size_pc \
        "$(peer "$work/pc.img" partclone.ntfs -c -q -L "$work/pc.log" -s "$part" -o "$work/pc.img")"
    tool ntfsclone drop_nc size_nc \
        "$(peer "$work/nc.img" ntfsclone --save-image -f -o "$work/nc.img" "$part")"
    echo "== backup, $title"
    measure_all

    echo
    echo "NTFS backup, $title: partition $(mib "$(stat -c %s "$part")") MiB, used $(mib "$used") MiB, $(mft_records "$part") MFT records"
    conditions
    printf "%-24s %8s %8s %8s %9s %11s %12s %12s\n" tool "wall s" "user s" "sys s" "MiB/s" "image MiB" "/ partclone" "/ ntfsclone"
    for name in "quarn type 0" "quarn type 1" "quarn type 2" partclone.ntfs ntfsclone; do
        local label="$name"
        case "$name" in
            "quarn type 0") label="quarn type 0 (none)" ;;
            "quarn type 1") label="quarn type 1 (QuickLZ)" ;;
            "quarn type 2") label="quarn type 2 (deflate 1)" ;;
            partclone.ntfs) label="partclone.ntfs -c" ;;
            ntfsclone) label="ntfsclone --save-image" ;;
        esac
        printf "%-24s %8.2f %8.2f %8.2f %9.1f %11.1f %12s %12s\n" "$label" \
            "${best_real[$name]}" "${best_user[$name]}" "${best_sys[$name]}" \
            "$(throughput "$used" "${best_real[$name]}")" \
            "$(mib "${out_bytes[$name]}")" \
            "$(ratio "${best_real[$name]}" "${best_real[partclone.ntfs]}")" \
            "$(ratio "${best_real[$name]}" "${best_real[ntfsclone]}")"
    done
    local r0p r0n r10
    r0p=$(ratio "${best_real[quarn type 0]}" "${best_real[partclone.ntfs]}")
    r0n=$(ratio "${best_real[quarn type 0]}" "${best_real[ntfsclone]}")
    r10=$(ratio "${best_real[quarn type 1]}" "${best_real[quarn type 0]}")
    echo "aim type 0 <= partclone.ntfs: $r0p $(verdict "$r0p" 1); type 0 <= ntfsclone: $r0n $(verdict "$r0n" 1); type 1 <= 1.5 x type 0: $r10 $(verdict "$r10" 1.5)"
    echo
    rm -f "$work/pc.log"
}

run_cases
