#!/usr/bin/env bash
# Many small files: what our backups and restores cost per file, and how
# they compare with the peer tools a user would pick instead, all in the
# same run under the same page-cache conditions. Three parts (BENCH_PARTS,
# default "per-file atime table"):
#
#   per-file  backups (no compression) and restores of partitions holding
#             only small files, 10k, 30k, 100k and 300k of them
#             (BENCH_FILE_COUNTS): seconds per 1000 files for each, which
#             should stay flat as the count grows, system calls per 1000
#             files (strace -c, when strace is there) and peak memory.
#   atime     the 1 GiB partition (about 460 MB used) is backed up, mounted
#             with ntfs-3g's default options, every file read, unmounted, a
#             few files changed, and then an incremental is timed against a
#             full backup: at most 0.15 of it, and an image holding only
#             the changed files (its size is printed beside the full one's).
#   table     every row of the comparison table: full backups without
#             compression of the 1 GiB and the 4 GiB partition (150,000
#             small files) against ntfsclone; QuickLZ against
#             ntfsclone | lz4 -1; deflate level 1 and the default level
#             against ntfsclone | zstd -T0 -3; restores of the QuickLZ image
#             against zstd -d | ntfsclone, of the 1 GiB image against
#             partclone; incrementals after a few changes against a full
#             backup. Each row prints its ratio (aim <= 0.5 against the
#             peers) and our peak resident memory (aim < 256 MiB). Rows
#             marked "(reference)" time a plain copy of as many bytes
#             (head -c of the used bytes into a file, dd of our image onto
#             the target): what moving the bytes costs on this machine.
#
# The partitions come from bench/make_small_files_fixture.sh (made once and
# cached) and, for the 1 GiB one, from make_compressible_partition in
# bench/ntfs_bench_common.sh (made in the work dir). Timing rules
# (BENCH_CACHE, BENCH_RUNS default 3, BENCH_SYNC): see
# bench/ntfs_bench_common.sh. QUARN_THREADS is passed to our engine.
#
# usage: bench/small_files_bench.sh [build dir] [work dir]
# Needs root (ntfs-3g mounts). A work dir made here is removed at the end.
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
need_tools mkntfs ntfs-3g ntfsinfo ntfsclone partclone.ntfs lz4 zstd python3 /usr/bin/time
make_work_dir "${2:-}" small-files-bench
target="$work/sdx1"
cleanup() {
    cleanup_work "$work"/q*_*.bkp "$work"/peer.* "$target" "$work"/rss.* "$work/pc.log" "$work"/strace.* \
        "$work/onegig.ntfs" "$work/onegig.ntfs.done" "$work/changed.ntfs"
}
trap cleanup EXIT

fixture_maker="$root/bench/make_small_files_fixture.sh"
threads="${QUARN_THREADS:-0}"
nothing() { :; }
new_target() { rm -f "$target"; truncate -s "$target_size" "$target"; }
size_of() { out_bytes[$1]=$(du -cb $2 | tail -1 | cut -f1); }
rss_mib() { awk -v k="$(cat "$work/rss.$1" 2>/dev/null || echo 0)" 'BEGIN { printf "%.1f", k / 1024 }'; }
worst_rss=0
note_rss() { # note_rss <tool>: keeps the largest peak memory seen
    local k
    k=$(cat "$work/rss.$1" 2>/dev/null || echo 0)
    worst_rss=$(( k > worst_rss ? k : worst_rss ))
}

# our_backup <name> <partition> <type> [previous first volume]: the command
# of one of our backups, its peak memory kept in rss.<name>.
our_backup() {
    local name="$1" part="$2" type="$3"
    shift 3
    ours "$work/${name}_*.bkp" env QUARN_THREADS="$threads" /usr/bin/time -f %M -o "$work/rss.$name" \
        "$backup" "$part" "$work/$name" "$type" "$@"
}
our_restore() { # our_restore <name> <first volume>
    ours "$target" env QUARN_THREADS="$threads" /usr/bin/time -f %M -o "$work/rss.$1" "$restore" "$2" "$target"
}
drop_images() { rm -f "$work/$1"_*.bkp; }
register_backup() { # register_backup <name> <partition> <type> [previous first volume]
    local name="$1"
    eval "finish_$name() { size_of $name \"\$work/${name}_*.bkp\"; drop_images $name; }"
    tool "$name" "drop_images $name" "finish_$name" "$(our_backup "$@")"
}
# register_peer_backup <name> <output> <shell pipeline writing it>
register_peer_backup() {
    eval "finish_$1() { size_of $1 \"\$work/$2\"; rm -f \"\$work/$2\"; }"
    tool "$1" "rm -f $work/$2" "finish_$1" "$(peer "$work/$2" bash -c "set -o pipefail; $3")"
}

# read_every_file <partition>: mounts it with ntfs-3g's default options
# (access times updated as relatime does) and reads every file once.
read_every_file() {
    local mnt="$work/mnt"
    mkdir -p "$mnt"
    ntfs-3g "$1" "$mnt"
    find "$mnt" -type f -print0 | xargs -0 -r cat > /dev/null
    umount "$mnt"
    sync
}

onegig_partition() { # makes the 1 GiB partition once per run
    [ -e "$work/onegig.ntfs.done" ] || fixture compressible "$work/onegig.ntfs" 1024 >&2
    echo "$work/onegig.ntfs"
}

# --- per-file cost -----------------------------------------------------------

syscalls_per_1000() { # syscalls_per_1000 <files> <command...>: system calls of one run
    local files="$1"
    shift
    if ! command -v strace >/dev/null; then
        echo "-"
        return
    fi
    "$@" >/dev/null 2>&1 || true
    awk -v n="$files" '/total$/ { printf "%.0f", $4 * 1000 / n }' "$work/strace.out"
}

part_per_file() {
    local counts="${BENCH_FILE_COUNTS:-10000 30000 100000 300000}" n part b r
    echo "== per-file cost"
    conditions
    printf "%-8s %9s %9s %11s %11s %9s %9s %10s %10s\n" files "backup s" "restore s" "b s/1000" "r s/1000" \
        "b RSS MiB" "r RSS MiB" "b sys/1000" "r sys/1000"
    local rows=""
    for n in $counts; do
        part=$("$fixture_maker" files "$n")
        target_size=$(stat -c %s "$part")
        tool_names=()
        register_backup qb "$part" 0
        tool qr new_target nothing "$(our_restore qr "$work/qi_0_0.bkp")"
        drop_images qi
        QUARN_THREADS="$threads" "$backup" "$part" "$work/qi" 0 >/dev/null 2>&1
        measure_all >&2
        note_rss qb; note_rss qr
        local bsys rsys
        bsys=$(syscalls_per_1000 "$n" strace -f -c -o "$work/strace.out" "$backup" "$part" "$work/qs" 0)
        drop_images qs
        new_target
        rsys=$(syscalls_per_1000 "$n" strace -f -c -o "$work/strace.out" "$restore" "$work/qi_0_0.bkp" "$target")
        b=${best_real[qb]}; r=${best_real[qr]}
        rows+=$(printf "%-8s %9.2f %9.2f %11.4f %11.4f %9s %9s %10s %10s" "$n" "$b" "$r" \
            "$(awk -v t="$b" -v n="$n" 'BEGIN { print t * 1000 / n }')" \
            "$(awk -v t="$r" -v n="$n" 'BEGIN { print t * 1000 / n }')" \
            "$(rss_mib qb)" "$(rss_mib qr)" "$bsys" "$rsys")$'\n'
        drop_images qi
        rm -f "$target"
    done
    printf "%s" "$rows"
    echo
}

# --- access times -------------------------------------------------------------

part_atime() {
    local part="$work/changed.ntfs" src
    src=$(onegig_partition)
    cp --sparse=always "$src" "$part"
    target_size=$(stat -c %s "$part")
    echo "== incremental after the source's files were read once"
    drop_images base_atime
    QUARN_THREADS="$threads" "$backup" "$part" "$work/base_atime" 0 >/dev/null 2>&1
    read_every_file "$part"
    change_a_few_files "$part"
    tool_names=()
    register_backup qfull "$part" 0
    register_backup qinc "$part" 0 "$work/base_atime_0_0.bkp"
    measure_all
    note_rss qfull; note_rss qinc
    local r
    r=$(ratio "${best_real[qinc]}" "${best_real[qfull]}")
    conditions
    printf "%-44s %7s %10s %8s\n" job "wall s" "image MiB" "RSS MiB"
    printf "%-44s %7.2f %10.1f %8s\n" "full backup" "${best_real[qfull]}" "$(mib "${out_bytes[qfull]}")" "$(rss_mib qfull)"
    printf "%-44s %7.2f %10.1f %8s\n" "incremental, files read and a few changed" "${best_real[qinc]}" \
        "$(mib "${out_bytes[qinc]}")" "$(rss_mib qinc)"
    echo "aim incremental after a read <= 0.15 x full: $r $(verdict "$r" 0.15); image $(mib "${out_bytes[qinc]}") MiB"
    echo
    drop_images base_atime
    rm -f "$part"
}

# --- the comparison table -----------------------------------------------------

declare -a table_rows=()
row() { # row <job> <ours s> <ours extra> <peer label> <peer s> <peer extra> <RSS tool or -> [ratio aim or -]
    local r
    local rss="-" aim="${8:-0.5}" judged
    r=$(ratio "$2" "$5")
    [ "$7" = - ] || rss="$(rss_mib "$7") MiB"
    # Reference rows (aim -) show what a plain copy of the same bytes costs.
    judged=$([ "$aim" = - ] && echo "(reference)" || verdict "$r" "$aim")
    table_rows+=("$(printf "| %s | %.2f s%s | %s %.2f s%s | %s %s | %s |" "$1" "$2" "$3" "$4" "$5" "$6" \
        "$r" "$judged" "$rss")")
}
gb() { awk -v b="$1" 'BEGIN { printf ", %.2f GB", b / 1e9 }'; }

table_backups() { # table_backups <title> <partition> <with compression rows 0/1>
    local title="$1" part="$2" compressed="$3"
    tool_names=()
    register_backup q0 "$part" 0
    register_peer_backup nc peer.nc "ntfsclone --save-image -f -o '$work/peer.nc' '$part'"
    # A plain copy of as many bytes into a file, for reference.
    register_peer_backup floor peer.floor "head -c $(used_bytes "$part") '$part' > '$work/peer.floor'"
    if [ "$compressed" = 1 ]; then
        register_backup q1 "$part" 1
        register_backup q2 "$part" 2
        register_backup q3 "$part" 3
        register_peer_backup nclz4 peer.lz4 "ntfsclone --save-image -f -o - '$part' | lz4 -q -1 - '$work/peer.lz4'"
        register_peer_backup nczstd peer.zst "ntfsclone --save-image -f -o - '$part' | zstd -q -T0 -3 -o '$work/peer.zst'"
    fi
    echo "== backups, $title"
    measure_all
    for name in "${tool_names[@]}"; do note_rss "$name"; done
    row "full backup, no compression, $title" "${best_real[q0]}" "" ntfsclone "${best_real[nc]}" "" q0
    row "head -c of the used bytes into a file, $title" "${best_real[floor]}" "" ntfsclone "${best_real[nc]}" "" - -
    if [ "$compressed" = 1 ]; then
        row "QuickLZ backup, $title" "${best_real[q1]}" "$(gb "${out_bytes[q1]}")" "ntfsclone \| lz4 -1" \
            "${best_real[nclz4]}" "$(gb "${out_bytes[nclz4]}")" q1
        row "deflate level 1 backup, $title" "${best_real[q2]}" "$(gb "${out_bytes[q2]}")" "ntfsclone \| zstd -T0 -3" \
            "${best_real[nczstd]}" "$(gb "${out_bytes[nczstd]}")" q2
        row "deflate default backup, $title" "${best_real[q3]}" "$(gb "${out_bytes[q3]}")" "ntfsclone \| zstd -T0 -3" \
            "${best_real[nczstd]}" "$(gb "${out_bytes[nczstd]}")" q3
    fi
}

table_restores() { # table_restores <title> <partition> <QuickLZ and zstd rows 0/1>
    local title="$1" part="$2" compressed="$3"
    target_size=$(stat -c %s "$part")
    echo "== restores, $title: making the images"
    drop_images qi0
    QUARN_THREADS="$threads" "$backup" "$part" "$work/qi0" 0 >/dev/null 2>&1
    partclone.ntfs -c -q -L "$work/pc.log" -s "$part" -o "$work/peer.pc" >/dev/null 2>&1
    tool_names=()
    tool qr0 new_target nothing "$(our_restore qr0 "$work/qi0_0_0.bkp")"
    tool pc new_target nothing \
        "$(peer "$target" partclone.ntfs -r -q -L "$work/pc.log" -s "$work/peer.pc" -O "$target")"
    # A plain copy of our image's bytes onto the target, for reference.
    tool floor new_target nothing "$(peer "$target" dd if="$work/qi0_0_0.bkp" of="$target" bs=1M conv=notrunc status=none)"
    if [ "$compressed" = 1 ]; then
        drop_images qi1
        QUARN_THREADS="$threads" "$backup" "$part" "$work/qi1" 1 >/dev/null 2>&1
        ntfsclone --save-image -f -o - "$part" 2>/dev/null | zstd -q -T0 -3 -o "$work/peer.rzst"
        tool qr1 new_target nothing "$(our_restore qr1 "$work/qi1_0_0.bkp")"
        tool nczstd new_target nothing "$(peer "$target" bash -c \
            "set -o pipefail; zstd -q -dc '$work/peer.rzst' | ntfsclone --restore-image --overwrite '$target' -")"
    fi
    echo "== restores, $title"
    measure_all
    for name in "${tool_names[@]}"; do note_rss "$name"; done
    row "restore, $title" "${best_real[qr0]}" "" partclone "${best_real[pc]}" "" qr0
    row "dd of our image onto the target, $title" "${best_real[floor]}" "" partclone "${best_real[pc]}" "" - -
    if [ "$compressed" = 1 ]; then
        row "restore of the QuickLZ image, $title" "${best_real[qr1]}" "" "zstd -d \| ntfsclone" \
            "${best_real[nczstd]}" "" qr1
    fi
    drop_images qi0; drop_images qi1
    rm -f "$work/peer.pc" "$work/peer.rzst" "$target" "$work/pc.log"
}

table_incremental() { # table_incremental <title> <partition>
    local title="$1" part="$work/changed.ntfs"
    cp --sparse=always "$2" "$part"
    drop_images base_inc
    QUARN_THREADS="$threads" "$backup" "$part" "$work/base_inc" 0 >/dev/null 2>&1
    change_a_few_files "$part"
    tool_names=()
    register_backup qfull "$part" 0
    register_backup qinc "$part" 0 "$work/base_inc_0_0.bkp"
    echo "== incremental, $title"
    measure_all
    note_rss qfull; note_rss qinc
    row "incremental after a few changes, $title" "${best_real[qinc]}" "$(gb "${out_bytes[qinc]}")" full \
        "${best_real[qfull]}" "$(gb "${out_bytes[qfull]}")" qinc 0.15
    drop_images base_inc
    rm -f "$part"
}

table_read_incremental() { # table_read_incremental <title> <partition>
    local title="$1" part="$work/changed.ntfs"
    cp --sparse=always "$2" "$part"
    drop_images base_read
    QUARN_THREADS="$threads" "$backup" "$part" "$work/base_read" 0 >/dev/null 2>&1
    read_every_file "$part"
    tool_names=()
    register_backup qfull "$part" 0
    register_backup qinc "$part" 0 "$work/base_read_0_0.bkp"
    echo "== incremental after a read, $title"
    measure_all
    note_rss qfull; note_rss qinc
    row "incremental after the source's files were read once, $title" "${best_real[qinc]}" \
        "$(gb "${out_bytes[qinc]}")" full "${best_real[qfull]}" "$(gb "${out_bytes[qfull]}")" qinc 0.15
    drop_images base_read
    rm -f "$part"
}

part_table() {
    local small big
    small=$(onegig_partition)
    big=$("$fixture_maker" big)
    echo "1 GiB: used $(mib "$(used_bytes "$small")") MiB; 4 GiB: used $(mib "$(used_bytes "$big")") MiB, $(mft_records "$big") MFT records"
    table_backups "1 GiB" "$small" 0
    table_backups "4 GiB / 150k files" "$big" 1
    table_restores "4 GiB / 150k files" "$big" 1
    table_restores "1 GiB" "$small" 0
    table_incremental "1 GiB" "$small"
    table_read_incremental "1 GiB" "$small"
    echo
    conditions
    echo "| job | ours | best peer pipeline | ratio | our peak memory |"
    echo "|---|---|---|---|---|"
    printf "%s\n" "${table_rows[@]}"
    echo
}

for bench_part in ${BENCH_PARTS:-per-file atime table}; do
    case "$bench_part" in
        per-file) part_per_file ;;
        atime) part_atime ;;
        table) part_table ;;
        *) echo "unknown part $bench_part (per-file, atime, table)" >&2; exit 2 ;;
    esac
done
worst_mib=$(awk -v k="$worst_rss" 'BEGIN { printf "%.1f", k / 1024 }')
echo "aim peak memory < 256 MiB in every run of ours: $worst_mib MiB $(verdict "$worst_mib" 255.99)"
