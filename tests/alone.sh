# Sourced first by the tests that drive the real program against the real stand-ins. Process names
# count on the whole machine, so a stand-in that anything else runs under the same name (another
# test, another checkout's suite) would rightly count for this test's run. Where the system allows
# it (as root), the test starts again in a private pid namespace with its own /proc: it sees only
# the processes it started, and whatever it leaves behind ends with it.
if [ -z "${TARNWICK_ALONE:-}" ] && unshare --pid --fork --mount-proc true 2>/dev/null; then
  export TARNWICK_ALONE=1
  exec unshare --pid --fork --mount-proc bash "$0" "$@"
fi
