#!/usr/bin/env bash
# The release archive as a driver's installer meets it: packs the i686 build
# (scripts/package.sh --pack), unpacks the archive into a fresh Wine prefix
# outside the build folder, installs it as docs/INTEGRATION.md says (the
# files into a program folder, defaults.dprepo into the shared data folder)
# and runs a print job of the converter stand-in (from the build: it is not
# shipped) against the unpacked program. Checks the archive's file list,
# the exit codes of every page, the progress window, and that the page
# dialog lists the shipped default profiles. Leaves the profile box's
# picture in <build>/screenshots/archive-profiles.bmp.
#   test-archive.sh BUILD_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?build folder}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/printvane-archive.XXXXXX")
fail=0
check() { # description, condition result
  if [ "$2" = 0 ]; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi
}
cleanup() {
  "$here/scripts/wine-env.sh" stop "$work" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

archive=$(bash "$here/scripts/package.sh" --pack "$build" "$work/dist") || { echo "FAILED: packing"; exit 1; }
name=$(basename "$archive" .zip)
echo "archive: $archive ($(stat -c %s "$archive") bytes)"

# Exactly what ships: the program, the editor, the language modules of the
# build's own list, the default profiles, the licence texts and the guide.
listing=$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$archive")
modules=$(cd "$build/bin" && ls -d */PrintvaneUI.exe.mui 2>/dev/null | sort)
expected=$(printf '%s\n' PrintvaneUI.exe tessforge7.exe defaults.dprepo LICENSE THIRD_PARTY_NOTICES \
           docs/INTEGRATION.md $modules | sort)
echo "$listing"
[ "$listing" = "$expected" ]; check "the archive holds exactly what ships" $?
[ "$(echo "$modules" | grep -c .)" -ge 5 ]; check "five language modules" $?
case "$name" in printvane-ui-*-win32) r=0 ;; *) r=1 ;; esac; check "archive name $name" $r

# A fresh Wine session of its own: prefix, display and wineserver.
cp "$build/wine-arch" "$work/wine-arch"
"$here/scripts/wine-env.sh" start "$work" >/dev/null || { echo "FAILED: Wine session"; exit 1; }
eval "$("$here/scripts/wine-env.sh" env "$work")"

# The installer's part (docs/INTEGRATION.md, "Installing").
program_dir="$WINEPREFIX/drive_c/Program Files/Printvane UI"
shared="$WINEPREFIX/drive_c/ProgramData/Marovent"
mkdir -p "$program_dir" "$shared"
python3 -m zipfile -e "$archive" "$program_dir"
cp "$program_dir/defaults.dprepo" "$shared/defaults.dprepo"
# The SHA-256 list: the unpacked files, and the archive itself.
grep -v ' [^/]*\.zip$' "$work/dist/$name.sha256" | (cd "$program_dir" && sha256sum --quiet -c -) &&
  grep ' [^/]*\.zip$' "$work/dist/$name.sha256" | (cd "$work/dist" && sha256sum --quiet -c -)
check "the SHA-256 list matches the archive and what it unpacks to" $?

report="$work/report.txt"
shots="$work/shots"
mkdir -p "$shots"
"$PV_WINE" "$build/bin/converter.exe" --program 'C:\Program Files\Printvane UI\PrintvaneUI.exe' \
  demo --auto --installed --dpi 100 --answers ok,skip,ok --out 'C:\users\Public\archive-test.djvu' \
  --report "Z:$report" --shots "Z:$shots" >"$work/demo.log" 2>&1
rc=$?
cat "$work/demo.log"
check "the print job ran (exit $rc)" $rc
cat "$report" 2>/dev/null | tr -d '\r' >"$work/report.unix"
has() { grep -qxF -- "$1" "$work/report.unix"; }
has "page 1: 1"; check "page 1 answered OK (1)" $?
has "page 2: 1878"; check "page 2 skipped (1878)" $?
has "page 3: 1"; check "page 3 answered OK (1)" $?
# The shipped profiles, in the repository's order, and nothing built in.
has "page 1 profiles: Mixed colour pages|Photos|Scanned text|Smallest file"
check "the page dialog lists the shipped profiles" $?
grep -q "^progress window: Converting to DjVu - archive-test.djvu" "$work/report.unix"
check "the progress window showed the job" $?
has "progress exit: 0"; check "the progress window ended with 0" $?
has "job done; converted 1,3; skipped 2"; check "the job's outcome" $?
# No profile stored yet: the dialog selected the first shipped one, and OK kept it.
grep -q 'with profile "Mixed colour pages"\.' "$work/demo.log"; check "OK stored the shipped profile chosen" $?
[ -f "$shared/db0.dprepo" ]; check "the program seeded db0.dprepo from the shared folder" $?

# An upgrade for a user who already has a repository: the installer's import
# step adds the shipped profiles the user lacks and keeps the user's own.
ns=http://schemas.printvane.org/djvu/1.0/profile/
printf '<?xml version="1.0" encoding="UTF-8"?>\n<repository xmlns="%s"><profile name="Photos" description="mine"/><profile name="Mine"/></repository>\n' \
  "$ns" >"$shared/db0.dprepo"
"$PV_WINE" "$program_dir/tessforge7.exe" -import 'C:\ProgramData\Marovent\defaults.dprepo' >"$work/import.log" 2>&1
check "the import step ended with 0" $?
names=$(grep -o '<profile name="[^"]*"' "$shared/db0.dprepo" | cut -d'"' -f2 | paste -sd'|')
[ "$names" = "Mine|Mixed colour pages|Photos|Scanned text|Smallest file" ]; check "the import added the missing profiles ($names)" $?
grep -q 'description="mine"' "$shared/db0.dprepo"; check "the import kept the user's own Photos" $?

mkdir -p "$build/screenshots"
for f in "$shots"/demo-profiles.bmp "$shots"/demo-progress.bmp; do
  [ -f "$f" ] && cp "$f" "$build/screenshots/archive-$(basename "${f#*/demo-}")"
done
[ -f "$build/screenshots/archive-profiles.bmp" ]; check "picture of the opened profile box" $?
exit $fail
