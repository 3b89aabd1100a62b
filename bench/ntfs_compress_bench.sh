#!/usr/bin/env bash
# Compressed backups and their restores. Backs up a BENCH_MIB (default 1024)
# MiB NTFS partition with our engine in every compression type (0 none,
# 1 QuickLZ, 2 deflate level 1, 3 deflate default level) and, in the same
# run and under the same page-cache conditions, with `partclone.ntfs -c`
# piped into `pigz -1`, `pigz -6` and `zstd -T0 -3`; then restores every
# image onto a new sparse target (ours with our engine, the peers' with
# `pigz -dc` / `zstd -dc` piped into `partclone.ntfs -r`, and a plain
# `partclone.ntfs -r` of an uncompressed partclone image as the reference).
# Prints wall and CPU times, image sizes, our peak resident memory and our
# wall time as a ratio to the peers'.
# Aims: type 2 no slower than pigz -1, type 3 no slower than pigz -6, type 1
# within 1.5 times of type 0, every restore no slower than partclone's, peak
# resident memory below 256 MiB.
#
# Fixtures (BENCH_CASES, default "compressible incompressible"), each about
# 45% full:
#   compressible    log files, text files and program files from /usr
#   incompressible  random data: large files, 100 KiB files, 16 KiB files
# QUARN_THREADS (default: all cores) is passed to our engine; BENCH_SINGLE=1
# adds rows for our deflate types on one thread.
# Timing rules (BENCH_CACHE, BENCH_RUNS default 3, BENCH_SYNC): see
# bench/ntfs_bench_common.sh. BENCH_REUSE=1 keeps and reuses the partitions
# made in the same work dir.
#
# usage: bench/ntfs_compress_bench.sh [build dir] [work dir]
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
BENCH_RUNS="${BENCH_RUNS:-3}"
source "$root/bench/ntfs_bench_common.sh"
need_tools mkntfs ntfs-3g ntfsinfo partclone.ntfs pigz zstd python3 /usr/bin/time
make_work_dir "${2:-}" ntfs-compress-bench
target="$work/sdx1"
cleanup() {
    cleanup_work "$work"/q*_*.bkp "$work"/peer.* "$target" "$work"/rss.* "$work/pc.log"
}
trap cleanup EXIT

threads="${QUARN_THREADS:-0}"
types="0 1 2 3"
type_label() {
    case "$1" in 0) echo "none" ;; 1) echo "QuickLZ" ;; 2) echo "deflate 1" ;; 3) echo "deflate default" ;; esac
}

# Our tools: "q<type>" on the configured threads, "q<type>x1" on one thread.
our_tools() {
    local t
    for t in $types; do echo "q$t"; done
    if [ "${BENCH_SINGLE:-0}" = 1 ]; then echo q2x1; echo q3x1; fi
}
tool_type() { local n="${1#q}"; echo "${n%x1}"; }
tool_threads() { case "$1" in *x1) echo 1 ;; *) echo "$threads" ;; esac; }

rss_of() { # rss_of <tool>: peak resident KiB of its last run (GNU time %M)
    cat "$work/rss.$1" 2>/dev/null || echo 0
}
size_of() { out_bytes[$1]=$(du -cb $2 | tail -1 | cut -f1); }
nothing() { :; }
new_target() { rm -f "$target"; truncate -s "$target_size" "$target"; }

# Peer pipelines, run through bash so that a failing stage fails the run.
peer_backup() { # peer_backup <out> <compressor command>
    peer "$work/$1" bash -c "set -o pipefail; partclone.ntfs -c -q -L '$work/pc.log' -s '$part' -o - | $2 > '$work/$1'"
}
peer_restore() { # peer_restore <image> <decompressor command>
    peer "$target" bash -c "set -o pipefail; $2 '$work/$1' | partclone.ntfs -r -q -L '$work/pc.log' -s - -O '$target'"
}

declare -A peer_names=(
    [pigz1]="partclone -c | pigz -1" [pigz6]="partclone -c | pigz -6" [zstd3]="partclone -c | zstd -T0 -3"
    [plain]="partclone -c (no compression)"
)
declare -A peer_out=([pigz1]=peer.p1.gz [pigz6]=peer.p6.gz [zstd3]=peer.z3.zst [plain]=peer.img)
declare -A peer_comp=([pigz1]="pigz -1" [pigz6]="pigz -6" [zstd3]="zstd -q -T0 -3" [plain]="cat")
declare -A peer_decomp=([pigz1]="pigz -dc" [pigz6]="pigz -dc" [zstd3]="zstd -q -dc" [plain]="cat")
peer_list="pigz1 pigz6 zstd3"

bench_case() { # bench_case <title> <partition>
    local title="$1" name t
    part="$2"
    used=$(used_bytes "$part")
    target_size=$(stat -c %s "$part")

    # Backups.
    tool_names=()
    for name in $(our_tools); do
        t=$(tool_type "$name")
        eval "finish_$name() { size_of $name \"\$work/${name}_*.bkp\"; rm -f \"\$work/$name\"_*.bkp; }"
        tool "$name" "rm -f $work/${name}_*.bkp" "finish_$name" \
            "$(ours "$work/${name}_*.bkp" env QUARN_THREADS="$(tool_threads "$name")" \
                /usr/bin/time -f %M -o "$work/rss.$name.b" "$backup" "$part" "$work/$name" "$t")"
    done
    for name in $peer_list; do
        eval "finish_$name() { size_of $name \"\$work/${peer_out[$name]}\"; rm -f \"\$work/${peer_out[$name]}\"; }"
        tool "$name" "rm -f $work/${peer_out[$name]}" "finish_$name" "$(peer_backup "${peer_out[$name]}" "${peer_comp[$name]}")"
    done
    echo "== backup, $title"
    measure_all
    declare -A b_real b_user b_sys b_size
    for name in "${tool_names[@]}"; do
        b_real[$name]=${best_real[$name]}; b_user[$name]=${best_user[$name]}
        b_sys[$name]=${best_sys[$name]}; b_size[$name]=${out_bytes[$name]}
    done

    # Restores: the images are made once, untimed.
    echo "== restore, $title: making the images"
    for name in $(our_tools); do
        rm -f "$work/$name"_*.bkp
        QUARN_THREADS="$(tool_threads "$name")" "$backup" "$part" "$work/$name" "$(tool_type "$name")" >/dev/null 2>&1
    done
    for name in $peer_list plain; do
        eval "$(peer_backup "${peer_out[$name]}" "${peer_comp[$name]}")" >/dev/null 2>&1
    done
    tool_names=()
    for name in $(our_tools); do
        tool "$name" new_target nothing \
            "$(ours "$target" env QUARN_THREADS="$(tool_threads "$name")" \
                /usr/bin/time -f %M -o "$work/rss.$name.r" "$restore" "$work/${name}_0_0.bkp" "$target")"
    done
    for name in plain $peer_list; do
        tool "$name" new_target nothing "$(peer_restore "${peer_out[$name]}" "${peer_decomp[$name]}")"
    done
    measure_all

    echo
    echo "NTFS backup, $title: partition $(mib "$target_size") MiB, used $(mib "$used") MiB"
    conditions
    printf "%-34s %7s %7s %7s %9s %8s %8s %8s %8s %8s\n" tool "wall s" "user s" "sys s" "image MiB" "/ used" "RSS MiB" \
        "/pigz-1" "/pigz-6" "/zstd"
    for name in $(our_tools) $peer_list; do
        local label rss="-"
        case "$name" in
            q*) label="quarn type $(tool_type "$name") ($(type_label "$(tool_type "$name")"))"
                [ "$(tool_threads "$name")" = 1 ] && label="$label, 1 thread"
                rss=$(awk -v k="$(rss_of "$name.b")" 'BEGIN { printf "%.1f", k / 1024 }') ;;
            *) label="${peer_names[$name]}" ;;
        esac
        printf "%-34s %7.2f %7.2f %7.2f %9.1f %8s %8s %8s %8s %8s\n" "$label" \
            "${b_real[$name]}" "${b_user[$name]}" "${b_sys[$name]}" "$(mib "${b_size[$name]}")" \
            "$(ratio "${b_size[$name]}" "$used")" "$rss" \
            "$(ratio "${b_real[$name]}" "${b_real[pigz1]}")" "$(ratio "${b_real[$name]}" "${b_real[pigz6]}")" \
            "$(ratio "${b_real[$name]}" "${b_real[zstd3]}")"
    done
    local r2 r3 r1
    r2=$(ratio "${b_real[q2]}" "${b_real[pigz1]}")
    r3=$(ratio "${b_real[q3]}" "${b_real[pigz6]}")
    r1=$(ratio "${b_real[q1]}" "${b_real[q0]}")
    echo "aim type 2 <= pigz -1: $r2 $(verdict "$r2" 1); type 3 <= pigz -6: $r3 $(verdict "$r3" 1); type 1 <= 1.5 x type 0: $r1 $(verdict "$r1" 1.5)"

    echo
    echo "NTFS restore, $title"
    printf "%-34s %7s %7s %7s %8s %11s %8s %8s\n" tool "wall s" "user s" "sys s" "RSS MiB" "/ partclone" "/pigz-1" "/zstd"
    local worst=0 worst_rss=0 rss
    for name in $(our_tools) plain $peer_list; do
        local label rss_text="-"
        case "$name" in
            q*) label="quarn type $(tool_type "$name") ($(type_label "$(tool_type "$name")"))"
                [ "$(tool_threads "$name")" = 1 ] && label="$label, 1 thread"
                rss=$(rss_of "$name.r"); rss_text=$(awk -v k="$rss" 'BEGIN { printf "%.1f", k / 1024 }')
                worst=$(awk -v a="$worst" -v b="$(ratio "${best_real[$name]}" "${best_real[plain]}")" 'BEGIN { print (b > a) ? b : a }')
                for t in "$rss" "$(rss_of "$name.b")"; do
                    worst_rss=$(( t > worst_rss ? t : worst_rss ))
                done ;;
            plain) label="partclone -r (no compression)" ;;
            *) label="${peer_names[$name]/-c |/-r <-} -d" ;;
        esac
        printf "%-34s %7.2f %7.2f %7.2f %8s %11s %8s %8s\n" "$label" \
            "${best_real[$name]}" "${best_user[$name]}" "${best_sys[$name]}" "$rss_text" \
            "$(ratio "${best_real[$name]}" "${best_real[plain]}")" \
            "$(ratio "${best_real[$name]}" "${best_real[pigz1]}")" "$(ratio "${best_real[$name]}" "${best_real[zstd3]}")"
    done
    local worst_mib
    worst_mib=$(awk -v k="$worst_rss" 'BEGIN { printf "%.1f", k / 1024 }')
    echo "aim every restore <= partclone -r: worst $worst $(verdict "$worst" 1); peak RSS < 256 MiB: $worst_mib $(verdict "$worst_mib" 255.99)"
    echo
    rm -f "$work"/q*_*.bkp "$work"/peer.* "$target" "$work/pc.log"
}

run_cases "compressible incompressible"
