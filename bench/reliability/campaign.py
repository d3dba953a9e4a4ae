#!/usr/bin/env python3
"""Reliability campaign: the suite under kills, concurrent writers, full disks,
special files, hostile images and planted links, with a count per outcome.

Every campaign runs the programs of a build against private simulated
machines (fresh state folders under a temporary directory, the programs copied
to a private folder so that files they write beside themselves land there).
It prints one table per campaign; the columns marked * count failures, and the
goal is 0 in each of them. The exit status is 1 when any failure column is not
0.

    campaign.py [BUILD_DIR] [--quick] [--only NAME,...] [--seed N] [--inspect BUILD]

--quick runs a few dozen cases in under a minute (CI runs it); without it the
full campaign runs (several minutes). NAME is one of: kills, pairs, writers,
fulldisk, fifo, hostile, links, fwsweep. --inspect reads the adapters' state
with the `hbasim` of another build (one whose `show -v` prints regions and
memory pages), for measuring an older build.

Campaigns:
  kills     SIGKILL at a random moment of PRG, .ALL, .GRP and .UFI downloads:
            machines left unreadable, retries that fail, .ALL downloads that
            left the adapter starting a mix of old and new images, state
            leftovers (temporary and trash files) after the next run.
  pairs     two downloads of different images to one adapter at once (.GRP,
            PRG): a process that exited 0 while the adapter ended with the
            other's image and the other failed, an adapter image that is
            neither file (torn), both failing without a line that says why.
  writers   a second writer beside setAltBoot, setbootdevice and scriptWWPN
            changing another field of the same region: updates lost although
            both exited 0.
  fulldisk  downloads and listings on a full state file system (needs root or
            user namespaces for a small tmpfs): "Not an Administrative user!"
            given for a full disk, and downloads that report a failure while
            the adapter changed.
  fifo      a FIFO where an image, script or fwsweep file is expected: runs
            that hang (killed after a timeout).
  hostile   damaged images (cuts every 4 KiB, bit flips, pairs of flips that keep
            the RotXor checksums, huge lengths) of every kind: refused, accepted
            although only bytes the adapter never receives were changed (an AIF
            header word nobody reads), and accepted with damaged bytes sent to
            the adapter (corrupt flashed).
  links     log, trace and save files planted as symbolic links to a victim
            file: victims written through the link, files created with a mode
            other than 0600 (logs, traces) or 0644 (saved adapter data).
  fwsweep   SIGKILL of `fwsweep /update` at a random moment: temporary files
            left in its temporary folder.
"""
import argparse
import os
import random
import re
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

FC_FLEET = """adapter C1 fc
    model = TGF1100
function fc device_id = 0xF100 hw_type = 4100
"""
BREVIN_FLEET = """adapter B1 brevin
function fc
"""
HANG_SECONDS = 5


class Suite:
    """The programs (copied to a private folder) and fresh machines."""

    def __init__(self, build, work, inspect=None):
        self.work = work
        self.inspect = os.path.join(inspect or build, "bin", "hbasim")
        self.bin = os.path.join(work, "bin")
        shutil.copytree(os.path.join(build, "bin"), self.bin, symlinks=True,
                        ignore=shutil.ignore_patterns("test_*", "fuzz_*", "bench_*"))
        self.templates = {}
        self.count = 0

    def prog(self, name):
        return os.path.join(self.bin, name)

    def env(self, state, **extra):
        e = dict(os.environ, HBASIM_DIR=state, PLAT_SLEEP_SCALE="0", TEMP=state, TMPDIR=state)
        e.update(extra)
        return e

    def fresh(self, fleet):
        """A new state folder holding a machine of this fleet ("" = default)."""
        if fleet not in self.templates:
            t = os.path.join(self.work, "template%d" % len(self.templates))
            os.makedirs(t)
            args = [self.prog("hbasim"), "init"]
            if fleet:
                with open(os.path.join(self.work, "fleet.txt"), "w") as f:
                    f.write(fleet)
                args += ["--fleet", os.path.join(self.work, "fleet.txt")]
            subprocess.run(args, env=self.env(t), check=True, stdout=subprocess.DEVNULL)
            self.templates[fleet] = t
        self.count += 1
        d = os.path.join(self.work, "s%d" % self.count)
        shutil.copytree(self.templates[fleet], d, symlinks=True)
        return d

    def run(self, state, args, timeout=60, cwd=None, stdin=subprocess.DEVNULL):
        """(exit code or None after a timeout, stdout) of a program of the suite."""
        try:
            # In a private folder: files the programs write where they run land there.
            r = subprocess.run([self.prog(args[0])] + args[1:], env=self.env(state),
                               cwd=cwd or state,
                               stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               timeout=timeout)
            return r.returncode, r.stdout.decode(errors="replace")
        except subprocess.TimeoutExpired:
            return None, ""

    def spawn(self, state, args):
        return subprocess.Popen([self.prog(args[0])] + args[1:], env=self.env(state), cwd=state,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def image(self, state, kind_args, path):
        subprocess.run([self.prog("hbasim"), "image"] + kind_args + ["-o", path],
                       env=self.env(state), check=True, stdout=subprocess.DEVNULL)
        return path

    def show(self, state):
        """Adapter state as `hbasim show -v` prints it, without run-time noise."""
        r = subprocess.run([self.inspect, "show", "-v"], env=self.env(state),
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        keep = []
        for line in r.stdout.decode(errors="replace").splitlines():
            if line.startswith("State directory:"):
                continue
            if re.match(r"\s+(link|diag_mode|event_log_open|exprom_\w+|dl_erase|la_erase|"
                        r"journal\w*|change\w*|reset\w*)\s*=", line):
                continue
            keep.append(line)
        return "\n".join(keep)

    def attr(self, state, name):
        """Values of one attribute in `hbasim show -v`, in order."""
        out = subprocess.run([self.inspect, "show", "-v"], env=self.env(state),
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
        return re.findall(r"^\s+%s = (.*)$" % re.escape(name), out.decode(errors="replace"),
                          re.M)


def ok(code):
    return code in (0, 80)


def leftovers(state):
    """Temporary and trash files a killed run may leave in a state folder."""
    found = set()
    for root, dirs, files in os.walk(state):
        for n in dirs + files:
            if re.search(r"(\.tmp|\.trash|~|\.new)$|^\.trash|^tmp\.|XXXXXX", n) or ".tmp." in n:
                found.add(os.path.join(root, n))
    return found


# ---- kills -----------------------------------------------------------------------------------

def kill_case(s, kind, rng, n):
    fleet = {"prg": FC_FLEET, "all": FC_FLEET, "grp": BREVIN_FLEET, "ufi": ""}[kind]
    target = "n=7" if kind == "ufi" else "n=1"
    state = s.fresh(fleet)
    counts = {"kills": 0, "unreadable*": 0, "failed retries*": 0, "mixed*": 0, "leftovers*": 0}
    left = set()  # what is still there after the next run

    def make(v):
        path = os.path.join(state, {"prg": "fw.prg", "all": "fw.ALL", "grp": "fw.grp",
                                    "ufi": "fw.ufi"}[kind])
        if kind == "prg":
            args = ["prg", "--size", "262144", "--text", "5.0.%d" % v]
        elif kind == "grp":
            args = ["grp", "--size", "2097152", "--version", "12.9.0.%d" % v]
        elif kind == "ufi":
            args = ["ufi", "--gen", "3", "--version", "11.9.0.%d" % v, "--size", "1048576"]
        else:
            args = ["aif", "--kind", "awc", "--idword", "0x0178%04x" % v, "--body", "65536",
                    "--kind", "bwc", "--area", "2", "--base", "0x80000", "--idword",
                    "0x0379%04x" % v, "--body", "65536", "--all"]
        return s.image(state, args, path)

    def started():
        """(AWC version word at 0x1F0, wakeup parameters) as the adapter has them."""
        text = s.show(state)
        patch = re.search(r"\[memory_patch\] =((?: [0-9A-F]{8})*)", text)
        words = [int.from_bytes(bytes.fromhex(w), "little")
                 for w in (patch.group(1).split() if patch else [])]
        awc = dict(zip(words[0::2], words[1::2])).get(0x1F0, 0)
        wakeup = re.search(r"\[region4\] =(.*)", text)
        return awc, wakeup.group(1) if wakeup else ""

    # A clean run first: how long a download takes.
    t0 = time.monotonic()
    code, _ = s.run(state, ["hbaset", "download", target, "i=" + make(1)])
    duration = max(time.monotonic() - t0, 0.05)
    if not ok(code):
        counts["failed retries*"] += 1
    for i in range(n):
        v = 2 + i
        before = started() if kind == "all" else None
        p = s.spawn(state, ["hbaset", "download", target, "i=" + make(v)])
        time.sleep(rng.uniform(0, duration))
        if p.poll() is None:
            p.send_signal(signal.SIGKILL)
            counts["kills"] += 1
        p.wait()
        if kind == "all":
            # Every version changes both: one changed without the other is a mix.
            now = started()
            if (now[0] != before[0]) != (now[1] != before[1]):
                counts["mixed*"] += 1
        code, _ = s.run(state, ["hbasim", "check"])
        if code != 0:
            counts["unreadable*"] += 1
        code, _ = s.run(state, ["hbaset", "download", target, "i=" + make(v)])
        if not ok(code):
            counts["failed retries*"] += 1
        left |= leftovers(state)
    counts["leftovers*"] = len(left)
    if os.environ.get("CAMPAIGN_VERBOSE"):
        for path in sorted(left):
            print("  leftover %s" % path)
    return counts


def camp_kills(s, rng, quick):
    n = 3 if quick else 106
    return [(kind, kill_case(s, kind, rng, n)) for kind in ("prg", "all", "grp", "ufi")]


# ---- concurrent downloads -----------------------------------------------------------------------

def pair_case(s, kind, rng, n):
    counts = {"pairs": 0, "wrong success*": 0, "torn*": 0, "both failed silently*": 0}
    for i in range(n):
        state = s.fresh(BREVIN_FLEET if kind == "grp" else FC_FLEET)
        files = []
        for who in ("a", "b"):
            v = "%d.%s" % (i, who)
            if kind == "grp":
                args = ["grp", "--size", "1048576", "--version", "12.9.%d.%d" % (i, len(files))]
            else:
                args = ["prg", "--size", "131072", "--text", "6.%d.%d" % (i, len(files))]
            files.append(s.image(state, args, os.path.join(state, "fw-%s.%s" % (v, kind))))
        procs = []
        for f in files:
            procs.append(subprocess.Popen(
                [s.prog("hbaset"), "download", "n=1", "i=" + f], env=s.env(state), cwd=state,
                stdout=subprocess.PIPE, stderr=subprocess.STDOUT))
            time.sleep(rng.uniform(0, 0.02))
        results = [(p.wait(), p.stdout.read().decode(errors="replace")) for p in procs]
        counts["pairs"] += 1
        if kind == "grp":
            obj = os.path.join(s.machine_dir(state), "objects", "a0f0-prg.obj")
            final = open(obj, "rb").read() if os.path.exists(obj) else b""
            images = [open(f, "rb").read() for f in files]
            which = images.index(final) if final in images else -1
            if which < 0 and final:
                counts["torn*"] += 1
        else:
            lists = s.attr(state, "load_list")
            texts = ["6.%d.%d" % (i, k) for k in range(2)]
            hits = [k for k in range(2) if lists and texts[k] in lists[0]]
            which = hits[-1] if len(hits) == 1 else -1
        for k in range(2):
            mine_ok = ok(results[k][0])
            other_ok = ok(results[1 - k][0])
            if mine_ok and which == 1 - k and not other_ok:
                counts["wrong success*"] += 1
        if not ok(results[0][0]) and not ok(results[1][0]):
            if not any("busy" in r[1] for r in results):
                counts["both failed silently*"] += 1
    return counts


def machine_dir(state):
    idx = [d for d in os.listdir(state) if d.startswith("gen")]
    return os.path.join(state, sorted(idx)[-1]) if idx else state


Suite.machine_dir = staticmethod(machine_dir)


def camp_pairs(s, rng, quick):
    return [("grp", pair_case(s, "grp", rng, 3 if quick else 160)),
            ("prg", pair_case(s, "prg", rng, 3 if quick else 60))]


# ---- a second writer beside region commands --------------------------------------------------------

def writer_case(s, name, rng, n):
    counts = {"pairs": 0, "lost*": 0}
    for i in range(n):
        state = s.fresh(FC_FLEET)
        a_lun = 10 + i % 200
        b_lun = 1 + i % 200
        if name == "setAltBoot":
            a = ["hbaset", "setAltBoot", "n=1", "i=1", "w0=21000024", "w1=FF0000AA", "l=%d" % a_lun]
            b = ["hbaset", "setAltBoot", "n=1", "i=2", "w0=21000024", "w1=FF0000BB", "l=%d" % b_lun]
        elif name == "setbootdevice":
            a = ["hbaset", "setbootdevice", "n=1", "w0=21000024", "w1=FF0000CC", "l=%d" % a_lun, "t=0"]
            b = ["hbaset", "setAltBoot", "n=1", "i=3", "w0=21000024", "w1=FF0000DD", "l=%d" % b_lun]
        else:
            a = ["hbaset", "scriptWWPN", "n=1", "w0=10000090", "w1=FA%06X" % i]
            b = ["hbaset", "scriptWWNN", "n=1", "w0=20000090", "w1=FB%06X" % i]
        procs = []
        for args in (a, b):
            procs.append(s.spawn(state, args))
            time.sleep(rng.uniform(0, 0.01))
        codes = [p.wait() for p in procs]
        counts["pairs"] += 1
        if name == "scriptWWPN":
            _, out = s.run(state, ["hbaset", "listWWN", "n=1"])
            have = ["FA%06X" % i in out, "FB%06X" % i in out]
        else:
            _, alt = s.run(state, ["hbaset", "readaltboot", "n=1"])
            _, dev = s.run(state, ["hbaset", "readbootdevice", "n=1"])
            if name == "setAltBoot":
                have = ["FF0000AA" in alt, "FF0000BB" in alt]
            else:
                have = ["FF0000CC" in dev, "FF0000DD" in alt]
        for k in range(2):
            if codes[k] == 0 and not have[k]:
                counts["lost*"] += 1
    return counts


def camp_writers(s, rng, quick):
    n = 3 if quick else 80
    return [(w, writer_case(s, w, rng, n)) for w in ("setAltBoot", "setbootdevice", "scriptWWPN")]


# ---- full state file system -------------------------------------------------------------------------

def camp_fulldisk(s, rng, quick):
    mnt = os.path.join(s.work, "full")
    os.makedirs(mnt)
    if os.geteuid() != 0 or subprocess.run(["mount", "-t", "tmpfs", "-o", "size=4m", "tmpfs",
                                            mnt]).returncode != 0:
        print("fulldisk: skipped (mounting a small tmpfs needs root)")
        return []
    counts = {"runs": 0, "admin message*": 0, "failed but changed*": 0}
    try:
        n = 2 if quick else 12
        for i in range(n):
            for kind in ("all", "grp", "listhba"):
                state = os.path.join(mnt, "s")
                shutil.rmtree(state, ignore_errors=True)
                shutil.copytree(s.fresh(BREVIN_FLEET if kind == "grp" else FC_FLEET), state)
                img = os.path.join(s.work, "img-%s" % kind)
                if kind == "grp":
                    s.image(state, ["grp", "--size", "262144", "--version", "12.8.%d.1" % i],
                            img + ".grp")
                    img += ".grp"
                elif kind == "all":
                    s.image(state, ["aif", "--kind", "awc", "--idword", "0x0178%04x" % (i + 5),
                                    "--kind", "bwc", "--area", "2", "--base", "0x80000",
                                    "--idword", "0x0379%04x" % (i + 5), "--all"], img + ".ALL")
                    img += ".ALL"
                before = s.show(state)
                # Fill the file system, leaving a few bytes.
                with open(os.path.join(mnt, "filler"), "wb") as f:
                    try:
                        while True:
                            f.write(b"\0" * 65536)
                    except OSError:
                        pass
                args = ["hbaset", "listhba"] if kind == "listhba" else \
                    ["hbaset", "download", "n=1", "i=" + img]
                code, out = s.run(state, args)
                os.unlink(os.path.join(mnt, "filler"))
                counts["runs"] += 1
                if "Not an Administrative user!" in out:
                    counts["admin message*"] += 1
                if kind != "listhba" and not ok(code) and s.show(state) != before:
                    counts["failed but changed*"] += 1
    finally:
        subprocess.run(["umount", "-l", mnt])
    return [("full", counts)]


# ---- special files ----------------------------------------------------------------------------------

def camp_fifo(s, rng, quick):
    counts = {"runs": 0, "hangs*": 0}
    state = s.fresh("")
    fifo = os.path.join(state, "fw.grp")
    os.mkfifo(fifo)
    fwdir = os.path.join(state, "fifo-firmware")
    os.makedirs(os.path.join(fwdir, "firmware"))
    os.mkfifo(os.path.join(fwdir, "firmware", "fw.ufi"))
    matrix = os.path.join(state, "matrixdir")
    os.makedirs(matrix)
    os.mkfifo(os.path.join(matrix, "fwmatrix.txt"))
    script = os.path.join(state, "script.txt")
    os.mkfifo(script)
    cases = [["hbaset", "download", "n=3", "i=" + fifo],
             ["hbaset", "@" + script],
             ["fwsweep", "/iv=" + fifo],
             ["fwsweep", "/q", "/fmd=" + matrix],
             ["fwsweep", "/auto", "/p", "/update", "/id=" + fwdir]]
    for args in cases * (1 if quick else 2):
        code, _ = s.run(state, args, timeout=HANG_SECONDS)
        counts["runs"] += 1
        if code is None:
            counts["hangs*"] += 1
    return [("fifo", counts)]


# ---- hostile images ---------------------------------------------------------------------------------

def damaged(data, rng, flips, cut_step, huge_at):
    """(name, bytes, offsets changed) of every damage of one image."""
    out = []
    for cut in range(cut_step, len(data), cut_step):
        out.append(("cut %d" % cut, data[:cut], range(cut, len(data))))
    for _ in range(flips):
        at = rng.randrange(len(data))
        b = bytearray(data)
        b[at] ^= 1 << rng.randrange(8)
        out.append(("flip %d" % at, bytes(b), [at]))
    # The same bit of two words 32 words apart: the RotXor checksums cannot see it.
    for _ in range(flips // 2):
        at = rng.randrange(max(len(data) - 128, 1))
        if at + 128 >= len(data):
            continue
        bit = 1 << rng.randrange(8)
        b = bytearray(data)
        b[at] ^= bit
        b[at + 128] ^= bit
        out.append(("flip pair %d" % at, bytes(b), [at, at + 128]))
    for at in huge_at:
        for value in (b"\xff\xff\xff\xf0", b"\x7f\xff\xff\xff"):
            b = bytearray(data)
            b[at:at + 4] = value
            out.append(("huge@%d" % at, bytes(b), range(at, at + 4)))
    return out


def sent_ranges(kind, data):
    """The byte ranges of an intact image that reach the adapter: the bodies of
    AIF images (their headers and checksum words stay on the host), the whole
    file for the other kinds."""
    if kind not in ("aif", "all"):
        return [(0, len(data))]
    ranges, at = [], 0
    overhead = 128 if kind == "aif" else 132
    while at + 128 <= len(data) and data[at:at + 4] == b"\xe1\xa0\x00\x00":
        body = int.from_bytes(data[at + 20:at + 24], "big")
        ranges.append((at + 128, at + 128 + body))
        at += body + overhead
    return ranges


def hostile_kind(s, kind, rng, quick):
    counts = {"images": 0, "refused": 0, "accepted, bytes never sent": 0, "corrupt flashed*": 0}
    fleet = {"grp": BREVIN_FLEET, "ufi": "", "aif": FC_FLEET, "prg": FC_FLEET,
             "all": FC_FLEET}[kind]
    target = "n=7" if kind == "ufi" else "n=1"
    name = {"grp": "fw.grp", "ufi": "fw.ufi", "aif": "fw.aif", "prg": "fw.prg",
            "all": "fw.ALL"}[kind]
    args = {"grp": ["grp", "--size", "65536", "--version", "12.9.7.7"],
            "ufi": ["ufi", "--gen", "3", "--version", "11.9.7.7", "--size", "65536"],
            "aif": ["aif", "--kind", "awc", "--idword", "0x01780707", "--body", "32768",
                    "--bare"],
            "prg": ["prg", "--size", "65536", "--text", "7.7.7"],
            "all": ["aif", "--kind", "awc", "--idword", "0x01780707", "--body", "16384",
                    "--kind", "bwc", "--area", "2", "--base", "0x80000", "--idword",
                    "0x03790707", "--body", "16384", "--all"]}[kind]
    # Length fields: PRG word 0, AIF words 5 and 6, UFI fileLength, GRP word 0.
    huge = {"grp": [0], "ufi": [56], "aif": [20, 24], "prg": [0], "all": [20, 24]}[kind]
    base = s.fresh(fleet)
    pristine_path = s.image(base, args, os.path.join(s.work, "pristine-" + name))
    data = open(pristine_path, "rb").read()
    good = s.fresh(fleet)
    shutil.copy(pristine_path, os.path.join(good, name))
    code, out = s.run(good, ["hbaset", "download", target, "i=" + name], cwd=good)
    if not ok(code):
        raise SystemExit("hostile %s: the intact image fails (%s): %s" % (kind, code, out))
    sent = sent_ranges(kind, data)
    flips = 8 if quick else 120
    cases = damaged(data, rng, flips, 4096 if not quick else len(data) // 2, huge)
    for label, bad, changed in cases:
        if bad == data:
            continue
        state = s.fresh(fleet)
        with open(os.path.join(state, name), "wb") as f:
            f.write(bad)
        code, out = s.run(state, ["hbaset", "download", target, "i=" + name], cwd=state)
        counts["images"] += 1
        if not ok(code):
            counts["refused"] += 1
        elif not any(lo <= at < hi for at in changed for lo, hi in sent):
            counts["accepted, bytes never sent"] += 1
        else:
            counts["corrupt flashed*"] += 1
            if os.environ.get("CAMPAIGN_VERBOSE"):
                print("  %s %s accepted (exit %s)" % (kind, label, code))
    return counts


def camp_hostile(s, rng, quick):
    return [(k, hostile_kind(s, k, rng, quick)) for k in ("grp", "ufi", "aif", "prg", "all")]


# ---- planted links ----------------------------------------------------------------------------------

def camp_links(s, rng, quick):
    counts = {"files": 0, "followed*": 0, "loose mode*": 0}
    cases = [
        # (file, where, how to make the program write it, wanted mode)
        ("hbasetlog.txt", "cwd", lambda st, d: s.run(st, ["hbaset", "@script.txt"], cwd=d), 0o600),
        ("qrldbg.log", "bin", lambda st, d: s.run(st, ["hbaset", "listhba"], cwd=d), 0o600),
        ("LIBTGX.LOG", "bin", lambda st, d: s.run(st, ["hbaset", "listhba"], cwd=d), 0o600),
        ("fwsweep.log", "cwd", lambda st, d: s.run(st, ["fwsweep", "/q", "/log"], cwd=d), 0o600),
        ("dbg.log", "cwd", lambda st, d: s.run(st, ["fwsweep", "/q", "/v", "/xml"], cwd=d), 0o600),
        ("wwn.sav", "cwd", lambda st, d: s.run(st, ["hbaset", "saveWWN", "n=1", "c=wwn.sav"],
                                               cwd=d), 0o644),
    ]
    for fname, where, make, mode in cases:
        state = s.fresh("")
        cwd = os.path.join(state, "cwd")
        os.makedirs(cwd)
        with open(os.path.join(cwd, "script.txt"), "w") as f:
            f.write("listhba\n")
        ini = os.path.join(s.bin, "LIBTGX.ini")
        with open(ini, "w") as f:
            f.write("DBG_PRINT=255\n")
        folder = s.bin if where == "bin" else cwd
        target = os.path.join(folder, fname)
        for leftover in (target,):
            if os.path.lexists(leftover):
                os.unlink(leftover)
        victim = os.path.join(state, "victim.txt")
        with open(victim, "w") as f:
            f.write("victim\n")
        os.symlink(victim, target)
        make(state, cwd)
        counts["files"] += 1
        if open(victim).read() != "victim\n":
            counts["followed*"] += 1
        os.unlink(target)
        # Made afresh: its mode.
        make(state, cwd)
        if os.path.exists(target) and not os.path.islink(target):
            if stat.S_IMODE(os.stat(target).st_mode) != mode:
                counts["loose mode*"] += 1
            os.unlink(target)
        os.unlink(ini)
    return [("links", counts)]


# ---- fwsweep kills ----------------------------------------------------------------------------------

def camp_fwsweep(s, rng, quick):
    counts = {"kills": 0, "temp left*": 0}
    n = 3 if quick else 81
    for _ in range(n):
        state = s.fresh("")
        tmp = os.path.join(state, "tmp")
        os.makedirs(tmp)
        fw = os.path.join(state, "fw")
        os.makedirs(os.path.join(fw, "firmware"))
        s.image(state, ["ufi", "--gen", "3", "--version", "11.9.9.9"],
                os.path.join(fw, "firmware", "fw.ufi"))
        p = subprocess.Popen([s.prog("fwsweep"), "/auto", "/update", "/id=" + fw],
                             env=s.env(state, TEMP=tmp, TMPDIR=tmp), cwd=state,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(rng.uniform(0, 0.3))
        if p.poll() is None:
            p.send_signal(signal.SIGKILL)
            counts["kills"] += 1
        p.wait()
        time.sleep(0.05)  # a killed parent's child may still be finishing
        counts["temp left*"] += len(os.listdir(tmp))
    return [("fwsweep /update", counts)]


CAMPAIGNS = [("kills", camp_kills), ("pairs", camp_pairs), ("writers", camp_writers),
             ("fulldisk", camp_fulldisk), ("fifo", camp_fifo), ("hostile", camp_hostile),
             ("links", camp_links), ("fwsweep", camp_fwsweep)]


def print_table(name, rows):
    if not rows:
        return 0
    cols = list(rows[0][1].keys())
    print("\n== %s" % name)
    widths = [max(len(c), 6) for c in cols]
    first = max(len(r[0]) for r in rows + [("case", None)])
    print("%-*s  %s" % (first, "case", "  ".join("%*s" % (w, c) for w, c in zip(widths, cols))))
    failures = 0
    for label, counts in rows:
        print("%-*s  %s" % (first, label, "  ".join("%*d" % (w, counts[c])
                                                     for w, c in zip(widths, cols))))
        failures += sum(v for k, v in counts.items() if k.endswith("*"))
    return failures


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("build", nargs="?", default=os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "build"))
    p.add_argument("--quick", action="store_true")
    p.add_argument("--only", default="")
    p.add_argument("--seed", type=int, default=20261210)
    p.add_argument("--inspect", default=None)
    a = p.parse_args()
    only = set(x for x in a.only.split(",") if x)
    work = tempfile.mkdtemp(prefix="reliability-")
    start = time.monotonic()
    failures = 0
    try:
        s = Suite(os.path.abspath(a.build), work,
                  os.path.abspath(a.inspect) if a.inspect else None)
        for name, fn in CAMPAIGNS:
            if only and name not in only:
                continue
            # Each campaign draws from its own generator, so that one run with
            # --only repeats exactly what it did in the whole campaign.
            rng = random.Random("%d-%s" % (a.seed, name))
            failures += print_table(name, fn(s, rng, a.quick))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("\n%d failures in the columns marked * (%.0f s)" % (failures, time.monotonic() - start))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
