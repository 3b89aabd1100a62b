#!/usr/bin/env bash
# Backs up one NTFS partition image of at least 1 GiB, filled with mixed
# files, with our engine (compression types 0, 1 and 2) and with
# `partclone.ntfs -c` and `ntfsclone --save-image`, and prints wall time,
# throughput (used bytes per second), image size and our time as a ratio to
# each peer's. Aims: type 0 no slower than either peer; type 1 within 1.5
# times of type 0.
#
# usage: bench/ntfs_backup_bench.sh [build dir] [work dir]
# Needs root for the ntfs-3g mount that fills the partition (falls back to
# ntfscp into the root directory where no mount works).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
work="${2:-$(mktemp -d /tmp/ntfs-bench-XXXXXX)}"
runner="$build/bench/ntfs_backup_bench"
[ -x "$runner" ] || { echo "build the benchmarks first: $runner is missing" >&2; exit 1; }
for tool in mkntfs ntfscp ntfsinfo partclone.ntfs ntfsclone; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done
mkdir -p "$work"
part="$work/sdz1"
mnt="$work/mnt"
cleanup() {
    mountpoint -q "$mnt" 2>/dev/null && umount "$mnt" || true
}
trap cleanup EXIT

echo "== making a 1.5 GiB NTFS partition with mixed files in $work"
rm -f "$part"
truncate -s 1536M "$part"
mkntfs -F -q -Q "$part" >/dev/null 2>&1

# Mixed content: text-like (compressible), random (incompressible), already
# compressed media names, many small files, a few large ones. About 1.1 GiB.
gen() { # gen <file> <MiB> <kind>
    case "$3" in
        # yes ends by SIGPIPE, which pipefail would count as a failure.
        text) (set +o pipefail; yes "the quick brown fox jumps over the lazy dog $2 $RANDOM" | head -c "$(($2 << 20))") > "$1" ;;
        random) head -c "$(($2 << 20))" /dev/urandom > "$1" ;;
        zero) head -c "$(($2 << 20))" /dev/zero > "$1" ;;
    esac
}
src="$work/src"
mkdir -p "$src"
gen "$src/logs.txt" 300 text
gen "$src/random.bin" 300 random
gen "$src/movie.mkv" 200 random
gen "$src/disk.img" 150 zero
gen "$src/db.dat" 100 text
mkdir -p "$src/small"
for i in $(seq 1 2000); do head -c $((RANDOM % 32768 + 100)) /dev/urandom > "$src/small/f$i.bin"; done

mkdir -p "$mnt"
if ntfs-3g "$part" "$mnt" 2>/dev/null; then
    cp -r "$src/." "$mnt/"
    umount "$mnt"
else
    echo "(no ntfs-3g mount: copying the large files with ntfscp only)"
    for f in logs.txt random.bin movie.mkv disk.img db.dat; do ntfscp -f "$part" "$src/$f" "/$f" >/dev/null; done
fi
rm -rf "$src"
sync

clusters=$(ntfsinfo -m "$part" | awk -F: '/Volume Size in Clusters/ {print $2+0}')
free=$(ntfsinfo -m "$part" | awk -F: '/Free Clusters/ {print $2+0}')
csize=$(ntfsinfo -m "$part" | awk -F: '/Cluster Size/ {print $2+0}')
used=$(( (clusters - free) * csize ))
echo "partition: $(stat -c %s "$part") bytes, used $used bytes"

now() { date +%s.%N; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
declare -A secs size
measure() { # measure <name> <output file or glob> <command...>
    local name="$1" out="$2"; shift 2
    sync; echo 3 > /proc/sys/vm/drop_caches 2>/dev/null || true
    local t0 t1
    t0=$(now)
    "$@" >/dev/null 2>&1 || { echo "$name failed" >&2; return 1; }
    t1=$(now)
    secs[$name]=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
    size[$name]=$(du -cb $out | tail -1 | cut -f1)
    rm -f $out
}

for type in 0 1 2; do
    measure "quarn-type$type" "$work/img${type}_*.bkp" "$runner" "$part" "$work/img$type" "$type"
done
measure "partclone.ntfs" "$work/pc.img" partclone.ntfs -c -q -s "$part" -o "$work/pc.img"
measure "ntfsclone" "$work/nc.img" ntfsclone --save-image -f -o "$work/nc.img" "$part"

echo
printf "%-16s %10s %12s %14s\n" "tool" "wall s" "MiB/s" "image bytes"
for name in quarn-type0 quarn-type1 quarn-type2 partclone.ntfs ntfsclone; do
    rate=$(awk -v u="$used" -v s="${secs[$name]}" 'BEGIN { printf "%.1f", u / s / 1048576 }')
    printf "%-16s %10.2f %12.1f %14d\n" "$name" "${secs[$name]}" "$rate" "${size[$name]}"
done
echo
for type in 0 1 2; do
    for peer in partclone.ntfs ntfsclone; do
        printf "quarn-type%d / %-15s time ratio %.2f\n" "$type" "$peer" \
            "$(ratio "${secs[quarn-type$type]}" "${secs[$peer]}")"
    done
done
printf "quarn-type1 / quarn-type0 time ratio %.2f (aim: <= 1.5)\n" \
    "$(ratio "${secs[quarn-type1]}" "${secs[quarn-type0]}")"
rm -f "$part"
