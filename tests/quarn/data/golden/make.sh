#!/bin/sh
# Remakes the golden images with the engine of a build folder. Run by hand
# only, and only to add an image: the checked-in bytes are the reference a
# later engine must still read, so existing images are never replaced.
#   tests/quarn/data/golden/make.sh [build folder] [output folder] [name prefix]
# The set with checksum records was made with the prefix "checked_".
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
out=${2:-$here/new}
prefix=${3:-}
mkdir -p "$out"
cmake --build "$build" -j4 --target golden_image_maker
"$build/tests/golden_image_maker" "$out" $prefix
ls -l "$out"
