#!/usr/bin/env bash
# Starts or stops the Wine session of one build folder: a project-local prefix
# (32- or 64-bit after the build's "wine-arch" file), one Xvfb display and one
# persistent wineserver shared by every test.
#   wine-env.sh start BUILD_DIR   (creates the prefix on first use)
#   wine-env.sh stop BUILD_DIR
#   wine-env.sh env BUILD_DIR     (prints the variables to eval)
# PV_WINE_SESSION=NAME gives a session of its own beside the usual one (its
# own prefix "wineprefix-NAME", display and wineserver), for tests that
# change what every other test relies on.
set -u
cmd=${1:?start|stop|env}
build=$(cd "${2:?build folder}" && pwd)
session=${PV_WINE_SESSION:+-$PV_WINE_SESSION}
state="$build/wine-session$session"
arch=$(cat "$build/wine-arch" 2>/dev/null || echo win32)
case "$arch" in
  win64) wine=/usr/lib/wine/wine64; [ -x "$wine" ] || wine=$(command -v wine64 || echo wine64)
         export WINELOADER=$wine ;;
  *)     arch=win32; wine=wine ;;
esac
export WINEPREFIX="$build/wineprefix$session" WINEARCH=$arch WINEDEBUG=-all
# The locales the tests start programs in (LC_ALL=ja_JP.UTF-8) are built by
# scripts/setup.sh into the project's own folder; glibc reads them there
# through LOCPATH. Any other locale is the system's as before.
locales="$(cd "$(dirname "$0")/.." && pwd)/.cache/locale"
if [ -n "${LC_ALL:-}" ] && [ -f "$locales/$LC_ALL/LC_CTYPE" ]; then
  export LOCPATH=$locales
fi
# No Mono or Gecko installers: the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

display_of() { [ -f "$state/display" ] && cat "$state/display"; }

# Starts an Xvfb of our own: it chooses a free display itself and writes its
# number to the file behind -displayfd once it accepts clients, so the session
# never attaches to a display someone else started. Its process id is kept so
# that "stop" ends exactly this server.
start_xvfb() {
  local numfile="$state/xvfb.displayfd" n=""
  rm -f "$numfile"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" >"$state/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  for _ in $(seq 1 100); do
    n=$(tr -dc '0-9' <"$numfile" 2>/dev/null)
    [ -n "$n" ] && break
    kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$n" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null
    rm -f "$state/xvfb.pid"
    echo "wine-env: Xvfb did not start (see $state/xvfb.log)" >&2
    return 1
  fi
  echo ":$n" >"$state/display"
}

case "$cmd" in
  start)
    if [ "$arch" = win32 ] && ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
      echo "wine-env: this machine runs no 32-bit code, so 32-bit Wine cannot start" \
           "(scripts/setup.sh registers QEMU's i386 emulator where binfmt_misc allows it)" >&2
      exit 1
    fi
    mkdir -p "$state"
    if [ -f "$state/xvfb.pid" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null; then
      :
    else
      start_xvfb || exit 1
    fi
    export DISPLAY=$(display_of)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$wine" wineboot -i >"$state/wineboot.log" 2>&1
      wineserver -w
      # A virtual desktop gives windows their title bars without a window
      # manager, so screenshots show what a user sees.
      "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
      "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
      wineserver -w
    fi
    # One persistent wineserver for the whole run.
    (setsid wineserver -p >/dev/null 2>&1 </dev/null &)
    # Start Wine's own helper processes (services, the desktop) now, detached
    # from any test's output, so that no test has to wait for them and ctest
    # does not wait for their inherited pipes.
    (setsid "$wine" wineboot >/dev/null 2>&1 </dev/null)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wine-env: Wine could not make its prefix in $WINEPREFIX (see $state/wineboot.log)" >&2
      exit 1
    fi
    echo "wine session: DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX"
    ;;
  stop)
    wineserver -k >/dev/null 2>&1
    if [ -f "$state/xvfb.pid" ]; then
      kill "$(cat "$state/xvfb.pid")" 2>/dev/null
      rm -f "$state/xvfb.pid" "$state/display"
    fi
    # "wineserver -k" above ended every program of this prefix, stray
    # instances of a failed test included; nothing else is touched.
    echo "wine session stopped"
    ;;
  env)
    # PV_WINE is the loader that runs this build's programs.
    echo "export WINEPREFIX='$WINEPREFIX' WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' DISPLAY='$(display_of)' PV_WINE='$wine'${WINELOADER:+ WINELOADER='$WINELOADER'}${LOCPATH:+ LOCPATH='$LOCPATH'}"
    ;;
  *) echo "usage: $0 start|stop|env BUILD_DIR" >&2; exit 2 ;;
esac
