#!/usr/bin/env bash
# The Debian package as a user gets it: built by cpack from the release preset; its dependencies
# resolved by apt on this machine's Debian 12 (simulated: nothing is installed system-wide); unpacked
# with dpkg-deb into a temporary folder, its program started from there on a private X display until
# its window shows; its description in Debian's format; its nightly scheduler examples checked as
# files and by systemd-analyze verify.
#   test-deb.sh [BUILD_DIR]  (default build/release; as root for apt-get --simulate, as CI runs;
#                             needs Xvfb, xdotool, systemd, dpkg-dev)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/lib/children.sh"  # before the exit trap, which uses it
build=${1:-$here/build/release}
# The release preset as a packager builds it; only what the package holds is built here, not the
# stand-ins or the benchmarks (cpack would otherwise build everything first).
(cd "$here" && cmake --preset release -B "$build" -DTARNWICK_BENCH=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null)
nice cmake --build "$build" -j2 --target TARNWICK
rm -f "$build"/tarnwick_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/tarnwick_*_"$(dpkg --print-architecture)".deb)
echo "test-deb: $(basename "$deb")"

work=$(mktemp -d /tmp/tarnwick-deb.XXXXXX)
app='' xvfb=''
cleanup() {
  stop_child "$app"
  stop_child "$xvfb"
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "test-deb: FAIL: $*" >&2; exit 1; }

# ---- what it holds ----------------------------------------------------------------------------
root=$work/root
dpkg-deb -x "$deb" "$root"
for f in usr/bin/TARNWICK usr/share/applications/tarnwick.desktop \
         usr/share/icons/hicolor/256x256/apps/tarnwick.png usr/share/icons/hicolor/48x48/apps/tarnwick.png \
         usr/share/doc/tarnwick/README.md usr/share/doc/tarnwick/copyright \
         usr/share/doc/tarnwick/examples/tarnwick-night.service usr/share/doc/tarnwick/examples/tarnwick-night.timer \
         usr/share/doc/tarnwick/examples/tarnwick-headless.service usr/share/doc/tarnwick/examples/tarnwick-headless.timer; do
  [ -s "$root/$f" ] || fail "/$f is not in the package"
done
[ -x "$root/usr/bin/TARNWICK" ] || fail "/usr/bin/TARNWICK is not executable"

# ---- how package tools show it -----------------------------------------------------------------
# Debian's format: the synopsis, then the long description that does not repeat it, each line one
# space in (two or more are shown verbatim, unwrapped), " ." for a blank line.
description=$(dpkg-deb -f "$deb" Description)
synopsis=$(head -n1 <<<"$description")
long=$(tail -n +2 <<<"$description")
[ -n "$long" ] || fail "the package has no long description"
bad=$(grep -v -E '^ [^ ]' <<<"$long" || true)
[ -z "$bad" ] || fail "long description lines not in Debian's format: $bad"
opening=${long%%$'\n'*}
opening=${opening# }
case "${synopsis,,}" in "${opening,,}"*) fail "the long description opens with the synopsis: $opening" ;; esac
case "${opening,,}" in "${synopsis,,}"*) fail "the long description opens with the synopsis: $opening" ;; esac

# ---- what it depends on -----------------------------------------------------------------------
depends=$(dpkg-deb -f "$deb" Depends)
echo "test-deb: Depends: $depends"
depends_names=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
# Every library the program loads must come from a package the .deb names, or installing it on a
# clean machine leaves the program unable to start.
for lib in $(objdump -p "$root/usr/bin/TARNWICK" | awk '$1 == "NEEDED" {print $2}'); do
  path=$(ldconfig -p | awk -v l="$lib" '$1 == l && /x86-64/ && !found {print $NF; found = 1}')
  [ -n "$path" ] || fail "$lib is not on this machine"
  owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | head -n1 | cut -d: -f1) || true
  [ -n "$owner" ] || owner=$(dpkg -S "$path" | head -n1 | cut -d: -f1)
  grep -qxF "$owner" <<<"$depends_names" ||
    fail "$lib comes from $owner, which Depends does not name"
done
# apt resolves those names against Debian 12's archive; --simulate changes nothing.
apt-get install --simulate "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt-get could not resolve the package"; }
grep -q '^Inst tarnwick ' "$work/apt.log" || { cat "$work/apt.log" >&2; fail "apt-get would not install tarnwick"; }

# ---- the unpacked program opens its window ----------------------------------------------------
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state-home XDG_RUNTIME_DIR=$work/runtime
mkdir -p -m 700 "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM LD_LIBRARY_PATH
. "$here/scripts/lib/private_display.sh"
private_display_start 1280x800x24 || fail "Xvfb did not start"
xvfb=$private_xvfb_pid
"$root/usr/bin/TARNWICK" >"$work/program.log" 2>&1 &
app=$!
window=''
for _ in $(seq 200); do
  child_running "$app" || { cat "$work/program.log" >&2; fail "the program ended before its window showed"; }
  window=$(xdotool search --onlyvisible --name '^TARNWICK - TARNWICK$' 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { cat "$work/program.log" >&2; fail "no window \"TARNWICK - TARNWICK\" within 20 s"; }
[ "$(xdotool getwindowpid "$window")" = "$app" ] || fail "the window is not the unpacked program's"
echo "test-deb: the unpacked program's window shows"
stop_child "$app"
wait "$app" 2>/dev/null || true
app=''

# ---- the nightly examples are valid user units that leave the run's programs running ------------
bash "$here/tests/packaging/systemd_units_test.sh" "$root/usr/share/doc/tarnwick/examples" "$root/usr/bin/TARNWICK" \
  >"$work/units.log" 2>&1 || { cat "$work/units.log" >&2; fail "the shipped systemd units"; }
echo "test-deb: the shipped systemd units verify and keep the run's programs"
echo "test-deb: passed"
