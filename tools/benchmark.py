#!/usr/bin/env python3
"""A logged dllmend run against an empty program, under wine64.

Both are started the same way, by the suite's helper through CreateProcessA,
alternating, from a folder that holds both runtime files on a machine where
they are already restored (the first, copying run is a warm-up). The helper
times each process from its start to its end. Peak memory is the largest
resident set of the Wine process that runs each program, Wine's own included.
"""

import argparse
import os
import statistics
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "wine"))
from winebox import RUNTIME_FILES, WINE64, WineBox, windows_path  # noqa: E402

# Runs a command and prints its peak resident set in KiB: a process of its own
# per measurement, so that no other child's peak counts.
PEAK_RSS = ("import resource, subprocess, sys\n"
            "subprocess.run(sys.argv[1:], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,"
            " stderr=subprocess.DEVNULL)\n"
            "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)")


def start(box, exe, folder):
    run = box.run_command_line('"%s" log' % windows_path(exe), folder)
    if run.status != 0:
        raise RuntimeError("%s exited with %d" % (exe, run.status))
    return run.microseconds


def peak_kib(box, exe, folder):
    return int(subprocess.run([sys.executable, "-c", PEAK_RSS, WINE64, exe, "log"], cwd=folder,
                              env=box.env, check=True, capture_output=True).stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    for name in ("tool", "empty", "helper", "work", "release", "release-empty"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--pairs", type=int, default=41)
    args = parser.parse_args()

    box = WineBox(args.work, os.path.abspath(args.helper))
    box.create()
    try:
        folder = os.path.join(box.folder, "run")
        os.makedirs(folder)
        for name in RUNTIME_FILES:
            with open(os.path.join(folder, name), "wb") as f:
                f.write(b"MZ benchmark sample")
        box.remove_runtime_files()
        programs = {"dllmend": os.path.abspath(args.tool), "empty": os.path.abspath(args.empty)}
        for exe in programs.values():
            start(box, exe, folder)  # warm-up; dllmend restores the files here
        times = {name: [] for name in programs}
        for i in range(args.pairs):
            order = list(programs) if i % 2 == 0 else list(reversed(list(programs)))
            for name in order:
                times[name].append(start(box, programs[name], folder))
        peaks = {name: [peak_kib(box, exe, folder) for _ in range(5)]
                 for name, exe in programs.items()}
    finally:
        box.stop()

    ratios = [d / e for d, e in zip(times["dllmend"], times["empty"])]
    print("wine64, %d alternating pairs of runs, started by CreateProcessA:" % args.pairs)
    for name in programs:
        print("  %-8s median %6.1f ms (min %6.1f, max %6.1f), peak RSS %d KiB" % (
            name, statistics.median(times[name]) / 1000, min(times[name]) / 1000,
            max(times[name]) / 1000, max(peaks[name])))
    print("  median ratio dllmend/empty, pair by pair: %.3f (aim: at most 1.10)" %
          statistics.median(ratios))
    print("sizes:")
    for label, path in (("x86-64 dllmend.exe", args.tool), ("x86-64 empty", args.empty),
                        ("release dllmend.exe (x86)", args.release),
                        ("release empty (x86)", args.release_empty)):
        print("  %-26s %7d bytes" % (label, os.path.getsize(path)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
