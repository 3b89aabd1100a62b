#!/usr/bin/env bash
# Makes (once) and caches the NTFS partition files the small-file benchmarks
# read, and prints the path of the one asked for:
#   bench/make_small_files_fixture.sh big          4 GiB, about 2.7 GB used:
#                                                  150,000 small files and a
#                                                  few large ones
#   bench/make_small_files_fixture.sh files <N>    only N small files (the
#                                                  per-file cost series), in
#                                                  a partition sized to fit
# Small files come in folders of 1000: 60% resident (up to 700 bytes), 40%
# of 1 to 24 KiB; their bytes are half text, half random, so compression has
# something to do. The large files are random data, text and zeros.
# Everything is seeded: the same call makes the same files (not the same
# bytes on disk: ntfs-3g stamps times).
#
# The cache folder is $BENCH_FIXTURE_CACHE, else $XDG_CACHE_HOME/sorvik/bench,
# else /var/cache/sorvik/bench. A fixture is made under a temporary name and
# renamed when complete, so a cut-short run never leaves a fixture that looks
# whole. BENCH_FIXTURE_REMAKE=1 makes it again. Needs root (ntfs-3g mount).
set -euo pipefail

maker_version=1 # raise when what is made changes, so old caches are not reused
cache="${BENCH_FIXTURE_CACHE:-${XDG_CACHE_HOME:+$XDG_CACHE_HOME/sorvik/bench}}"
cache="${cache:-/var/cache/sorvik/bench}"

kind="${1:-}"
case "$kind" in
    big) files=150000; large_mib=1700; part_mib=4096; name="small-files-big-v$maker_version.ntfs" ;;
    files)
        files="${2:?usage: $0 files <count>}"
        [[ "$files" =~ ^[0-9]+$ ]] && [ "$files" -gt 0 ] || { echo "file count must be a positive number" >&2; exit 2; }
        large_mib=0
        # About 7 KiB of clusters and MFT per file on average, plus room.
        part_mib=$(( files * 8 / 1024 + 256 ))
        name="small-files-$files-v$maker_version.ntfs" ;;
    *) echo "usage: $0 big | files <count>" >&2; exit 2 ;;
esac

for tool in mkntfs ntfs-3g python3 mountpoint; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done
mkdir -p "$cache"
part="$cache/$name"
if [ -s "$part" ] && [ "${BENCH_FIXTURE_REMAKE:-0}" != 1 ]; then
    echo "$part"
    exit 0
fi

partial="$part.partial.$$"
mnt="$(mktemp -d /tmp/small-files-fixture-XXXXXX)"
cleanup() {
    mountpoint -q "$mnt" && umount "$mnt" || true
    rmdir "$mnt" 2>/dev/null || true
    rm -f "$partial"
}
trap cleanup EXIT

echo "making $part ($files small files, $large_mib MiB in large files, $part_mib MiB partition)" >&2
truncate -s "${part_mib}M" "$partial"
mkntfs -F -q -Q -L smallfiles "$partial" >/dev/null 2>&1
ntfs-3g -o big_writes "$partial" "$mnt" 2>/dev/null || ntfs-3g "$partial" "$mnt"
python3 - "$mnt" "$files" "$large_mib" <<'EOF'
import os, random, sys
mnt, count, large_mib = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
random.seed(35)
noise = random.randbytes(64 << 10)
words = b"alpha beta gamma delta report invoice table index page record stream cache ".split()
text = b" ".join(random.choice(words) for _ in range(16 << 10))[: 64 << 10]
root = os.path.join(mnt, "files")
for i in range(count):
    folder = os.path.join(root, "d%04d" % (i // 1000))
    if i % 1000 == 0:
        os.makedirs(folder, exist_ok=True)
    size = random.randint(0, 700) if random.random() < 0.6 else random.randint(1024, 24 << 10)
    source = noise if i % 2 else text
    start = random.randint(0, len(source) - size)
    with open(os.path.join(folder, "file-%06d.dat" % i), "wb") as f:
        f.write(source[start : start + size])
if large_mib:
    big = os.path.join(mnt, "large")
    os.makedirs(big)
    plan = [("random0.bin", 0.30, "random"), ("random1.bin", 0.20, "random"), ("logs.txt", 0.30, "text"),
            ("zeros.img", 0.10, "zero"), ("db.dat", 0.10, "text")]
    for name, share, kind in plan:
        with open(os.path.join(big, name), "wb") as f:
            for _ in range(int(large_mib * share)):
                if kind == "random":
                    f.write(random.randbytes(1 << 20))
                elif kind == "text":
                    f.write((text * 16)[: 1 << 20])
                else:
                    f.write(bytes(1 << 20))
EOF
umount "$mnt"
sync
mv "$partial" "$part"
echo "$part"
