#!/usr/bin/env bash
# The Windows folder and its zip as a user gets them, judged with the mingw
# tools: deskrestore.exe carries its manifest (administrator rights, the
# supported systems 7 to 11, per-monitor DPI awareness, common controls 6)
# and its icon; all three binaries carry the product's version; the DLLs
# export their interface classes only; the binaries are stripped; the zip
# holds the folder with README.txt and the licence texts.
#   binaries_check.sh <deploy folder> <zip> <product version>
set -euo pipefail
folder=$(cd "$1" && pwd)
zip=$2
version=$3
fail() { echo "binaries_check: FAILED: $*" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/sorvik-binaries-XXXXXX")
trap 'rm -rf "$work"' EXIT

# resources FILE: the binary's resources as a resource script.
resources() {
  x86_64-w64-mingw32-windres -J coff -O rc -i "$1" -o "$work/$(basename "$1").rc" ||
    fail "windres cannot read the resources of $1"
  cat "$work/$(basename "$1").rc"
}
for binary in deskrestore.exe quarn.dll Vetra.dll; do
  rc=$(resources "$folder/$binary")
  grep -q '^1 VERSIONINFO' <<<"$rc" || fail "$binary has no version resource"
  grep -q "FILEVERSION ${version//./, }, 0" <<<"$rc" || fail "$binary has another file version than $version"
  grep -q "\"ProductVersion\", \"$version\"" <<<"$rc" || fail "$binary has another product version than $version"
  grep -q "\"OriginalFilename\", \"$binary\"" <<<"$rc" || fail "$binary names another file"
done
rc=$(cat "$work/deskrestore.exe.rc")
grep -q '^1 14 /\* RT_GROUP_ICON' <<<"$rc" || fail "deskrestore.exe has no icon"
grep -q '^1 24 /\* RT_MANIFEST' <<<"$rc" || fail "deskrestore.exe has no manifest resource"
# The manifest's text as the binary carries it (RT_MANIFEST data).
manifest=$(strings -w -n 8 "$folder/deskrestore.exe" | sed -n '/<assembly/,/<\/assembly>/p')
[ -n "$manifest" ] || fail "deskrestore.exe has no manifest"
for needed in 'level="requireAdministrator"' \
              '35138b9a-5d96-4fbd-8e2d-a2440225f93a' '4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38' \
              '1f676c76-80e1-4239-95bb-83d0f6d0da78' '8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a' \
              'true/pm' 'PerMonitor' 'Microsoft.Windows.Common-Controls' 'version="6.0.0.0"'; do
  grep -qF "$needed" <<<"$manifest" || fail "the manifest of deskrestore.exe lacks $needed"
done
echo "binaries_check: manifest, icon and version $version in the binaries"

# exports DLL: the demangled names the DLL exports.
exports() {
  x86_64-w64-mingw32-objdump -p "$1" |
    awk '/^\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && /^[ \t]*\[/ {print $NF} on && /^$/ {on = 0}' |
    x86_64-w64-mingw32-c++filt
}
check_exports() {
  local dll=$1 allowed=$2 names name
  names=$(exports "$folder/$dll")
  [ -n "$names" ] || fail "$dll exports nothing"
  while IFS= read -r name; do
    grep -Eq "$allowed" <<<"$name" || fail "$dll exports an internal: $name"
  done <<<"$names"
  echo "binaries_check: $dll exports $(wc -l <<<"$names") names of its interface"
}
check_exports quarn.dll \
  '^(quarn::(backup_ntfs|backup_fat32|restore_ntfs|restore_fat32|restore_mbr|verify_image|set_trace_sink)\(|NTFSRecover::(NTFSRecover\(\)|~NTFSRecover\(\)|ScanPartition\(|RecoverFile\())'
check_exports Vetra.dll \
  '^CVetra::(CVetra\(\)|CVetra\(CVetra const&\)|operator=\(CVetra const&\)|~CVetra\(\)|instance\(\)|GetVetra\(\)|RemoveDiskList\(\))'

# Stripped: no symbol table left in any binary of the folder.
while IFS= read -r binary; do
  symbols=$(x86_64-w64-mingw32-objdump -t "$binary" 2>/dev/null | grep -c '^\[' || true)
  [ "$symbols" -eq 0 ] || fail "$binary is not stripped ($symbols symbols)"
done < <(find "$folder" -name '*.exe' -o -name '*.dll')
size=$(stat -c %s "$folder/libstdc++-6.dll")
[ "$size" -lt $((8 * 1024 * 1024)) ] || fail "libstdc++-6.dll is $size bytes: not stripped"
echo "binaries_check: the folder's binaries are stripped ($(du -sh "$folder" | cut -f1))"

# The zip: the folder's files at its top, the README and the licences.
[ "$(basename "$zip")" = "sorvik-tavimo-recover-$version-windows-x64.zip" ] || fail "the zip is named $(basename "$zip")"
listing=$(unzip -Z1 "$zip") || fail "$zip is not a zip"
for entry in deskrestore.exe quarn.dll Vetra.dll Qt5Core.dll Qt5Gui.dll Qt5Widgets.dll platforms/qwindows.dll \
             styles/qwindowsvistastyle.dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll qt.conf \
             language/pelrid_zh_CN.qm README.txt licences/LGPL-3.txt licences/GPL-3.txt licences/Qt-SOURCE.txt \
             licences/GCC-runtime.txt licences/winpthreads.txt; do
  grep -qx "$entry" <<<"$listing" || fail "the zip lacks $entry"
done
# text ENTRY: an entry of the zip (read whole: grep -q would cut the pipe).
text() { unzip -p "$zip" "$1"; }
grep -q 'GCC RUNTIME LIBRARY EXCEPTION' <<<"$(text licences/GCC-runtime.txt)" ||
  fail "the GCC runtime's licence lacks its exception"
grep -q 'winpthreads' <<<"$(text licences/winpthreads.txt)" || fail "winpthreads' licence is missing"
grep -q 'GNU LESSER GENERAL PUBLIC LICENSE' <<<"$(text licences/LGPL-3.txt)" || fail "the LGPL text is wrong"
grep -q 'qtbase-opensource-src' <<<"$(text licences/Qt-SOURCE.txt)" || fail "Qt's source is not named"
readme=$(unzip -p "$zip" README.txt)
for needed in 'Windows 7 with Service Pack 1' 'administrator' 'data\sorvik2_cn.iso' 'data\Qomra.mbr' \
              'HKCR\Drive\shell\Sorvik Backup' "$version"; do
  grep -qF "$needed" <<<"$readme" || fail "README.txt does not say $needed"
done
grep -q $'\r$' <<<"$readme" || fail "README.txt lacks Windows line ends"
# The zip holds what the folder holds, byte for byte.
mkdir "$work/unzipped"
unzip -q "$zip" -d "$work/unzipped"
diff -r "$folder" "$work/unzipped" >/dev/null || fail "the zip differs from the folder"
echo "binaries_check: passed ($(basename "$zip"), $(stat -c %s "$zip") bytes)"
