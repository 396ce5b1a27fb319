#!/usr/bin/env bash
# The shared data folder replaced by a link: C:\ProgramData\Marovent, which
# any local user may remove and put a link in place of, points to a private
# folder (mode 0700). -param runs (Cancel, and OK answered by the "not
# saved" box) must neither open that folder to everyone nor make anything
# inside it (test_e2e's SharedFolderLink test drives them). Runs in a Wine
# prefix of its own, since it swaps a folder that every other test uses.
#   shared_folder_link.sh BUILD_DIR
set -u
build=$(cd "${1:?build folder}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)
export PV_WINE_SESSION=links
"$scripts/wine-env.sh" start "$build" >/dev/null || exit 1
eval "$("$scripts/wine-env.sh" env "$build")"
private="$build/wine-session-links/private"
shared="$WINEPREFIX/drive_c/ProgramData/Marovent"
rm -rf "$shared" "$private"
mkdir -p "$private" && chmod 0700 "$private"
ln -s "$private" "$shared"

status=0
PV_SHARED_FOLDER_LINK=1 "$scripts/wine-run.sh" "$build/bin/test_e2e.exe" \
  --gtest_filter='SharedFolderLink.*' --gtest_output="xml:Z:$build/results/test_e2e_shared_folder_link.xml" || status=1
mode=$(stat -c %a "$private") made=$(ls -A "$private")
[ "$mode" = 700 ] || { echo "the private folder behind the link became mode $mode" >&2; status=1; }
[ -z "$made" ] || { echo "made inside the private folder behind the link: $made" >&2; status=1; }
rm -rf "$shared" "$private"   # the link itself, not what it points to
"$scripts/wine-env.sh" stop "$build" >/dev/null
exit $status
