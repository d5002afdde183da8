#!/usr/bin/python3
"""Runs seeded host call sequences against the library and reports crashes, hangs and leaks.

Sequence i of a seed is lifetime_fuzz.exe run <seed> <i>, each in its own process under Wine
(the build's prefix, one persistent wineserver for the whole run so that a process starts in
a fraction of a second). The children run with PLENVORT_WINEDEBUG=warn+heap by default: Wine
then fills freed heap blocks and checks them, so that a read of freed memory faults where it
happens and a block freed twice is reported on stderr. Outcomes: ok, crash (a nonzero exit,
no END line, or a heap error on stderr; the last STEP names the action), hang (the time
limit), leak (END leak: DllCanUnloadNow refused with everything released)."""
import argparse
import bisect
import collections
import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE_RUN = os.path.join(ROOT, "scripts", "wine-run")
# What Wine's heap checks print when a block is freed twice or written after its free.
HEAP_ERROR = re.compile(r"^[0-9a-f]*:?(err:heap|warn:heap):.*$", re.M)


def wine_env(build):
    """The environment scripts/wine-run gives its programs (the prefix, made when missing)."""
    out = subprocess.run([WINE_RUN, "--env", build], check=True, capture_output=True, text=True).stdout
    env = dict(os.environ)
    env.update(line.split("=", 1) for line in out.splitlines() if "=" in line)
    return env


class Symbols:
    """Names the library's functions in crash lines ("Plenvort.dll+0x..."), through binutils."""

    def __init__(self, build):
        dll = os.path.join(build, "bin", "Plenvort.dll")
        self.table = []
        try:
            tools = open(os.path.join(build, "plenvort-arch")).read().strip() + "-w64-mingw32-"
            header = subprocess.run([tools + "objdump", "-p", dll], capture_output=True, text=True).stdout
            base = int(re.search(r"ImageBase\s+([0-9a-fA-F]+)", header).group(1), 16)
            names = subprocess.run([tools + "nm", "-C", "--defined-only", dll], capture_output=True, text=True).stdout
            for line in names.splitlines():
                address, kind, name = line.split(" ", 2)
                if kind in "tT":
                    self.table.append((int(address, 16) - base, name.split("(")[0]))
        except (OSError, AttributeError, ValueError):
            self.table = []
        self.table.sort()
        self.offsets = [offset for offset, _ in self.table]

    def annotate(self, text):
        def name(match):
            at = bisect.bisect_right(self.offsets, int(match.group(1), 16)) - 1
            return match.group(0) + ("(%s)" % self.table[at][1] if at >= 0 else "")
        return re.sub(r"Plenvort\.dll\+0x([0-9a-f]+)", name, text)


def run_one(build, seed, index, timeout, debug):
    """(outcome, detail) of one sequence."""
    cmd = [WINE_RUN, build, os.path.join(build, "bin", "lifetime_fuzz.exe"), "run", str(seed), str(index)]
    env = dict(os.environ, PLENVORT_WINEDEBUG=debug)
    for attempt in range(3):
        # Stderr goes to a file: Wine's helper processes inherit it, and a pipe would stay open
        # (and the wait for its end last) until they go.
        with tempfile.TemporaryFile() as errors:
            proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=errors, env=env,
                                    cwd=os.path.join(build, "bin"), start_new_session=True)
            try:
                out, _ = proc.communicate(timeout=timeout)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, 9)
                out, _ = proc.communicate()
                return "hang", last_step(out)
            errors.seek(0)
            err = errors.read()
        # Under load Wine now and then fails to start a process at all: that is tried again.
        if out or proc.returncode == 0:
            break
    text = out.decode("latin-1")
    heap = HEAP_ERROR.search(err.decode("latin-1"))
    lines = text.splitlines()
    crash = next((l for l in lines if l.startswith("CRASH")), "")
    if heap:
        return "crash", "%s [%s]" % (last_step(out), heap.group(0).strip()[:160])
    if proc.returncode != 0 or not lines or not lines[-1].startswith("END"):
        return "crash", "%s [%s]" % (last_step(out), crash or "exit %d" % proc.returncode)
    if lines[-1] == "END leak":
        return "leak", ""
    return ("ok", "") if lines[-1] == "END ok" else ("crash", lines[-1])


def last_step(out):
    steps = [l for l in out.decode("latin-1").splitlines() if l.startswith("STEP ")]
    return steps[-1] if steps else "(before the first step)"


def action_of(detail):
    words = detail.split()
    return words[2] if len(words) > 2 and words[0] == "STEP" else "-"


def place_of(detail):
    """The first of the library's functions a crash line names, or what Wine's heap said."""
    found = re.search(r"Plenvort\.dll\+0x[0-9a-f]+\(([^)]*)\)", detail) or re.search(r"(err:heap|warn:heap):\w+", detail)
    return found.group(1) if found else "?"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="the build folder (holds bin/lifetime_fuzz.exe)")
    parser.add_argument("--count", type=int, default=1000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 4)
    parser.add_argument("--timeout", type=float, default=60.0, help="seconds one sequence may take")
    parser.add_argument("--debug", default=os.environ.get("PLENVORT_WINEDEBUG", "warn+heap"),
                        help="the children's WINEDEBUG (default warn+heap)")
    parser.add_argument("--replay", metavar="SEED:INDEX", help="runs one sequence in the foreground, step by step")
    parser.add_argument("--leave-server", action="store_true",
                        help="do not stop the wineserver at the end (others share the prefix; it ends 30 s after its last client)")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    exe = os.path.join(build, "bin", "lifetime_fuzz.exe")

    if args.replay:
        seed, index = args.replay.split(":")
        env = dict(os.environ, PLENVORT_WINEDEBUG=args.debug)
        sys.exit(subprocess.call([WINE_RUN, build, exe, "replay", seed, index], env=env, cwd=os.path.join(build, "bin")))

    symbols = Symbols(build)
    env = wine_env(build)
    # One server for all the children; it must not hold the caller's output open once it lingers.
    subprocess.call([env["WINESERVER"], "-p30"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL)
    started = time.time()
    results = {}
    try:
        with concurrent.futures.ThreadPoolExecutor(max(1, args.jobs)) as pool:
            futures = {pool.submit(run_one, build, args.seed, i, args.timeout, args.debug): i for i in range(args.count)}
            for future in concurrent.futures.as_completed(futures):
                outcome, detail = future.result()
                results[futures[future]] = (outcome, symbols.annotate(detail))
    finally:
        if not args.leave_server:
            subprocess.call([env["WINESERVER"], "-k"], env=env, stderr=subprocess.DEVNULL)

    counts = collections.Counter(outcome for outcome, _ in results.values())
    failures = sorted(i for i, (outcome, _) in results.items() if outcome != "ok")
    for i in failures:
        outcome, detail = results[i]
        print("%-5s %d:%-5d %s  (replay: scripts/lifetime-fuzz --replay %d:%d)" % (outcome, args.seed, i, detail, args.seed, i))
    for outcome in ("crash", "hang"):
        by_action = collections.Counter(action_of(d) for o, d in results.values() if o == outcome)
        if by_action:
            print("%s by last action: %s" % (outcome, ", ".join("%s %d" % kv for kv in by_action.most_common())))
    by_place = collections.Counter(place_of(d) for o, d in results.values() if o == "crash")
    if by_place:
        print("crash by place: %s" % ", ".join("%s %d" % kv for kv in by_place.most_common()))
    print("lifetime: %d sequences, %d crashes, %d hangs, %d leaks (seed %d, %.0f s)" % (
        len(results), counts["crash"], counts["hang"], counts["leak"], args.seed, time.time() - started))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
