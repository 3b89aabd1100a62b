#!/usr/bin/env bash
# Restores the same NTFS partition with our engine (from images of
# compression types 0 and 1) and with `partclone.ntfs -r` (from its own
# image), in the same run, and prints wall time, throughput (used bytes per
# second) and our time as a ratio to partclone's. Aim: no slower than
# partclone. Two cases: a partition of mixed large and small files, and one
# with at least 200,000 MFT records (many small files) so that per-record
# costs show.
#
# usage: bench/ntfs_restore_bench.sh [build dir] [work dir]
# Environment: BENCH_MIB (size of the mixed partition, default 1536),
# BENCH_RECORDS (files of the many-records case, default 200000).
# Needs root for the ntfs-3g mount that fills the partitions.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
work="${2:-$(mktemp -d /tmp/ntfs-restore-bench-XXXXXX)}"
backup="$build/bench/ntfs_backup_bench"
restore="$build/bench/ntfs_restore_bench"
mib="${BENCH_MIB:-1536}"
records="${BENCH_RECORDS:-200000}"
for runner in "$backup" "$restore"; do
    [ -x "$runner" ] || { echo "build the benchmarks first: $runner is missing" >&2; exit 1; }
done
for tool in mkntfs ntfs-3g ntfsinfo partclone.ntfs; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done
mkdir -p "$work"
mnt="$work/mnt"
mkdir -p "$mnt"
cleanup() {
    mountpoint -q "$mnt" 2>/dev/null && umount "$mnt" || true
}
trap cleanup EXIT

now() { date +%s.%N; }
used_bytes() {
    local info clusters free csize
    info=$(ntfsinfo -m "$1")
    clusters=$(awk -F: '/Volume Size in Clusters/ {print $2+0}' <<<"$info")
    free=$(awk -F: '/Free Clusters/ {print $2+0}' <<<"$info")
    csize=$(awk -F: '/Cluster Size/ {print $2+0}' <<<"$info")
    echo $(( (clusters - free) * csize ))
}
timed() { # timed <command...>: prints the wall seconds
    sync; echo 3 > /proc/sys/vm/drop_caches 2>/dev/null || true
    local t0 t1
    t0=$(now)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
    t1=$(now)
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }'
}

bench_case() { # bench_case <name> <partition>
    local name="$1" part="$2" size used target
    size=$(stat -c %s "$part")
    used=$(used_bytes "$part")
    target="$work/sdx1"
    "$backup" "$part" "$work/img0" 0 >/dev/null 2>&1
    "$backup" "$part" "$work/img1" 1 >/dev/null 2>&1
    partclone.ntfs -c -q -s "$part" -o "$work/pc.img" >/dev/null 2>&1
    declare -A secs
    for type in 0 1; do
        rm -f "$target"; truncate -s "$size" "$target"
        secs[quarn-type$type]=$(timed "$restore" "$work/img${type}_0_0.bkp" "$target")
    done
    rm -f "$target"; truncate -s "$size" "$target"
    secs[partclone.ntfs]=$(timed partclone.ntfs -r -q -s "$work/pc.img" -O "$target")
    echo
    echo "== $name: partition $size bytes, used $used bytes"
    printf "%-16s %10s %12s\n" "restore" "wall s" "MiB/s"
    for tool in quarn-type0 quarn-type1 partclone.ntfs; do
        printf "%-16s %10.2f %12.1f\n" "$tool" "${secs[$tool]}" \
            "$(awk -v u="$used" -v s="${secs[$tool]}" 'BEGIN { printf "%.1f", u / s / 1048576 }')"
    done
    for type in 0 1; do
        printf "quarn-type%d / partclone.ntfs time ratio %.2f (aim: <= 1)\n" "$type" \
            "$(awk -v a="${secs[quarn-type$type]}" -v b="${secs[partclone.ntfs]}" 'BEGIN { printf "%.2f", a / b }')"
    done
    rm -f "$work"/img0_*.bkp "$work"/img1_*.bkp "$work/pc.img" "$target"
}

echo "== making a $mib MiB NTFS partition with mixed files"
part="$work/sdz1"
rm -f "$part"; truncate -s "${mib}M" "$part"
mkntfs -F -q -Q "$part" >/dev/null 2>&1
ntfs-3g "$part" "$mnt"
share=$(( mib / 8 ))
(set +o pipefail; yes "the quick brown fox jumps over the lazy dog" | head -c "$((share << 20))") > "$mnt/logs.txt"
head -c "$((share << 20))" /dev/urandom > "$mnt/random.bin"
head -c "$((share << 20))" /dev/urandom > "$mnt/movie.mkv"
head -c "$((share << 20))" /dev/zero > "$mnt/disk.img"
mkdir -p "$mnt/small"
for i in $(seq 1 2000); do head -c $((RANDOM % 32768 + 100)) /dev/urandom > "$mnt/small/f$i.bin"; done
umount "$mnt"
bench_case "mixed files" "$part"
rm -f "$part"

echo "== making an NTFS partition with $records small files"
part="$work/sdy1"
rm -f "$part"; truncate -s "$(( records / 1024 * 3 + 256 ))M" "$part"
mkntfs -F -q -Q "$part" >/dev/null 2>&1
ntfs-3g "$part" "$mnt"
mkdir -p "$mnt/many"
(cd "$mnt/many" && seq -f "f%.0f" 1 "$records" | xargs touch)
umount "$mnt"
bench_case "$records MFT records" "$part"
rm -f "$part"
