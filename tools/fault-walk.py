#!/usr/bin/env python3
"""Walks the operating system's own fault injection over the real converter.

Runs build/tools/quorvex-convert under strace (-e inject=SYSCALL:error=E:when=N)
on the bundled sample, once for every call it makes and every error that
call may meet, and then with two faults in one run: every call of the
commit (links, renames, syncs, removals, mode and owner, opens and closes
from the output's first sync on) failing, together with each call that the
run makes after it. Scenarios: one conversion over an old output and a
batch (-d OUT -j 2, three drawings, one of them over an old output), a
DXF conversion over an old DXF and its old folder of images and a PDF
conversion over an old PDF (the PDF module loaded, Qt started and its
fonts found within the run), each with unnamed and with named temporary
outputs (QUORVEX_TEST_NAMED_TEMP).

After every run it checks what a user relies on: each output holds the
file that stood there before (or nothing, for a new one) or the complete
new drawing, byte for byte that of a clean run, as the run's messages say
(a DXF's folder of images the same, file by file, with its DXF);
nothing is left beside the outputs or in the scratch place; the exit
status is one of the converter's for what failed, and a failure names the
file and the error that was injected; a run that met only interruptions
(EINTR) succeeds. A PDF is the clean run's but for the time it was made. Prints every run that broke one of these, with the strace
options that repeat it, and the counts; exits 1 when any run failed.

    tools/fault-walk.py [--jobs N] [--only single|batch|dxf|pdf] [--mode unnamed|named]
                        [--no-pairs] [--convert PATH] [--sample PATH]

strace counts a syscall's invocations per thread: in a batch, when=N fails
the Nth such call of every thread that makes that many. Needs strace
(Debian package strace) and Python 3.
"""

import argparse
import collections
import concurrent.futures
import errno
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# The errors each call is made to fail with. Not walked: calls whose failure
# no program can meet (futex, signal masks, the thread's own set-up,
# mprotect, getpid, geteuid), fcntl and lseek on descriptors the program
# opened itself (which fail only for a bad descriptor), and brk, which the
# kernel never fails (it returns the old break, and the C library takes an
# injected -1 for a break: any allocation then crashes). Nor are the calls
# the dynamic loader and the C library make before the program's own code
# runs (no frame of the converter on their stack in a clean run).
ERRORS = {
    "openat": ["EIO", "ENOSPC", "EMFILE", "EACCES", "EINTR"],
    "read": ["EIO", "EINTR"],
    "pread64": ["EIO", "EINTR"],
    "write": ["ENOSPC", "EIO", "EDQUOT", "EINTR"],
    "pwrite64": ["ENOSPC", "EIO", "EDQUOT", "EINTR"],
    "fsync": ["EIO", "ENOSPC", "EINTR"],
    "fdatasync": ["EIO", "ENOSPC", "EINTR"],
    "linkat": ["EPERM", "ENOSPC", "EIO", "EMLINK"],
    "renameat": ["EIO", "ENOSPC", "EPERM"],
    "renameat2": ["EIO", "ENOSPC", "EPERM"],
    "unlinkat": ["EIO", "EPERM", "EBUSY"],
    "mkdirat": ["ENOSPC", "EIO", "EDQUOT"],
    "fchmod": ["EPERM", "EIO"],
    "fchown": ["EPERM", "EIO"],
    "close": ["EIO", "EINTR"],
    "newfstatat": ["EIO", "ENOMEM"],
    "fstat": ["EIO", "ENOMEM"],
    "statx": ["EIO", "ENOMEM"],
    "getdents64": ["EIO"],
    "flock": ["EINTR", "ENOLCK"],
    "mmap": ["ENOMEM"],
    "munmap": ["ENOMEM"],
    "mremap": ["ENOMEM"],
    "madvise": ["ENOMEM"],
    "clone": ["EAGAIN"],
    "clone3": ["EAGAIN"],
    "getrandom": ["EAGAIN", "ENOSYS"],
    "fadvise64": ["EIO"],
    "sched_getaffinity": ["EINVAL"],
}

# The calls of a commit, for the walk of pairs.
COMMIT_CALLS = ["openat", "close", "fsync", "fdatasync", "linkat", "renameat", "renameat2", "unlinkat",
                "fchmod", "fchown", "newfstatat", "flock"]
# The error a pair's first call fails with (a link refused as on a file
# system without hard links), and the second's.
PAIR_FIRST = {"linkat": "EPERM", "fchown": "EPERM"}
PAIR_SECOND = "EIO"

OLD = b"OLD drawing that must not be lost\n"
# The C library's Shift-JIS converter could not be loaded (its module
# files failed to open or read however often it was asked): the C library
# says only EINVAL, never the error behind it, so the message cannot name
# the injected one.
CONVERTER_UNLOADED = re.compile(r"Shift-JIS converter \(iconv, CP932\) cannot be loaded: ")
# An old DXF's folder of images, under the names the converter gives.
OLD_FOLDER = {"image-1.png": b"OLD image that must not be lost\n"}
# What differs between two PDFs of one drawing: the time each was made.
PDF_MADE = re.compile(rb"/CreationDate \(D:[0-9Z+'-]*\)")
CALL_LINE = re.compile(r"^(\d+)\s+(?:<\.\.\. )?([a-z0-9_]+)(\(| resumed>)")


class Scenario:
    """One command line over a fresh folder: its inputs, outputs and old files."""

    def __init__(self, name, named, sample):
        self.name, self.named, self.sample = name, named, sample
        # A DXF's folder of images, by the DXF it belongs to.
        self.folders = {}
        if name == "single":
            self.inputs = ["in/drawing.jww"]
            self.outputs = {"out/o.jww": "in/drawing.jww"}
            self.old = {"out/o.jww"}
        elif name == "dxf":
            self.inputs = ["in/drawing.jww"]
            self.outputs = {"out/o.dxf": "in/drawing.jww"}
            self.old = {"out/o.dxf"}
            self.folders = {"out/o-images": "out/o.dxf"}
        elif name == "pdf":
            self.inputs = ["in/drawing.jww"]
            self.outputs = {"out/o.pdf": "in/drawing.jww"}
            self.old = {"out/o.pdf"}
        else:
            self.inputs = ["in/a.jww", "in/b.jww", "in/c.jww"]
            self.outputs = {"out/a.jww": "in/a.jww", "out/b.jww": "in/b.jww", "out/c.jww": "in/c.jww"}
            self.old = {"out/b.jww"}

    def label(self):
        return f"{self.name} ({'named' if self.named else 'unnamed'} temporary)"

    def args(self):
        if self.name in ("single", "dxf", "pdf"):
            return ["in/drawing.jww", next(iter(self.outputs))]
        return ["-d", "out", "-j", "2"] + self.inputs

    def prepare(self, work):
        shutil.rmtree(work, ignore_errors=True)
        for sub in ("in", "out", "scratch"):
            os.makedirs(os.path.join(work, sub))
        for i in self.inputs:
            shutil.copyfile(self.sample, os.path.join(work, i))
        for o in self.old:
            with open(os.path.join(work, o), "wb") as f:
                f.write(OLD)
        for folder in self.folders:
            os.makedirs(os.path.join(work, folder))
            for n, data in OLD_FOLDER.items():
                with open(os.path.join(work, folder, n), "wb") as f:
                    f.write(data)

    def env(self, work):
        env = {k: v for k, v in os.environ.items() if k not in ("XDG_RUNTIME_DIR", "QUORVEX_TEST_NAMED_TEMP")}
        env["TMPDIR"] = os.path.join(work, "scratch")
        env["LC_ALL"] = "C"
        if self.named:
            env["QUORVEX_TEST_NAMED_TEMP"] = "1"
        return env


class Run:
    def __init__(self, code, out, err, log, files, leftovers):
        self.code, self.out, self.err, self.log, self.files, self.leftovers = code, out, err, log, files, leftovers

    def injected(self):
        """The errors strace injected, one for each call it failed."""
        return re.findall(r"= -1 (E[A-Z0-9]+) \(.*\) \(INJECTED\)", self.log)


def run(convert, scenario, work, injections, trace, stacks=False):
    """Runs the converter in `work` under strace with these injections
    [(syscall, when, error)], tracing the calls named (with their stacks);
    what it did and left."""
    scenario.prepare(work)
    log = os.path.join(work, "strace.log")
    cmd = ["strace", "-f", "-qq", "-o", log, "-e", "trace=" + ",".join(trace)] + (["-k"] if stacks else [])
    for syscall, when, error in injections:
        cmd += ["-e", f"inject={syscall}:error={error}:when={when}"]
    cmd += [convert] + scenario.args()
    for _ in range(3):
        p = subprocess.run(cmd, cwd=work, env=scenario.env(work), capture_output=True, timeout=120)
        # strace itself stumbled now and then ("Unexpected wait status"):
        # the run is made again.
        if not re.search(rb"^strace: ", p.stderr, re.M):
            break
        scenario.prepare(work)
    with open(log, errors="replace") as f:
        text = f.read()
    os.unlink(log)
    files = {}
    for o in scenario.outputs:
        path = os.path.join(work, o)
        files[o] = open(path, "rb").read() if os.path.lexists(path) else None
        if files[o] is not None and o.endswith(".pdf"):
            files[o] = PDF_MADE.sub(b"/CreationDate ()", files[o])
    for folder in scenario.folders:
        path = os.path.join(work, folder)
        files[folder] = ({n: open(os.path.join(path, n), "rb").read() for n in sorted(os.listdir(path))}
                         if os.path.isdir(path) else None)
    leftovers = sorted(os.path.join("out", n) for n in os.listdir(os.path.join(work, "out"))
                       if os.path.join("out", n) not in scenario.outputs
                       and os.path.join("out", n) not in scenario.folders)
    for dirpath, dirnames, filenames in os.walk(os.path.join(work, "scratch")):
        leftovers += [os.path.relpath(os.path.join(dirpath, n), work) for n in dirnames + filenames]
    code = p.returncode if p.returncode >= 0 else 128 - p.returncode
    return Run(code, p.stdout.decode(errors="replace"), p.stderr.decode(errors="replace"), text, files, leftovers)


def calls_per_thread(log, names):
    """For each syscall, its calls in each thread, in order: {name: {pid: n}};
    and the calls in order as (pid, name, number within its thread)."""
    counts = collections.defaultdict(lambda: collections.Counter())
    order = []
    for line in log.splitlines():
        m = CALL_LINE.match(line)
        if not m or m.group(3) != "(" or m.group(2) not in names:
            continue
        pid, name = m.group(1), m.group(2)
        counts[name][pid] += 1
        order.append((pid, name, counts[name][pid], "(INJECTED)" in line))
    return counts, order


def loader_calls(log, names, program):
    """The calls (name, number) of the first thread that the loader and the
    C library make before the program's own code, from a log with stacks
    (strace -k): no frame of the program on their stack."""
    counts = collections.Counter()
    before = set()
    current = None
    first_pid = None
    for line in log.splitlines():
        if line.startswith(" > "):
            if current and program in line:
                before.discard(current)
            continue
        current = None
        m = CALL_LINE.match(line)
        if not m or m.group(3) != "(" or m.group(2) not in names:
            continue
        first_pid = first_pid or m.group(1)
        if m.group(1) != first_pid:
            continue
        counts[m.group(2)] += 1
        current = (m.group(2), counts[m.group(2)])
        before.add(current)
    return before


def check(scenario, expected, r):
    """What is wrong with a run: a list of problems, empty when none."""
    problems = []
    injected = r.injected()
    err_lines = [l for l in r.err.splitlines() if l]
    # What the converter says of the standard output it could not write to.
    stdout_lines = [l for l in err_lines if l.startswith("quorvex-convert: standard output: cannot be written: ")]
    err_lines = [l for l in err_lines if l not in stdout_lines]
    batch = scenario.name == "batch"
    allowed = {0, 1, 5, 7} if not batch else {0, 6}
    if r.code not in allowed:
        problems.append(f"exit status {r.code} (not one of {sorted(allowed)})")
    if injected and all(e == "EINTR" for e in injected) and r.code != 0:
        problems.append("a run that met only interruptions failed")
    if r.code == 0 and err_lines:
        problems.append("success with messages on the error output")
    # The error output itself refused a line: what it would have said is lost.
    deaf = re.search(r"^\d+\s+write\(2, .*\(INJECTED\)$", r.log, re.M) is not None
    if r.code != 0 and not err_lines and not deaf:
        problems.append("a failure without a message")
    for line in err_lines:
        if not line.startswith("quorvex-convert: "):
            problems.append(f"message not of the converter's form: {line!r}")
        elif injected and not any(os.strerror(getattr(errno, e)) in line or
                                  (e == "ENOMEM" and "out of memory" in line) for e in set(injected)) \
                and not CONVERTER_UNLOADED.search(line):
            problems.append(f"message names no injected error ({', '.join(sorted(set(injected)))}): {line!r}")
    for o, data in r.files.items():
        if o in scenario.folders:
            continue
        src = scenario.outputs[o]
        said_done = any(l.startswith(f"{src} -> {o}: ") for l in r.out.splitlines())
        said_failed = any(l.startswith(f"quorvex-convert: {o}: ") or l.startswith(f"quorvex-convert: {src}: ")
                          for l in err_lines)
        said_placed = any(l.startswith(f"quorvex-convert: {o}: written, but its folder could not be synced")
                          for l in err_lines)
        before = OLD if o in scenario.old else None
        if stdout_lines and not said_failed:
            said_done = True  # its line was lost, and the run says so
        if deaf and not said_done:
            said_failed = True  # its message may be the one lost
        if said_done == said_failed:
            problems.append(f"{o}: the run says {'both done and failed' if said_done else 'nothing'}")
        # A DXF's folder of images goes with it.
        checked = [(o, data, expected[o], before)]
        checked += [(f, r.files[f], expected[f], OLD_FOLDER) for f, dxf in scenario.folders.items() if dxf == o]
        for name, got, new, old in checked:
            if said_done or said_placed:
                if got != new:
                    problems.append(f"{name}: said {'done' if said_done else 'written'} but holds "
                                    f"{'nothing' if got is None else 'the old one' if got == old else 'other bytes'}")
            elif said_failed and got != old:
                problems.append(f"{name}: said failed but holds "
                                f"{'nothing' if got is None else 'the new one' if got == new else 'other bytes'}"
                                f" instead of {'nothing' if old is None else 'the old one'}")
    if r.code == 0 and not r.out and not stdout_lines:
        problems.append("success without its line, and without a word that it was lost")
    problems += [f"left: {x}" for x in r.leftovers]
    return problems


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--jobs", type=int, default=1, help="runs at a time (default 1)")
    ap.add_argument("--only", choices=["single", "batch", "dxf", "pdf"], help="one scenario")
    ap.add_argument("--mode", choices=["unnamed", "named"], help="one kind of temporary output")
    ap.add_argument("--no-pairs", action="store_true", help="single faults only")
    ap.add_argument("--convert", default=os.path.join(ROOT, "build/tools/quorvex-convert"))
    ap.add_argument("--sample", default=os.path.join(ROOT, "samples/sample.jww"))
    args = ap.parse_args()
    if not shutil.which("strace"):
        sys.exit("fault-walk.py: needs strace (scripts/install-missing.sh strace)")
    if not os.access(args.convert, os.X_OK):
        sys.exit(f"fault-walk.py: no converter at {args.convert} (build first: scripts/build.sh)")
    convert = os.path.abspath(args.convert)
    sample = os.path.abspath(args.sample)
    base = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None  # syncs cost nothing there
    top = tempfile.mkdtemp(prefix="quorvex-fault-walk-", dir=base)
    slots = collections.deque(os.path.join(top, f"w{i}") for i in range(args.jobs))
    probe = os.path.join(top, "probe")  # the runs that find the calls to walk
    started = time.monotonic()
    totals = collections.Counter()
    failures = []

    try:
        walk(args, convert, sample, top, slots, probe, totals, failures, started)
    finally:
        shutil.rmtree(top, ignore_errors=True)

    print()
    for k in sorted(totals):
        print(f"{totals[k]:7d}  {k}")
    print(f"{len(failures):7d}  runs that failed a check")
    print(f"{time.monotonic() - started:7.0f}  seconds")
    return 1 if failures else 0


def walk(args, convert, sample, top, slots, probe, totals, failures, started):
    """The walk itself: every scenario, its single faults and its pairs."""

    def one(scenario, expected, injections, trace):
        work = slots.popleft()
        try:
            r = run(convert, scenario, work, injections, trace)
        finally:
            slots.append(work)
        return injections, r, check(scenario, expected, r)

    def report(scenario, injections, r, problems, kind):
        totals[kind + " runs"] += 1
        if not r.injected():
            totals[kind + " runs that met no fault"] += 1
        if problems:
            flags = " ".join(f"-e inject={s}:error={e}:when={w}" for s, w, e in injections)
            failures.append((scenario.label(), flags, r.code, problems, r.err.strip()))
            print(f"FAILED  {scenario.label()}: {flags}: exit {r.code}: " + "; ".join(problems), flush=True)

    scenarios = [Scenario(n, named, sample) for n in ("single", "batch", "dxf", "pdf") for named in (False, True)
                 if (not args.only or n == args.only) and
                 (not args.mode or named == (args.mode == "named"))]
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        for sc in scenarios:
            # A clean run: the complete outputs, and the calls to walk.
            clean = run(convert, sc, probe, [], list(ERRORS), stacks=True)
            expected = dict(clean.files)
            if clean.code != 0 or clean.leftovers or any(v is None for v in expected.values()):
                sys.exit(f"fault-walk.py: the clean run of {sc.label()} failed: {clean.err}")
            counts, _ = calls_per_thread(clean.log, ERRORS)
            loader = loader_calls(clean.log, ERRORS, convert)
            totals["calls of the loader, not walked"] += len(loader)
            jobs = []
            for name, per_thread in sorted(counts.items()):
                most = max(per_thread.values())
                totals["calls walked"] += sum(per_thread.values()) - sum(1 for c in loader if c[0] == name)
                for n in range(1, most + 1):
                    if (name, n) in loader:
                        continue
                    for e in ERRORS[name]:
                        jobs.append(pool.submit(one, sc, expected, [(name, n, e)], [name]))
            for j in jobs:
                injections, r, problems = j.result()
                report(sc, injections, r, problems, "single-fault")
            print(f"{sc.label()}: {len(jobs)} single-fault runs, {len(failures)} failed so far"
                  f" ({time.monotonic() - started:.0f} s)", flush=True)

            if args.no_pairs:
                continue
            # Pairs: each call of the commit fails, and with it each call the
            # run then makes (as that run makes them, the way back included).
            _, order = calls_per_thread(clean.log, COMMIT_CALLS)
            first_sync = next(i for i, c in enumerate(order) if c[1] in ("fsync", "fdatasync", "fchmod", "fchown"))
            firsts = [(name, n) for _, name, n, _ in order[first_sync:]]
            pair_jobs = []
            for name, n in firsts:
                if (name, n) in loader:
                    continue  # the loader's call in the first thread, of the same number
                e1 = PAIR_FIRST.get(name, "EIO")
                alone = run(convert, sc, probe, [(name, n, e1)], COMMIT_CALLS)
                _, after = calls_per_thread(alone.log, COMMIT_CALLS)
                hit = next((i for i, c in enumerate(after) if c[3]), None)
                if hit is None:
                    continue
                totals["first faults of pairs"] += 1
                for _, name2, n2, _ in after[hit + 1:]:
                    if (name2, n2) in loader:
                        continue  # the loader's call in the first thread, of the same number
                    if name2 == name:
                        if n2 == n:
                            continue  # the same call of another thread: failed already (per thread)
                        lo, hi = sorted((n, n2))
                        injections = [(name, f"{lo}..{hi}+{hi - lo}", e1)]
                    else:
                        injections = [(name, n, e1), (name2, n2, PAIR_SECOND)]
                    pair_jobs.append(pool.submit(one, sc, expected, injections, COMMIT_CALLS))
            for j in pair_jobs:
                injections, r, problems = j.result()
                report(sc, injections, r, problems, "pair")
                if len(r.injected()) >= 2:
                    totals["pairs walked"] += 1
            print(f"{sc.label()}: {len(pair_jobs)} runs with a pair of faults, {len(failures)} failed so far"
                  f" ({time.monotonic() - started:.0f} s)", flush=True)


if __name__ == "__main__":
    sys.exit(main())
