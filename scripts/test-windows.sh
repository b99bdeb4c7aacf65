#!/usr/bin/env bash
# Cross-builds the Windows program with mingw-w64 and tests it under Wine: core tests, the Windows
# ports, the Win32 front end, one whole scheduled run, and screenshots of the four windows.
# Everything runs in a temporary Wine prefix and a private Xvfb, both removed at the end.
#   scripts/test-windows.sh [--no-screenshots]
# Needs: cmake ninja-build g++-mingw-w64-x86-64-posix wine64 xvfb googletest imagemagick xdotool openbox.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-win
screenshots=1
[[ ${1:-} == --no-screenshots ]] && screenshots=0

for tool in cmake ninja x86_64-w64-mingw32-g++-posix wine Xvfb; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done

step() { printf '\n=== %s\n' "$*"; }
seconds() { date +%s; }
begin=$(seconds)

step "configure and build ($build)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DTARNWICK_QT=OFF >/dev/null
# The Windows program and its tests by name: other areas' targets are not the Windows build's.
cmake --build "$build" -j2 --target TARNWICK core_tests ports_tests frontend_tests screenshot_driver argv_dump \
  key_recorder window_driver NODE-QT-STANDIN NODE-DAEMON-STANDIN NODE-CLI-STANDIN MF-CORVANT-STANDIN MF-PELLUM-ON MF-PELLUM-OFF
echo "DLLs TARNWICK.exe imports:"
x86_64-w64-mingw32-objdump -p "$build/bin/TARNWICK.exe" | grep 'DLL Name' | sed 's/^\s*/  /'

# Everything started from here on is stopped by its own id.
xvfb_pid='' openbox_pid='' prefix=''
cleanup() {
  set +e
  if [[ -n $prefix ]]; then
    WINEPREFIX=$prefix wineserver -k 2>/dev/null  # this prefix's own server only
    WINEPREFIX=$prefix wineserver -w 2>/dev/null
    rm -rf "$prefix"
  fi
  [[ -n $openbox_pid ]] && kill "$openbox_pid" 2>/dev/null
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
  rm -f "${display_file:-}"
}
trap cleanup EXIT

step "temporary Wine prefix"
prefix=$(mktemp -d /tmp/tarnwick-wine.XXXXXX)
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
start=$(seconds)
wineboot -i >/dev/null 2>&1
wineserver -w
echo "wineboot -i took $(($(seconds) - start))s"
# Wine draws the Windows frame itself, so screenshots show the caption the program sets.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1

step "private Xvfb"
display_file=$(mktemp)
exec {display_fd}>"$display_file"
Xvfb -displayfd "$display_fd" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
exec {display_fd}>&-
for _ in $(seq 100); do [[ -s $display_file ]] && break; sleep 0.1; done
export DISPLAY=:$(head -n1 "$display_file")
echo "DISPLAY=$DISPLAY"
if command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  openbox_pid=$!
fi

status=0
step "core tests under Wine"
# The core's test names, so ctest runs exactly those (through the toolchain's Wine emulator).
suites=$(wine "$build/bin/core_tests.exe" --gtest_list_tests 2>/dev/null | tr -d '\r' | grep -E '^[A-Za-z_0-9]+\.$' |
  sed 's/\.$//' | paste -sd'|')
ctest --test-dir "$build" -R "^(${suites})\." --output-on-failure -j2 || status=1

step "Windows ports, front end and the scheduled run under Wine"
ctest --test-dir "$build" -L win32 --output-on-failure -j2 || status=1

# Wine takes the screen's DPI from the registry when a program starts.
set_dpi() { wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1; }
for dpi in 144 192; do
  step "layout at $dpi DPI"
  set_dpi "$dpi"
  if out=$(cd "$build/bin" && wine frontend_tests.exe --gtest_filter='*NoControlsOverlap*' 2>&1); then
    echo "no overlaps, no lost words at $dpi DPI"
  else
    tr -d '\r' <<<"$out" | grep -v '^\[ RUN' >&2
    status=1
  fi
done

if ((screenshots)); then
  step "screenshots at 144 DPI"
  set_dpi 144
  mkdir -p "$root/docs"
  for window in main hub helpers node; do
    out=$(mktemp)
    (cd "$build/bin" && exec wine screenshot_driver.exe "$window") >"$out" 2>/dev/null &
    driver=$!
    for _ in $(seq 200); do [[ -s $out ]] && break; sleep 0.1; done
    sleep 1.5  # the window paints after it reports where it is
    read -r x y w h <"$out" || true
    if [[ -n ${h:-} ]]; then
      import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage "$root/docs/screenshot-$window-win32.png"
      echo "docs/screenshot-$window-win32.png (${w}x${h})"
    else
      echo "no window for $window" >&2
      status=1
    fi
    kill "$driver" 2>/dev/null || true
    wait "$driver" 2>/dev/null || true
    rm -f "$out"
  done
fi

set_dpi 96

step "done in $(($(seconds) - begin))s: $( ((status == 0)) && echo PASSED || echo FAILED)"
exit "$status"
