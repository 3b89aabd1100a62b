#!/usr/bin/env bash
# Backs up NTFS partition images with our engine (compression types 0-3, and
# an incremental backup after a change of a few files) and, in the same run
# and under the same page-cache conditions, with `partclone.ntfs -c`,
# `ntfsclone --save-image` and `partclone.ntfs -c` piped into `pigz -1` and
# `pigz -6`, and prints one table per case: wall time, CPU time, throughput
# (used bytes per second), image size and our wall time as a ratio to each
# peer's and to our own full backup without compression.
# Aims: type 0 at most 0.5 of ntfsclone's time and no slower than
# partclone's; the incremental backup at most 0.15 of the full backup's
# (type 0); type 2 no slower than pigz -1, type 3 no slower than pigz -6;
# type 1 within 1.5 times of type 0.
#
# The incremental backup builds on a full image made (untimed) before a few
# files are changed through an ntfs-3g mount (one new 1 MiB file, one
# rewritten, one renamed, one removed, a line added to a log); every timed
# tool then backs up the changed partition.
#
# Cases (BENCH_CASES, default "compressible mixed many"):
#   compressible    a BENCH_MIB (default 1024) MiB partition about 45% full of
#                   logs, text and program files (as ntfs_compress_bench.sh)
#   incompressible  the same size and fill of random data
#   mixed  a BENCH_MIB (default 1536) MiB partition, about 80% full of mixed
#          files (text, random data, media, zeros, 2000 small files)
#   many   BENCH_RECORDS (default 200000) small files, so per-record costs show
# Timing rules (BENCH_CACHE, BENCH_RUNS): see bench/ntfs_bench_common.sh.
# BENCH_REUSE=1 keeps and reuses the partitions made in the same work dir.
#
# usage: bench/ntfs_backup_bench.sh [build dir] [work dir]
# Needs root for the ntfs-3g mount that fills and changes the partitions. A
# work dir made here is removed at the end; a given one keeps only reused
# partitions.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
runner="$build/bench/ntfs_backup_bench"
[ -x "$runner" ] || { echo "build the benchmarks first: $runner is missing" >&2; exit 1; }
source "$root/bench/ntfs_bench_common.sh"
need_tools mkntfs ntfs-3g ntfsinfo partclone.ntfs ntfsclone pigz python3
make_work_dir "${2:-}" ntfs-bench
peer_images() { echo "$work/pc.img $work/nc.img $work/pg1.gz $work/pg6.gz"; }
cleanup() { cleanup_work "$work"/img*_*.bkp "$work"/inc_*.bkp $(peer_images) "$work/pc.log"; }
trap cleanup EXIT

types="0 1 2 3"
declare -A labels=(
    ["quarn type 0"]="quarn type 0 (none)" ["quarn type 1"]="quarn type 1 (QuickLZ)"
    ["quarn type 2"]="quarn type 2 (deflate 1)" ["quarn type 3"]="quarn type 3 (deflate 6)"
    ["quarn incremental"]="quarn incremental, type 0" [partclone.ntfs]="partclone.ntfs -c"
    [ntfsclone]="ntfsclone --save-image" [pigz1]="partclone -c | pigz -1" [pigz6]="partclone -c | pigz -6"
)

size_of() { out_bytes[$1]=$(du -cb $2 | tail -1 | cut -f1); }
for type in $types; do
    eval "drop_q$type() { rm -f \"\$work\"/img${type}_*.bkp; }"
    eval "size_q$type() { size_of 'quarn type $type' \"\$work/img${type}_*.bkp\"; drop_q$type; }"
done
drop_inc() { rm -f "$work/inc_0_1.bkp"; }
size_inc() { size_of "quarn incremental" "$work/inc_0_1.bkp"; drop_inc; }
for peer_name in pc:partclone.ntfs:pc.img nc:ntfsclone:nc.img pg1:pigz1:pg1.gz pg6:pigz6:pg6.gz; do
    IFS=: read -r short name file <<<"$peer_name"
    eval "drop_$short() { rm -f \"\$work/$file\"; }"
    eval "size_$short() { size_of $name \"\$work/$file\"; drop_$short; }"
done

pigz_backup() { # pigz_backup <out> <level>
    peer "$work/$1" bash -c "set -o pipefail; partclone.ntfs -c -q -L '$work/pc.log' -s '$part' -o - | pigz -$2 > '$work/$1'"
}

bench_case() { # bench_case <title> <partition>
    local title="$1" used name
    part="$2"
    used=$(used_bytes "$part")
    rm -f "$work"/inc_*.bkp
    "$runner" "$part" "$work/inc" 0 >/dev/null 2>&1 || { echo "the incremental's base image failed" >&2; return 1; }
    change_a_few_files "$part"

    tool_names=()
    for type in $types; do
        tool "quarn type $type" "drop_q$type" "size_q$type" \
            "$(ours "$work/img${type}_*.bkp" "$runner" "$part" "$work/img$type" "$type")"
    done
    tool "quarn incremental" drop_inc size_inc \
        "$(ours "$work/inc_0_1.bkp" "$runner" "$part" "$work/inc" 0 "$work/inc_0_0.bkp")"
    tool partclone.ntfs drop_pc size_pc \
        "$(peer "$work/pc.img" partclone.ntfs -c -q -L "$work/pc.log" -s "$part" -o "$work/pc.img")"
    tool ntfsclone drop_nc size_nc \
        "$(peer "$work/nc.img" ntfsclone --save-image -f -o "$work/nc.img" "$part")"
    tool pigz1 drop_pg1 size_pg1 "$(pigz_backup pg1.gz 1)"
    tool pigz6 drop_pg6 size_pg6 "$(pigz_backup pg6.gz 6)"
    echo "== backup, $title"
    measure_all

    echo
    echo "NTFS backup, $title: partition $(mib "$(stat -c %s "$part")") MiB, used $(mib "$used") MiB, $(mft_records "$part") MFT records"
    conditions
    printf "%-26s %7s %7s %7s %8s %10s %8s %8s %8s %8s %8s\n" tool "wall s" "user s" "sys s" "MiB/s" "image MiB" \
        "/ pc" "/ nc" "/ pigz-1" "/ pigz-6" "/ type 0"
    for name in "${tool_names[@]}"; do
        local speed
        speed=$(throughput "$used" "${best_real[$name]}")
        [ "$name" = "quarn incremental" ] && speed="-"
        printf "%-26s %7.2f %7.2f %7.2f %8s %10.1f %8s %8s %8s %8s %8s\n" "${labels[$name]}" \
            "${best_real[$name]}" "${best_user[$name]}" "${best_sys[$name]}" "$speed" \
            "$(mib "${out_bytes[$name]}")" \
            "$(ratio "${best_real[$name]}" "${best_real[partclone.ntfs]}")" \
            "$(ratio "${best_real[$name]}" "${best_real[ntfsclone]}")" \
            "$(ratio "${best_real[$name]}" "${best_real[pigz1]}")" \
            "$(ratio "${best_real[$name]}" "${best_real[pigz6]}")" \
            "$(ratio "${best_real[$name]}" "${best_real[quarn type 0]}")"
    done
    local r0n r0p rinc r2 r3 r10
    r0n=$(ratio "${best_real[quarn type 0]}" "${best_real[ntfsclone]}")
    r0p=$(ratio "${best_real[quarn type 0]}" "${best_real[partclone.ntfs]}")
    rinc=$(ratio "${best_real[quarn incremental]}" "${best_real[quarn type 0]}")
    r2=$(ratio "${best_real[quarn type 2]}" "${best_real[pigz1]}")
    r3=$(ratio "${best_real[quarn type 3]}" "${best_real[pigz6]}")
    r10=$(ratio "${best_real[quarn type 1]}" "${best_real[quarn type 0]}")
    echo "aim type 0 <= 0.5 x ntfsclone: $r0n $(verdict "$r0n" 0.5); type 0 <= partclone.ntfs: $r0p $(verdict "$r0p" 1)"
    echo "aim incremental <= 0.15 x type 0: $rinc $(verdict "$rinc" 0.15)"
    echo "aim type 2 <= pigz -1: $r2 $(verdict "$r2" 1); type 3 <= pigz -6: $r3 $(verdict "$r3" 1); type 1 <= 1.5 x type 0: $r10 $(verdict "$r10" 1.5)"
    echo
    rm -f "$work/pc.log" "$work"/inc_*.bkp
}

run_cases "compressible mixed many"
