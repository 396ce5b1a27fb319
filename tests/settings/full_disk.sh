#!/usr/bin/env bash
# A save on a really full disk: a 200 KB tmpfs mounted on a folder of its
# own inside the settings folder of the test prefix, holding a settings file
# that a save must grow past its 4 KB page, then filled to the last page;
# test_settings' SaveOnAFullDisk case saves there under a new name and over
# that file. Mounting needs root: without it the test is skipped (77), and
# SaveThatCannotBeCompletedLeavesTheFileAsItWas covers the failure injected.
#   full_disk.sh BUILD_DIR
set -u
build=$(cd "${1:?build folder}" && pwd)
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
eval "$("$scripts/wine-env.sh" env "$build")"
folder="pvfull-$$"
mnt="$WINEPREFIX/drive_c/ProgramData/Marovent/Vellumjet/$folder"
mkdir -p "$mnt" || exit 1
if ! mount -t tmpfs -o size=200k tmpfs "$mnt" 2>/dev/null; then
  rmdir "$mnt"
  echo "no tmpfs can be mounted here: skipped"
  exit 77
fi
trap 'umount "$mnt"; rmdir "$mnt"' EXIT
# The files lie one level below the mount point, whose root Wine reports
# as a reparse point.
mkdir "$mnt/d"
{ printf '\xff\xfe'; for i in $(seq 1 60); do printf 'Note%02d=%s\r\n' "$i" xxxxxxxxxxxxxxxxxxxxxx; done |
    iconv -t UTF-16LE; } >"$mnt/d/grow.ini"
dd if=/dev/zero of="$mnt/d/fill" bs=4k 2>/dev/null
PV_FULL_DISK_FOLDER="$folder\\d" "$scripts/wine-run.sh" "$build/bin/test_settings.exe" \
  --gtest_filter='PrinterSettings.SaveOnAFullDisk*'
