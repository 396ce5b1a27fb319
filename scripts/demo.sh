#!/usr/bin/env bash
# The demo: the converter stand-in starts PrintvaneUI.exe (the 32-bit product)
# as the printer driver's converter does and prints what the user is shown and
# the real 32-bit exit codes. Installs and builds what it needs first. Where
# the kernel runs no 32-bit code, 32-bit Wine runs through QEMU's i386
# emulator (scripts/setup.sh registers it).
#
#   bash scripts/demo.sh            windows close themselves (no user needed)
#   bash scripts/demo.sh --manual   you close each window (needs $DISPLAY)
#   PV_DEMO_LANG=ja_JP bash scripts/demo.sh   the same in another user language
#                                   (ja_JP, de_DE, fr_FR, zh_CN, zh_TW)
#   --steps 1,5      run only these steps
#   --fail-step N    break step N on purpose (the converter gets a command it
#                    does not know), to see the demo report a failure
#   PV_DEMO_BUILD=FOLDER            build folder (default build-demo)
#
# Every step checks its result: the exit code PrintvaneUI.exe must give (read
# by the converter stand-in, which writes it to a report file), or the
# stand-in's own success. The demo ends
# with a line per step and exits 1 when any step failed.
# Pictures of every window go to BUILD/screenshots (PNG).
# The print job writes C:\users\Public\Documents\demo.djvu in the Wine prefix;
# the demo copies it to BUILD/demo.djvu, lists it with djvudump and adds
# page 1 as decoded by ddjvu to the pictures (demo-document-page1.png).
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here" || exit 1
bash scripts/setup.sh >/dev/null || exit 1

build=${PV_DEMO_BUILD:-build-demo}
mode=--auto
only=""
fail_step=""
while [ $# -gt 0 ]; do
  case "$1" in
    --manual) mode="" ;;
    --steps) only=",${2:?--steps LIST},"; shift ;;
    --fail-step) fail_step=${2:?--fail-step N}; shift ;;
    *) echo "demo: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

mkdir -p "$build"
echo "== building"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release >"$build/configure.log" 2>&1 \
  || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j2 --target PrintvaneUI converter tessforge7 language_modules >"$build/build.log" 2>&1 \
  || { grep -E "error|Error" "$build/build.log"; exit 1; }

case "$build" in
  /*) buildpath=$build ;;
  *) buildpath=$here/$build ;;
esac
shots="$buildpath/screenshots"
mkdir -p "$shots"
# With --manual and a display of the user's own, windows open there;
# otherwise on the session's virtual screen.
if [ -n "$mode" ] || [ -z "${DISPLAY:-}" ]; then
  scripts/wine-env.sh start "$build" >/dev/null || { echo "demo: Wine could not start for $build: no step ran"; exit 1; }
  eval "$(scripts/wine-env.sh env "$build")"
else
  userdisplay=$DISPLAY
  scripts/wine-env.sh start "$build" >/dev/null || { echo "demo: Wine could not start for $build: no step ran"; exit 1; }
  eval "$(scripts/wine-env.sh env "$build")"
  export DISPLAY=$userdisplay
fi
if [ -n "${PV_DEMO_LANG:-}" ]; then
  export LC_ALL="$PV_DEMO_LANG.UTF-8"
  # From the project's own locales where set-up built it (as wine-env.sh does).
  [ -f "$here/.cache/locale/$LC_ALL/LC_CTYPE" ] && export LOCPATH="$here/.cache/locale"
  echo "user language: $LC_ALL"
fi
converter="$build/bin/converter.exe"
step=0
results=()
failed=0
# The converter's exit-code reports of the steps; removed at the end.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One demo step: a title for the reader, the exit code PrintvaneUI.exe must
# give ("-" when the step checks only the converter's own success), then the
# converter's command line. "show" steps take a picture named after the step;
# "show" and "run" steps have the converter write PrintvaneUI.exe's exit
# code to a report file, which the check reads.
demo_step() {
  local title=$1 expect=$2; shift 2
  step=$((step + 1))
  if [ -n "$only" ] && [[ "$only" != *",$step,"* ]]; then return 0; fi
  echo
  echo "== $step. $title"
  local args=("$@") bmp="" report="$work/exit-code-$step"
  rm -f "$report"
  case "${args[0]}" in
    show)
      bmp="$shots/demo-$(printf %02d "$step").bmp"
      args=(show ${mode:+"$mode"} --shot "Z:$bmp" --report "Z:$report" "${args[@]:1}") ;;
    run) args=(run --report "Z:$report" "${args[@]:1}") ;;
  esac
  [ "$step" = "$fail_step" ] && args=(broken-on-purpose "${args[@]}")
  "$PV_WINE" "$converter" "${args[@]}" 2>&1 | tr -d '\r' | grep -v '^PipeThread'
  local rc=${PIPESTATUS[0]}
  local code=""
  [ -f "$report" ] && code=$(tr -d '\r\n' <"$report")
  local verdict="ok"
  if [ "$rc" != 0 ]; then
    verdict="FAILED: the converter stand-in ended with $rc"
  elif [ "$expect" != - ] && [ "$code" != "$expect" ]; then
    verdict="FAILED: PrintvaneUI.exe exit code ${code:-unknown}, expected $expect"
  fi
  [ -n "$bmp" ] && [ -f "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" 2>/dev/null && rm -f "$bmp"
  local line="step $step: "
  if [ "$expect" = - ]; then line+="converter exit code $rc"; else line+="PrintvaneUI.exe exit code ${code:-none}"; fi
  line+=" - $verdict"
  echo "$line"
  results+=("$line")
  [ "$verdict" = ok ] || failed=$((failed + 1))
}

demo_step "The converter tells the user something (-msg): an information box, text unchanged" 0 \
  show -msg "Your document has been converted: 3 pages written to C:\\Output\\report.djvu"
demo_step "The converter reports a cancelled job (-errmsg, code 24): the program's own translated text" 0 \
  show -errmsg "Encoding stopped by the user" 24
demo_step "Any other error code (-errmsg, code 5): the converter's own text" 0 \
  show -errmsg "The output file could not be written: access denied." 5
demo_step "Mode switches are case-insensitive (-ERRMSG)" 0 \
  show -ERRMSG "Encoding stopped" 24
demo_step "An unknown switch: nothing is shown, exit code -1" -1 \
  run -unknown x
demo_step "A known switch with the wrong number of arguments: nothing is shown, exit code -1" -1 \
  run -param only three args
demo_step "No arguments at all: the argument box, exit code -1" -1 \
  show

# The progress window alone, fed by the converter stand-in through the named
# pipe: a window query (its 4-byte reply is checked), four pages of steps,
# then the converter closes the pipe and the program ends with 0.
demo_step "The progress window on the named pipe: four pages, then the converter closes the pipe" - \
  pipe --demo --shots "Z:$shots"
bmp="$shots/demo-pipe-progress.bmp"
[ -f "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" 2>/dev/null && rm -f "$bmp"

# The print job: on page 1 the profile editor (tessforge7.exe) runs once by
# its step script: it copies the stored profile as "Demo copy", changes its
# qualities, saves, and the dialog selects the copy. Then page 1 is confirmed
# (1), page 2 skipped (1878), page 3 confirmed for the rest of the job (1877);
# then the progress window and the summary. With --manual you answer the
# dialogs yourself (Edit opens the editor).
rm -f "$build/demo-report.txt"
document="$WINEPREFIX/drive_c/users/Public/Documents/demo.djvu"
rm -f "$document" "$build/demo.djvu"
demo_step "A print job of three pages: page dialogs, the profile editor, progress window, summary" - \
  demo ${mode:+--auto --answers ok,skip,same} --out 'C:\users\Public\Documents\demo.djvu' \
    --shots "Z:$shots" --report "Z:$buildpath/demo-report.txt"
[ -f "$build/demo-report.txt" ] && { echo "-param exit codes:"; tr -d '\r' <"$build/demo-report.txt"; }
# The document, checked from outside with DjVuLibre's own tools: with the
# demo's answers (page 1 ok, page 2 skipped, page 3 ok) it holds 2 pages.
if [ -z "$only" ] || [[ "$only" == *",$step,"* ]]; then
  if [ -f "$document" ]; then
    cp "$document" "$build/demo.djvu"
    pages=$(djvudump "$build/demo.djvu" | grep -c 'FORM:DJVU')
    size=$(stat -c %s "$build/demo.djvu")
    echo "document: $buildpath/demo.djvu, $size bytes, $pages pages (djvudump):"
    djvudump "$build/demo.djvu" | sed 's/^/  /'
    ddjvu -format=ppm -page=1 "$build/demo.djvu" "$build/demo-page1.ppm" &&
      convert "$build/demo-page1.ppm" "$shots/demo-document-page1.png" && rm -f "$build/demo-page1.ppm"
    line="document: $pages pages, $size bytes"
    if [ -n "$mode" ] && [ "$pages" != 2 ]; then line+=" - FAILED: expected 2 pages"; failed=$((failed + 1)); else line+=" - ok"; fi
  elif [ -n "$mode" ]; then
    line="document: FAILED: $document was not written"
    failed=$((failed + 1))
  else
    line="document: none written (the job was not done)"
  fi
  echo "$line"
  results+=("$line")
fi
for f in "$shots"/demo-*.bmp; do [ -f "$f" ] && convert "$f" "${f%.bmp}.png" 2>/dev/null && rm -f "$f"; done

scripts/wine-env.sh stop "$build" >/dev/null
echo
echo "pictures: $shots"
echo
echo "== results"
printf '%s\n' "${results[@]}"
if [ "${#results[@]}" = 0 ]; then
  echo "demo: no step ran"
  exit 1
fi
if [ "$failed" -gt 0 ]; then
  echo "demo: $failed of ${#results[@]} steps failed"
  exit 1
fi
echo "demo: all ${#results[@]} steps succeeded"
