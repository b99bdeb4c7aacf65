# The mutant runner behind scripts/mutants.sh. Each row of scripts/mutants.tsv (tab-separated: id,
# file, the exact text replaced, its replacement, the tests, the fault it plays) must match its file
# exactly once. Tests are gtest programs of the dev build ("core_tests", or "process_tests:Filter*")
# or "ctest:REGEX" for the script tests, which need the real program rebuilt.
import filecmp, os, shutil, subprocess, sys, tempfile, time

here = sys.argv[1]
only = sys.argv[2:]
rows = []
with open(os.path.join(here, "scripts", "mutants.tsv"), encoding="utf-8") as table:
    for number, line in enumerate(table, 1):
        line = line.rstrip("\n")
        if not line.strip() or line.startswith("#"):
            continue
        fields = line.split("\t")
        if len(fields) != 6:
            sys.exit(f"mutants.tsv:{number}: {len(fields)} fields, not 6")
        rows.append(dict(zip(("id", "file", "find", "replace", "tests", "fault"), fields), line=number))
if only:
    rows = [r for r in rows if any(o in r["id"] for o in only)]
ids = [r["id"] for r in rows]
if len(ids) != len(set(ids)):
    sys.exit("mutants.tsv: an id is used twice")

# TARNWICK_MUTANTS_KEEP=DIR keeps the private copy and its build in DIR between runs, so a run over
# a few rows after an edit rebuilds only what changed instead of the whole tree.
keep = os.environ.get("TARNWICK_MUTANTS_KEEP")
work = os.path.abspath(keep) if keep else tempfile.mkdtemp(prefix="tarnwick-mutants.")
tree = os.path.join(work, "tree")
build = os.path.join(tree, "build", "dev")
quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def sync(source, target):
    """Copies into target each file whose content differs, stamped now: a kept build then rebuilds
    exactly what changed (a file a past row mutated and restored included), and nothing else."""
    for root, dirs, files in os.walk(source):
        dirs[:] = [d for d in dirs if d != ".git" and d != "build" and not d.startswith("build-")]
        into = os.path.join(target, os.path.relpath(root, source))
        os.makedirs(into, exist_ok=True)
        for name in files:
            src, dst = os.path.join(root, name), os.path.join(into, name)
            if os.path.islink(src):
                if not os.path.lexists(dst):
                    os.symlink(os.readlink(src), dst)
            elif not os.path.exists(dst) or not filecmp.cmp(src, dst, shallow=False):
                shutil.copyfile(src, dst)
                shutil.copymode(src, dst)


def run(cmd, timeout=900, **kw):
    try:
        return subprocess.run(cmd, cwd=tree, timeout=timeout, **kw)
    except subprocess.TimeoutExpired:
        return subprocess.CompletedProcess(cmd, 124)


try:
    sync(here, tree)
    begun = time.time()
    print("mutants: building the private copy", flush=True)
    # No debug information and lld: a mutant's rebuild is mostly one compile and one link, and
    # both are several times faster so. What the tests see is the same.
    fast = ["-DCMAKE_CXX_FLAGS_DEBUG=-g0", "-DCMAKE_C_FLAGS_DEBUG=-g0", "-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld",
            "-DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld"]
    if run(["cmake", "--preset", "dev"] + fast, **quiet).returncode != 0 or \
       run(["nice", "cmake", "--build", "--preset", "dev", "-j2"], timeout=3600, **quiet).returncode != 0:
        sys.exit("mutants: the unmutated tree does not build")
    caught = 0
    broken = []
    survived = []
    for r in rows:
        path = os.path.join(tree, r["file"])
        with open(path, encoding="utf-8") as f:
            original = f.read()
        find = r["find"].replace("\\n", "\n")
        replace = r["replace"].replace("\\n", "\n")
        if original.count(find) != 1:
            print(f"{r['id']}: DEFECT: the text matches {original.count(find)} times in {r['file']}", flush=True)
            broken.append(r["id"])
            continue
        tests = r["tests"].split()
        targets = sorted({t.split(":")[0] for t in tests if not t.startswith("ctest:")} |
                         ({"TARNWICK"} if any(t.startswith("ctest:") for t in tests) else set()))
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original.replace(find, replace))
            built = run(["nice", "cmake", "--build", build, "-j2"] + [a for t in targets for a in ("--target", t)],
                        capture_output=True, encoding="utf-8", errors="replace")
            if built.returncode != 0:
                errors = [l for l in (built.stdout + built.stderr).splitlines() if "error:" in l]
                print(f"{r['id']}: DOES NOT BUILD ({r['fault']})" + (f": {errors[0].strip()}" if errors else ""),
                      flush=True)
                broken.append(r["id"])
                continue
            by = []
            for t in tests:
                if t.startswith("ctest:"):
                    done = run(["ctest", "--test-dir", build, "-R", t[6:], "--timeout", "300"], **quiet)
                else:
                    program, _, pattern = t.partition(":")
                    cmd = [os.path.join(build, "bin", program), "--gtest_brief=1"]
                    if pattern:
                        cmd.append("--gtest_filter=" + pattern)
                    # A test program takes seconds; one that hangs under a mutant is a test to bound.
                    done = run(cmd, timeout=180, capture_output=True, encoding="utf-8", errors="replace")
                if done.returncode != 0:
                    names = []
                    if not t.startswith("ctest:") and done.stdout:
                        for l in done.stdout.splitlines():
                            words = l[len("[  FAILED  ] "):].split() if l.startswith("[  FAILED  ] ") else []
                            if words and "." in words[0] and words[0] not in names:
                                names.append(words[0])
                    by.append(t + (" (" + ", ".join(names) + ")" if names else ""))
            if by:
                caught += 1
                print(f"{r['id']}: caught by {'; '.join(by)}", flush=True)
            else:
                survived.append(r["id"])
                print(f"{r['id']}: SURVIVED: {r['fault']}", flush=True)
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)
    # The tree is built back to its unmutated state only as far as the next row needs it.
    minutes = (time.time() - begun) / 60
    print(f"\n{caught} of {len(rows)} caught ({minutes:.0f} min)")
    if survived:
        print("survived: " + ", ".join(survived))
    if broken:
        print("defects of the list (no match, or no build): " + ", ".join(broken))
    sys.exit(0 if caught == len(rows) else 1)
finally:
    if not keep:
        shutil.rmtree(work, ignore_errors=True)
