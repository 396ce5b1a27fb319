#!/usr/bin/env bash
# The demo: the converter stand-in starts PrintvaneUI.exe as the printer
# driver's converter does and prints what the user is shown and the real
# 32-bit exit codes. Installs and builds what it needs first.
#
#   bash scripts/demo.sh            windows close themselves (no user needed)
#   bash scripts/demo.sh --manual   you close each window (needs $DISPLAY)
#   PV_DEMO_LANG=ja_JP bash scripts/demo.sh   the same in another user language
#                                   (ja_JP, de_DE, fr_FR, zh_CN, zh_TW)
#
# Pictures of every window go to build-demo/screenshots (PNG).
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/setup.sh >/dev/null || exit 1

build=build-demo
mode=--auto
[ "${1:-}" = --manual ] && mode=""

mkdir -p $build
echo "== building"
cmake -S . -B $build -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release >$build/configure.log 2>&1 \
  || { cat $build/configure.log; exit 1; }
cmake --build $build -j2 --target PrintvaneUI converter tessforge7 language_modules >$build/build.log 2>&1 \
  || { grep -E "error|Error" $build/build.log; exit 1; }

shots="$here/$build/screenshots"
mkdir -p "$shots"
# With --manual and a display of the user's own, windows open there;
# otherwise on the session's virtual screen.
if [ -n "$mode" ] || [ -z "${DISPLAY:-}" ]; then
  scripts/wine-env.sh start $build >/dev/null || exit 1
  eval "$(scripts/wine-env.sh env $build)"
else
  userdisplay=$DISPLAY
  scripts/wine-env.sh start $build >/dev/null || exit 1
  eval "$(scripts/wine-env.sh env $build)"
  export DISPLAY=$userdisplay
fi
if [ -n "${PV_DEMO_LANG:-}" ]; then
  export LC_ALL="$PV_DEMO_LANG.UTF-8"
  echo "user language: $LC_ALL"
fi
converter="$build/bin/converter.exe"
step=0

# One demo step: a title for the reader, then the converter's command line.
# "show" steps take a picture named after the step.
demo_step() {
  local title=$1; shift
  step=$((step + 1))
  echo
  echo "== $step. $title"
  if [ "$1" = show ]; then
    shift
    local bmp="$shots/demo-$(printf %02d $step).bmp"
    wine "$converter" show $mode --shot "Z:$bmp" "$@" | tr -d '\r'
    [ -f "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" 2>/dev/null && rm -f "$bmp"
  else
    wine "$converter" "$@" | tr -d '\r'
  fi
}

demo_step "The converter tells the user something (-msg): an information box, text unchanged" \
  show -msg "Your document has been converted: 3 pages written to C:\\Output\\report.djvu"
demo_step "The converter reports a cancelled job (-errmsg, code 24): the program's own translated text" \
  show -errmsg "Encoding stopped by the user" 24
demo_step "Any other error code (-errmsg, code 5): the converter's own text" \
  show -errmsg "The output file could not be written: access denied." 5
demo_step "Mode switches are case-insensitive (-ERRMSG)" \
  show -ERRMSG "Encoding stopped" 24
demo_step "An unknown switch: nothing is shown, exit code -1" \
  run -unknown x
demo_step "A known switch with the wrong number of arguments: nothing is shown, exit code -1" \
  run -param only three args
demo_step "No arguments at all: the argument box, exit code -1" \
  show

# The progress window alone, fed by the converter stand-in through the named
# pipe: a window query (its 4-byte reply is checked), four pages of steps,
# then the converter closes the pipe and the program ends with 0.
if grep -q '"pipe"' tools/converter/main.cpp; then
  step=$((step + 1))
  echo
  echo "== $step. The progress window on the named pipe: four pages, then the converter closes the pipe"
  wine "$converter" pipe --demo --shots "Z:$shots" | tr -d '\r' | grep -v '^PipeThread'
  bmp="$shots/demo-pipe-progress.bmp"
  [ -f "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" 2>/dev/null && rm -f "$bmp"
fi

# Further steps (the print job with page dialogs and progress window) follow here.
if grep -q '"demo"' tools/converter/main.cpp; then
  # Automatic run: on page 1 the profile editor (tessforge7.exe) runs once
  # by its step script: it copies the stored profile as "Demo copy",
  # changes its qualities, saves, and the dialog selects the copy. Then
  # page 1 is confirmed (1), page 2 skipped (1878), page 3 confirmed for the
  # rest of the job (1877); then the progress window and the summary. With
  # --manual you answer the dialogs yourself (Edit opens the editor).
  demo_step "A print job of three pages: page dialogs, the profile editor, progress window, summary" \
    demo ${mode:+--auto --answers ok,skip,same} --out 'C:\users\Public\Documents\demo.djvu' \
      --shots "Z:$shots" --report "Z:$here/$build/demo-report.txt"
  [ -f "$build/demo-report.txt" ] && { echo "-param exit codes:"; tr -d '\r' <"$build/demo-report.txt"; }
  for f in "$shots"/demo-*.bmp; do [ -f "$f" ] && convert "$f" "${f%.bmp}.png" 2>/dev/null && rm -f "$f"; done
fi

scripts/wine-env.sh stop $build >/dev/null
echo
echo "pictures: $shots"
