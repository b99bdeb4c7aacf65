#!/usr/bin/env bash
# Cross-builds the Windows program with mingw-w64 as Release (the mingw-release preset, with its tests
# and warnings as errors), checks its zip, and tests it under Wine: core tests, the Windows ports, the
# Win32 front end, one whole scheduled run, the layout at 144 and 192 DPI. With --screenshots it
# also photographs the four windows into docs/ (scripts/screenshots-win32.sh); the tests write
# nothing into the work tree. Everything runs in a temporary Wine prefix, made while the program
# builds, and a private Xvfb, both removed at the end.
#   scripts/test-windows.sh [--screenshots] [BUILD_DIR]   (default build/mingw-release)
# Needs: cmake ninja-build g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 xvfb googletest
#        imagemagick unzip xdotool openbox.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/mingw-release
screenshots=0
for arg in "$@"; do
  case $arg in
    --screenshots) screenshots=1 ;;
    --no-screenshots) screenshots=0 ;;
    *) build=$(realpath -m "$arg") ;;
  esac
done

for tool in cmake ninja x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-objdump wine Xvfb unzip; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done

step() { printf '\n=== %s\n' "$*"; }
seconds() { date +%s; }
begin=$(seconds)

# Everything started from here on is stopped by its own id.
prefix='' wine_tmp=''
. "$root/scripts/lib/private_display.sh"
cleanup() {
  set +e
  if [[ -n $prefix ]]; then
    WINEPREFIX=$prefix wineserver -k 2>/dev/null  # this prefix's own server only
    WINEPREFIX=$prefix wineserver -w 2>/dev/null
    rm -rf "$prefix"
  fi
  [[ -z $wine_tmp ]] || rm -rf "$wine_tmp"
  private_display_stop
}
trap cleanup EXIT

step "private Xvfb"
# Started before the Wine prefix, so no Wine process (wineboot, reg, the desktop they leave running)
# ever runs without a display and the windows the tests make have one to open on.
private_display_start 1280x800x24 wm || exit 1
echo "DISPLAY=$DISPLAY"

step "temporary Wine prefix"
prefix=$(mktemp -d /tmp/tarnwick-wine.XXXXXX)
# Wine keeps its server's folder in TMPDIR (/tmp/wine-XXXXXX otherwise, left behind for good).
wine_tmp=$(mktemp -d /tmp/tarnwick-wine-tmp.XXXXXX)
export TMPDIR=$wine_tmp
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
# Made while the program builds: wineboot mostly waits.
(
  wineboot -i >/dev/null 2>&1
  wineserver -w
  # Wine draws the Windows frame itself, so screenshots show the caption the program sets.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
) &
prefix_maker=$!

step "configure and build ($build)"
(cd "$root" && cmake --preset mingw-release -B "$build" -DTARNWICK_TESTS=ON -DTARNWICK_WERROR=ON >/dev/null)
cmake --build "$build" -j2

step "the zip a user downloads"
rm -f "$build"/TARNWICK-*-windows-x64.zip
(cd "$build" && cpack -G ZIP >/dev/null)
zip_file=$(ls "$build"/TARNWICK-*-windows-x64.zip)
unpacked=$(mktemp -d /tmp/tarnwick-zip.XXXXXX)
unzip -q "$zip_file" -d "$unpacked"
echo "$(basename "$zip_file"):"
(cd "$unpacked" && find . -type f | sort | sed 's/^\.\//  /')
exe=$(find "$unpacked" -name TARNWICK.exe)
[[ -n $exe && -n $(find "$unpacked" -name README.md) ]] || { echo "the zip lacks TARNWICK.exe or README.md" >&2; exit 1; }
# Only DLLs every Windows has: anything else (libstdc++-6.dll, libwinpthread-1.dll, a Qt DLL) would
# have to ship in the zip, and would make the program fail to start on a user's machine without it.
windows_dlls='^(kernel32|user32|gdi32|advapi32|shell32|comctl32|comdlg32|ole32|oleaut32|uxtheme|msvcrt|ws2_32|shlwapi|version)\.dll$'
echo "DLLs TARNWICK.exe imports:"
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
[[ -n $imports ]] || { echo "no import table read from $exe" >&2; exit 1; }
bad=0
for dll in $imports; do
  if grep -qiE "$windows_dlls" <<<"$dll"; then echo "  $dll"; else echo "  $dll  <- does not ship with Windows" >&2; bad=1; fi
done
rm -rf "$unpacked"
((bad == 0)) || exit 1

step "the Wine prefix"
start=$(seconds)
wait "$prefix_maker" || { echo "the Wine prefix could not be made" >&2; exit 1; }
echo "ready $(($(seconds) - start))s after the build"

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
    stop_child "$driver"
    wait "$driver" 2>/dev/null || true
    rm -f "$out"
  done
fi

set_dpi 96

step "done in $(($(seconds) - begin))s: $( ((status == 0)) && echo PASSED || echo FAILED)"
exit "$status"
