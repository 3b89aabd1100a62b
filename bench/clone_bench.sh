#!/usr/bin/env bash
# Clones an NTFS partition file with our engine (clone_ntfs: the source's
# used data laid out afresh on the destination, nothing in between) and, in
# the same run and under the same page-cache conditions, with
# `partclone.ntfs -b` (device to device) and with our own backup without
# compression followed by its restore; prints wall time, CPU time,
# throughput (used bytes per second) and our clone's time as a ratio to each.
# Aims: clone_ntfs at most 0.5 of partclone.ntfs -b's time, and below our
# backup plus restore.
#
# The partition: BENCH_MIB (default 1024) MiB, about 490 MB used by files of
# random data in three sizes (as the incompressible case of
# ntfs_backup_bench.sh). The destination is a new sparse file of the
# source's size before every run. Timing rules (BENCH_CACHE, BENCH_RUNS,
# BENCH_SYNC): see bench/ntfs_bench_common.sh. BENCH_REUSE=1 keeps and
# reuses the partition made in the same work dir.
#
# partclone is installed from the distribution when it is missing (it is
# the tool compared against).
#
# usage: bench/clone_bench.sh [build dir] [work dir]
# Needs root for the ntfs-3g mount that fills the partition.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
clone="$build/bench/clone_bench"
backup="$build/bench/ntfs_backup_bench"
restore="$build/bench/ntfs_restore_bench"
for runner in "$clone" "$backup" "$restore"; do
    [ -x "$runner" ] || { echo "build the benchmarks first: $runner is missing" >&2; exit 1; }
done
if ! command -v partclone.ntfs >/dev/null; then
    echo "== installing partclone"
    apt-get install -y -q partclone >/dev/null
fi
source "$root/bench/ntfs_bench_common.sh"
need_tools mkntfs ntfs-3g ntfsinfo ntfsfix partclone.ntfs python3
make_work_dir "${2:-}" clone-bench
dest="$work/sdx1"
cleanup() { cleanup_work "$work"/cimg_*.bkp "$dest" "$work/pc.log"; }
trap cleanup EXIT

dest_size=0
new_dest() { rm -f "$dest" "$work"/cimg_*.bkp; truncate -s "$dest_size" "$dest"; }
nothing() { :; }

bench_case() { # bench_case <title> <partition>
    local title="$1" part="$2" used name check
    used=$(used_bytes "$part")
    dest_size=$(stat -c %s "$part")

    tool_names=()
    tool clone_ntfs new_dest nothing "$(ours "$dest" "$clone" "$part" "$dest")"
    tool partclone.ntfs new_dest nothing \
        "$(peer "$dest" partclone.ntfs -b -q -L "$work/pc.log" -s "$part" -O "$dest")"
    # Our own two steps: the image (type 0) on the same file system as the
    # destination, then its restore.
    local two_steps
    two_steps="$(ours "$work/cimg_0_0.bkp" "$backup" "$part" "$work/cimg" 0) && $(ours "$dest" "$restore" "$work/cimg_0_0.bkp" "$dest")"
    tool "backup + restore" new_dest nothing "$two_steps"
    echo "== clone, $title"
    measure_all

    new_dest
    "$clone" "$part" "$dest" >/dev/null 2>&1
    if ntfsfix -n "$dest" >"$work/last.err" 2>&1; then check="ntfsfix -n passed"; else check="ntfsfix -n FAILED"; fi

    echo
    echo "NTFS clone, $title: partition $(mib "$dest_size") MiB, used $(mib "$used") MiB ($used bytes), $(mft_records "$part") MFT records"
    conditions
    printf "%-24s %8s %8s %8s %9s %12s %14s\n" tool "wall s" "user s" "sys s" "MiB/s" "/ partclone" "/ backup+rest."
    for name in clone_ntfs partclone.ntfs "backup + restore"; do
        local label="$name"
        [ "$name" = partclone.ntfs ] && label="partclone.ntfs -b"
        [ "$name" = "backup + restore" ] && label="backup 0 + restore"
        printf "%-24s %8.2f %8.2f %8.2f %9.1f %12s %14s\n" "$label" \
            "${best_real[$name]}" "${best_user[$name]}" "${best_sys[$name]}" \
            "$(throughput "$used" "${best_real[$name]}")" \
            "$(ratio "${best_real[$name]}" "${best_real[partclone.ntfs]}")" \
            "$(ratio "${best_real[$name]}" "${best_real[backup + restore]}")"
    done
    local rp rb
    rp=$(ratio "${best_real[clone_ntfs]}" "${best_real[partclone.ntfs]}")
    rb=$(ratio "${best_real[clone_ntfs]}" "${best_real[backup + restore]}")
    echo "aim clone_ntfs <= 0.5 x partclone.ntfs -b: $rp $(verdict "$rp" 0.5); clone_ntfs < backup + restore: $rb $(verdict "$rb" 0.99)"
    echo "clone_ntfs destination: $check"
    echo
    rm -f "$work"/cimg_*.bkp "$dest" "$work/pc.log"
}

case "${BENCH_CASES:-clone}" in
    clone)
        fixture incompressible "$work/clone.ntfs" "${BENCH_MIB:-1024}"
        bench_case "random data" "$work/clone.ntfs"
        if [ "${BENCH_REUSE:-0}" != 1 ]; then rm -f "$work"/clone.ntfs*; fi ;;
    *) echo "unknown case ${BENCH_CASES}" >&2; exit 2 ;;
esac
