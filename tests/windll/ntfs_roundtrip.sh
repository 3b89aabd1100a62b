#!/usr/bin/env bash
# The NTFS round trip between the two builds of the engine: quarn.dll under
# Wine backs up drive D:, which Wine maps to an NTFS partition file made with
# mkntfs and filled with ntfscp; libquarn.so.1 (restore_image) restores the
# image onto a new partition file, judged by ntfsfix -n and by the bytes of
# every file (ntfscat). NTFSRecover then finds on D: through the DLL a file
# that ntfs-3g deleted, and copies it out byte for byte.
#   ntfs_roundtrip.sh <quarn_dll_tool.exe> <restore_image> <wine path of the DLLs>
# Runs in the Wine prefix of WINEPREFIX; works in a temporary folder of its own.
set -euo pipefail
tool=$1 restore=$2 wine_path=$3
: "${WINEPREFIX:?a Wine prefix is needed}"
work=$(mktemp -d /tmp/sorvik-ntfs-roundtrip-XXXXXX)
drive=$WINEPREFIX/dosdevices/d::
mounted=
cleanup() {
  [ -n "$mounted" ] && fusermount -u "$mounted" 2>/dev/null || true
  rm -f "$drive"
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "ntfs_roundtrip: FAILED: $*" >&2; exit 1; }

part=$work/sdz1
truncate -s 64M "$part"
mkntfs -F -q -Q -L "Wine source" "$part" >/dev/null 2>&1 || fail "mkntfs failed"
mkdir "$work/files"
head -c 5M /dev/urandom > "$work/files/random.bin"
seq 1 20000 > "$work/files/numbers.txt"
printf 'Grüße aus Wine\n' > "$work/files/Grüße.txt"
: > "$work/files/empty"
head -c 700 /dev/urandom > "$work/files/small.bin"  # resident in its MFT record
for f in "$work"/files/*; do
  ntfscp -q "$part" "$f" "$(basename "$f")"
done
# A file written and deleted by ntfs-3g: its record and clusters are free,
# its data still there for NTFSRecover.
head -c 300K /dev/urandom > "$work/deleted.bin"
mkdir "$work/mnt"
ntfs-3g "$part" "$work/mnt" || fail "ntfs-3g cannot mount the source volume"
mounted=$work/mnt
cp "$work/deleted.bin" "$work/mnt/deleted.bin"
sync
rm "$work/mnt/deleted.bin"
fusermount -u "$work/mnt" || fail "the source volume cannot be unmounted"
mounted=
ntfsfix -n "$part" >/dev/null || fail "the source volume is not clean"

ln -s "$part" "$drive"
mkdir "$work/image"
image_dir=$(winepath -w "$work/image")
timeout 300 env WINEPATH="$wine_path" wine "$tool" backup D: "$image_dir\\wine" 2 </dev/null ||
  fail "quarn.dll could not back up D:"
ls "$work/image"/wine_*.bkp >/dev/null || fail "no image volume was written"

restored=$work/restored
truncate -s 64M "$restored"
"$restore" "$work/image/wine_0_0.bkp" "$restored" || fail "libquarn could not restore the image"
ntfsfix -n "$restored" >/dev/null || fail "ntfsfix -n finds the restored volume damaged"
[ "$(ntfslabel -f "$restored" 2>/dev/null)" = "Wine source" ] || fail "the label was not restored"
for f in "$work"/files/*; do
  name=$(basename "$f")
  ntfscat -f "$restored" "$name" > "$work/out" || fail "$name is missing after the restore"
  cmp -s "$f" "$work/out" || fail "$name differs after the restore"
done
echo "ntfs_roundtrip: $(ls "$work"/files | wc -l) files came back byte for byte"

recovered=$(winepath -w "$work/recovered.bin")
timeout 120 env WINEPATH="$wine_path" wine "$tool" recover D: deleted.bin "$recovered" </dev/null ||
  fail "NTFSRecover could not recover the deleted file from D:"
cmp -s "$work/deleted.bin" "$work/recovered.bin" || fail "the recovered file differs from the deleted one"
echo "ntfs_roundtrip: passed"
