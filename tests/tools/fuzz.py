#!/usr/bin/python3
"""Opens damaged copies of saved process documents in child processes and reports crashes,
hangs, leaks and files that do not survive a save and a reopen.

The seeds are written through COM by fuzz_open.exe (one of them holds every element kind the
element stream stores, with references between them); the mutants are byte-level (bit flips,
random bytes, cuts) and structure-aware (through olefile: the header's counts and versions,
allocation-table and directory entries, and counts, lengths, class ids, version words and
object numbers inside every stream, and the references inside element blocks, pointed at an
element of another kind, the element itself, an ancestor, or at no element). Every child takes a list of files and reports on each;
a crash or a hang ends that child, the file is recorded, and a new child takes the rest.
Failing files are kept in <build>/fuzz-failures for replay (--replay FILE...)."""
import argparse
import os
import random
import select
import shutil
import struct
import subprocess
import sys
import threading
import time

import olefile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
END, FREE, FATSECT, DIFSECT = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFD, 0xFFFFFFFC
ELEMENT_VERSION = struct.pack("<i", 27)  # the first field of every element block
NO_ELEMENT = -200000
FAILURES = ("crash", "hang", "leak", "differ", "save-failed", "reopen-failed", "no-document")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


def put32(data, at, value):
    struct.pack_into("<I", data, at, value & 0xFFFFFFFF)


def put16(data, at, value):
    struct.pack_into("<H", data, at, value & 0xFFFF)


def interesting32(rng, near=0):
    return rng.choice([0, 1, 2, 0xFF, 0xFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFFE,
                       near + 1, near - 1, near * 2 + 1, near + 4096, rng.randrange(1 << 32),
                       rng.randrange(64)]) & 0xFFFFFFFF


class Layout:
    """Where a seed's structures lie in its bytes, read with olefile."""

    def __init__(self, data):
        ole = olefile.OleFileIO(bytes(data))
        ole.loadminifat()
        self.size = len(data)
        self.sector = ole.sectorsize
        self.fat = list(ole.fat)
        self.minifat = list(ole.minifat)
        self.entries = []  # (id, name, file offset of the entry, start, size, kind)
        self.dir_chain = self.chain(u32(data, 48))
        per = self.sector // 128
        for entry in ole.direntries:
            if entry is None:
                continue
            at = self.offset(self.dir_chain[entry.sid // per]) + 128 * (entry.sid % per)
            self.entries.append((entry.sid, entry.name, at, entry.isectStart, entry.size, entry.entry_type))
        self.root_start = ole.root.isectStart
        self.streams = {}  # name -> file offsets of its bytes, in order
        container = self.chain(self.root_start)
        for sid, name, at, start, size, kind in self.entries:
            if kind != olefile.STGTY_STREAM:
                continue
            offsets = []
            if size < 4096:
                m = start
                while m != END and len(offsets) < size:
                    base = m * 64
                    sect = container[base // self.sector]
                    offsets.extend(self.offset(sect) + base % self.sector + i for i in range(64))
                    m = self.minifat[m]
            else:
                for s in self.chain(start):
                    offsets.extend(self.offset(s) + i for i in range(self.sector))
            self.streams[name] = offsets[:size]
        self.minifat_chain = self.chain(u32(data, 60))
        ole.close()
        elements = self.streams.get("Element Stream", [])
        self.records = element_records(bytes(data[o] for o in elements))

    def offset(self, sect):
        return (sect + 1) * self.sector

    def chain(self, start):
        out = []
        while start < len(self.fat) and start not in (END, FREE) and len(out) <= len(self.fat):
            out.append(start)
            start = self.fat[start]
        return out

    def fat_entry(self, data, s):
        k = s // (self.sector // 4)
        return self.offset(u32(data, 76 + 4 * k)) + 4 * (s % (self.sector // 4))

    def minifat_entry(self, m):
        per = self.sector // 4
        return self.offset(self.minifat_chain[m // per]) + 4 * (m % per)


def own_number(raw, at):
    """The offset and value of the element's own number in the element block at `at` (the
    block as this library writes it, version 27), or None."""
    def i32(q):
        return struct.unpack_from("<i", raw, q)[0]

    def skip_text(q):
        n = i32(q)
        if n < 0 or n > len(raw):
            raise ValueError
        return q + 4 + n

    def skip_array(q):
        n = i32(q)
        if n < 0 or n > len(raw):
            raise ValueError
        return q + 4 + 4 * n
    try:
        if i32(at) != 27:
            return None
        q = at + 8  # version, cost
        for _ in range(3):  # name, description, string setting 9
            q = skip_text(q)
        q = skip_text(q + 32) + 4  # eight settings, string setting 31, setting 30
        flag = i32(q)
        q += 4
        if flag == 1:  # group A
            q = skip_array(q + 44)
            q = skip_array(q + 12)
            q += 4 + 8 + 48 + 12
        q += 24  # vector setting 1
        number = i32(q)
        return (q, number) if 0 < number < (1 << 20) else None
    except (struct.error, ValueError):
        return None


def element_records(raw):
    """(class id, start, offset of the own number, own number) of every element record: a
    class id followed by an element block that reads as this library writes it."""
    records, at = [], raw.find(ELEMENT_VERSION, 16)
    while at >= 0:
        found = own_number(raw, at)
        if found:
            records.append((raw[at - 16:at], at - 16, found[0], found[1]))
        at = raw.find(ELEMENT_VERSION, at + 1)
    return records


# --- mutators: each changes `data` (a bytearray) in place, or returns new bytes -------------

def bit_flips(rng, data, lay):
    for _ in range(rng.randint(1, 8)):
        data[rng.randrange(len(data))] ^= 1 << rng.randrange(8)


def random_bytes(rng, data, lay):
    at = rng.randrange(len(data))
    for i in range(at, min(len(data), at + rng.randint(1, 32))):
        data[i] = rng.randrange(256)


def truncation(rng, data, lay):
    choice = rng.randrange(4)
    if choice == 0:
        cut = rng.randrange(len(data))
    elif choice == 1:  # near a sector boundary
        cut = max(0, rng.randrange(len(data) // lay.sector + 1) * lay.sector + rng.randint(-8, 8))
    elif choice == 2:  # inside a directory sector
        cut = lay.offset(rng.choice(lay.dir_chain)) + rng.randrange(lay.sector)
    else:  # inside the last sector
        cut = len(data) - rng.randint(1, lay.sector - 1)
    return bytes(data[:max(0, min(cut, len(data) - 1))])


def header_field(rng, data, lay):
    field = rng.choice([(24, 2), (26, 2), (28, 2), (30, 2), (32, 2), (40, 4), (44, 4), (48, 4), (52, 4),
                        (56, 4), (60, 4), (64, 4), (68, 4), (72, 4), (76 + 4 * rng.randrange(109), 4)])
    at, width = field
    old = u32(data, at) if width == 4 else struct.unpack_from("<H", data, at)[0]
    value = interesting32(rng, old)
    if width == 4:
        put32(data, at, value)
    else:
        put16(data, at, rng.choice([value, old + 1, old - 1, 3, 4, 9, 12, 6, 0xFFFE, 0]))


def allocation_table(rng, data, lay):
    used = [s for s, n in enumerate(lay.fat) if n != FREE and s * lay.sector < len(data)]
    s = rng.choice(used)
    chain_back = [t for t in range(s) if lay.fat[t] != FREE]
    value = rng.choice([s, rng.choice(chain_back) if chain_back else 0, rng.randrange(len(lay.fat) + 4),
                        FREE, END, FATSECT, DIFSECT, 0xFFFFFFFA, len(data) // lay.sector + rng.randint(0, 3)])
    put32(data, lay.fat_entry(data, s), value)


def mini_table(rng, data, lay):
    used = [m for m, n in enumerate(lay.minifat) if n != FREE]
    if not used:
        return allocation_table(rng, data, lay)
    m = rng.choice(used)
    value = rng.choice([m, rng.randrange(max(1, m)), rng.randrange(len(lay.minifat) + 8), FREE, END, 0x7FFFFFFF])
    put32(data, lay.minifat_entry(m), value)


def directory_entry(rng, data, lay):
    sid, name, at, start, size, kind = rng.choice(lay.entries)
    ids = [e[0] for e in lay.entries]
    field = rng.randrange(9)
    if field < 3:  # left, right, child
        put32(data, at + 68 + 4 * field, rng.choice([sid, rng.choice(ids), 0, FREE, len(ids) + rng.randrange(100),
                                                     rng.randrange(1 << 32)]))
    elif field == 3:
        put32(data, at + 120, interesting32(rng, size))
        if rng.randrange(4) == 0:
            put32(data, at + 124, rng.randrange(1 << 32))
    elif field == 4:
        put32(data, at + 116, rng.choice([rng.choice(lay.entries)[3], rng.randrange(64), END, FREE, start + 1]))
    elif field == 5:
        data[at + 66] = rng.randrange(8)
    elif field == 6:
        put16(data, at + 64, rng.choice([0, 1, 2, 63, 64, 65, 66, 128, 0xFFFF, rng.randrange(70)]))
    elif field == 7:
        for i in range(rng.randint(1, 8)):
            data[at + rng.randrange(64)] = rng.randrange(256)
    else:
        for i in range(16):
            data[at + 80 + i] = rng.randrange(256)


def stream_bytes(rng, lay, want):
    """A stream (by olefile's name) with at least `want` bytes, and its file offsets."""
    names = [n for n, o in lay.streams.items() if len(o) >= want]
    if not names:
        return None, None
    name = rng.choice(names)
    return name, lay.streams[name]


def read_at(data, offsets, at, n):
    return bytes(data[offsets[at + i]] for i in range(n))


def write_at(data, offsets, at, value):
    for i, b in enumerate(value):
        data[offsets[at + i]] = b


def stream_count(rng, data, lay):
    """A count or length inside a stream."""
    name, offsets = stream_bytes(rng, lay, 4)
    if not offsets:
        return bit_flips(rng, data, lay)
    at = rng.randrange(len(offsets) - 3)
    old = struct.unpack("<I", read_at(data, offsets, at, 4))[0]
    write_at(data, offsets, at, struct.pack("<I", interesting32(rng, old)))


def stream_object_number(rng, data, lay):
    """An object number (a small positive int) inside a stream, set to another one or to nonsense."""
    name, offsets = stream_bytes(rng, lay, 4)
    if not offsets:
        return bit_flips(rng, data, lay)
    spots = [i for i in range(len(offsets) - 3) if 0 < struct.unpack("<i", read_at(data, offsets, i, 4))[0] < 300]
    if not spots:
        return stream_count(rng, data, lay)
    at = rng.choice(spots)
    old = struct.unpack("<i", read_at(data, offsets, at, 4))[0]
    write_at(data, offsets, at, struct.pack("<I", rng.choice([0, old + 1, old - 1, old + 50, 0xFFFFFFFF, 0x7FFFFFFF,
                                                             rng.randrange(1, 300)]) & 0xFFFFFFFF))


def element_reference(rng, data, lay):
    """A reference inside an element block (a number that names an element, or "no element")
    pointed at an element of another kind, the element itself, an ancestor or no element."""
    offsets = lay.streams.get("Element Stream")
    if not offsets or len(lay.records) < 2:
        return stream_object_number(rng, data, lay)
    raw = read_at(data, offsets, 0, len(offsets))
    wanted = {r[3] for r in lay.records} | {NO_ELEMENT}
    own = {r[2] for r in lay.records}
    spots = [i for i in range(lay.records[0][1], len(raw) - 3)
             if i not in own and struct.unpack_from("<i", raw, i)[0] in wanted]
    if not spots:
        return stream_object_number(rng, data, lay)
    at = rng.choice(spots)
    index = max(k for k, r in enumerate(lay.records) if r[1] <= at)
    kind, _, _, itself = lay.records[index]
    others = [r[3] for r in lay.records if r[0] != kind]
    earlier = [r[3] for r in lay.records[:index]]  # the root, and the records a pre-order puts first
    choice = rng.randrange(4)
    if choice == 0 and others:
        value = rng.choice(others)
    elif choice == 1:
        value = itself
    elif choice == 2 and earlier:
        value = rng.choice([earlier[0], rng.choice(earlier), earlier[-1]])
    else:
        value = NO_ELEMENT
    write_at(data, offsets, at, struct.pack("<i", value))


def stream_class_id(rng, data, lay):
    """A class id inside a stream: changed, swapped for another one, or made the end marker."""
    name, offsets = stream_bytes(rng, lay, 16)
    if not offsets:
        return bit_flips(rng, data, lay)
    raw = read_at(data, offsets, 0, len(offsets))
    spots, at = [], raw.find(b"\x00\x60\xb0\xa4\xbc\x1c")
    while at >= 10:
        spots.append(at - 10)
        at = raw.find(b"\x00\x60\xb0\xa4\xbc\x1c", at + 1)
    if not spots:
        spots = [0]
    at = rng.choice(spots)
    choice = rng.randrange(4)
    if choice == 0:
        value = bytes(rng.randrange(256) for _ in range(16))
    elif choice == 1:
        other = rng.choice(spots)
        value = raw[other:other + 16]
    elif choice == 2:
        value = b"\xff" * 16
    else:
        value = bytearray(raw[at:at + 16])
        value[rng.randrange(16)] ^= 1 << rng.randrange(8)
    write_at(data, offsets, at, value)


def stream_version_word(rng, data, lay):
    """The file's version, or a 16-bit word inside a stream (the blocks' version words)."""
    version = lay.streams.get("Process Document Version")
    if version and len(version) >= 4 and rng.randrange(3) == 0:
        value = struct.pack("<f", rng.choice([1.0, 1.5, 2.0, 2.5, 3.0, -2.0, float("nan"), float("inf"), 1e30]))
        return write_at(data, version, 0, value)
    name, offsets = stream_bytes(rng, lay, 2)
    if not offsets:
        return bit_flips(rng, data, lay)
    at = rng.randrange(len(offsets) - 1)
    old = struct.unpack("<H", read_at(data, offsets, at, 2))[0]
    write_at(data, offsets, at, struct.pack("<H", 0xFFFF & rng.choice([0, 1, 2, old + 1, old - 1, 0x7FFF, 0xFFFF,
                                                             0x8000, rng.randrange(1 << 16)])))


MUTATORS = [bit_flips, random_bytes, truncation, header_field, allocation_table, allocation_table, mini_table,
            directory_entry, directory_entry, stream_count, stream_object_number, stream_class_id,
            stream_version_word, element_reference, element_reference, element_reference]


def make_mutants(seeds, count, seed, folder):
    rng = random.Random(seed)
    layouts = [(path, bytearray(open(path, "rb").read())) for path in seeds]
    layouts = [(path, data, Layout(data)) for path, data in layouts]
    mutants = []
    for i in range(count):
        path, original, lay = layouts[i % len(layouts)]
        mutate = rng.choice(MUTATORS)
        data = bytearray(original)
        result = None
        for _ in range(rng.choice([1, 1, 1, 2, 3])):
            result = mutate(rng, data, lay)
            if result is not None:
                data = bytearray(result)
                break
        name = "%05d-%s-%s.pvd" % (i, os.path.splitext(os.path.basename(path))[0], mutate.__name__.replace("_", "-"))
        target = os.path.join(folder, name)
        with open(target, "wb") as f:
            f.write(data)
        mutants.append(target)
    return mutants


# --- children ---------------------------------------------------------------------------------

class Runner:
    def __init__(self, build, timeout, work):
        self.build = build
        self.timeout = timeout
        self.work = work
        self.results = {}
        self.lock = threading.Lock()

    def child(self, args):
        cmd = [os.path.join(ROOT, "scripts", "wine-run"), self.build, os.path.join(self.build, "bin", "fuzz_open.exe")]
        return subprocess.Popen(cmd + args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                cwd=os.path.join(self.build, "bin"), start_new_session=True)

    def record(self, path, outcome, detail=""):
        with self.lock:
            self.results[path] = (outcome, detail)

    @staticmethod
    def stop(proc):
        try:
            os.killpg(proc.pid, 9)
        except OSError:
            pass
        proc.wait()

    def run_batch(self, worker, files):
        """Runs the files in as few children as crashes and hangs allow."""
        pending = list(files)
        startup_failures = 0
        while pending:
            listing = os.path.join(self.work, "list-%d.txt" % worker)
            with open(listing, "w") as f:
                f.write("".join(windows_path(p) + "\n" for p in pending))
            temp = windows_path(os.path.join(self.work, "saved-%d.pvd" % worker))
            proc = self.child(["open", windows_path(listing), temp])
            buffer, current, done = b"", None, 0
            crash_code = ""
            deadline = time.time() + self.timeout + 60  # the first file waits for Wine to start as well
            outcome = None
            while True:
                left = deadline - time.time()
                if left <= 0:
                    outcome = "hang"
                    break
                ready, _, _ = select.select([proc.stdout], [], [], left)
                if not ready:
                    continue
                chunk = os.read(proc.stdout.fileno(), 65536)
                if not chunk:
                    outcome = "crash"
                    break
                buffer += chunk
                while b"\n" in buffer:
                    line, buffer = buffer.split(b"\n", 1)
                    words = line.decode("latin-1").split()
                    if not words:
                        continue
                    if words[0] == "BEGIN":
                        current = int(words[1])
                        deadline = time.time() + self.timeout
                    elif words[0] == "END":
                        self.record(pending[int(words[1])], words[2], " ".join(words[3:]))
                        done = int(words[1]) + 1
                        current = None
                    elif words[0] == "CRASH":
                        crash_code = words[2] if len(words) > 2 else ""
            self.stop(proc)
            if current is None and done == len(pending):
                return
            if current is None:
                # The child died between files or before the first one.
                startup_failures += 1
                if startup_failures > 3:
                    for p in pending[done:]:
                        self.record(p, "no-child", "")
                    return
                pending = pending[done:]
                continue
            self.record(pending[current], outcome, crash_code)
            pending = pending[current + 1:]

    def run(self, files, jobs):
        chunks = [files[i::jobs] for i in range(jobs)]
        threads = [threading.Thread(target=self.run_batch, args=(i, chunk)) for i, chunk in enumerate(chunks) if chunk]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        return self.results


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="the build folder (holds bin/fuzz_open.exe)")
    parser.add_argument("--count", type=int, default=1000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 4)
    parser.add_argument("--timeout", type=float, default=20.0, help="seconds one file may take")
    parser.add_argument("--replay", nargs="*", help="open these files instead of new mutants")
    args = parser.parse_args()

    build = os.path.abspath(args.build)
    work = os.path.join(build, "fuzz-work-%d" % os.getpid())
    failures = os.path.join(build, "fuzz-failures")
    shutil.rmtree(work, ignore_errors=True)
    if not args.replay:
        shutil.rmtree(failures, ignore_errors=True)  # what is kept belongs to the last run
    os.makedirs(os.path.join(work, "seeds"))
    os.makedirs(os.path.join(work, "mutants"))
    runner = Runner(build, args.timeout, work)
    started = time.time()

    if args.replay:
        files = [os.path.abspath(p) for p in args.replay]
    else:
        seeds_dir = os.path.join(work, "seeds")
        rc = subprocess.call([os.path.join(ROOT, "scripts", "wine-run"), build,
                              os.path.join(build, "bin", "fuzz_open.exe"), "seeds", windows_path(seeds_dir)],
                             cwd=os.path.join(build, "bin"))
        seeds = sorted(os.path.join(seeds_dir, n) for n in os.listdir(seeds_dir))
        if rc != 0 or not seeds:
            sys.exit("fuzz: the seed documents could not be written")
        files = seeds + make_mutants(seeds, args.count, args.seed, os.path.join(work, "mutants"))

    results = runner.run(files, max(1, args.jobs))
    counts = {}
    for path in files:
        outcome, detail = results.get(path, ("lost", ""))
        counts[outcome] = counts.get(outcome, 0) + 1
    bad = [p for p in files if results.get(p, ("lost",))[0] in FAILURES + ("lost", "no-child")]
    if not args.replay:
        seeds_bad = [p for p in files[:len(seeds)] if results.get(p, ("",))[0] != "same"]
        bad += [p for p in seeds_bad if p not in bad]
    if bad and not args.replay:
        os.makedirs(failures, exist_ok=True)
        for p in bad:
            shutil.copy(p, os.path.join(failures, os.path.basename(p)))
    for p in bad:
        outcome, detail = results.get(p, ("lost", ""))
        print("%-14s %s %s" % (outcome, os.path.basename(p), detail))
    summary = ", ".join("%s %d" % (k, counts[k]) for k in sorted(counts))
    print("fuzz: %d files (seed %d) in %.0f s: %s" % (len(files), args.seed, time.time() - started, summary))
    print("fuzz: %d crashes, %d hangs, %d leaks, %d changed by save and reopen" % (
        counts.get("crash", 0), counts.get("hang", 0), counts.get("leak", 0),
        counts.get("differ", 0) + counts.get("save-failed", 0) + counts.get("reopen-failed", 0)))
    shutil.rmtree(work, ignore_errors=True)
    if bad:
        if not args.replay:
            print("fuzz: failing files kept in %s (replay: scripts/fuzz --replay FILE...)" % failures)
        sys.exit(1)


if __name__ == "__main__":
    main()
