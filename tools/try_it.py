#!/usr/bin/env python3
"""dllmend on a damaged machine, step by step, under wine64."""

import argparse
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "wine"))
from winebox import WineBox, windows_path  # noqa: E402

SAMPLE = b"MZ a stand-in for msvcr70.dll, made by try-it"


def say(text=""):
    print(text, flush=True)


def show_pending(box):
    value = box.pending_value()
    if value is None:
        say("  PendingFileRenameOperations: (none)")
        return
    strings = value[1].decode("latin-1").split("\0")
    say("  PendingFileRenameOperations holds: %s" % [s for s in strings if s])


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--helper", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()

    box = WineBox(args.work, os.path.abspath(args.helper))
    say("Preparing a throwaway Windows (Wine prefix) in %s ..." % box.prefix)
    box.create()
    try:
        folder = os.path.join(box.folder, "repair-kit")
        os.makedirs(folder)
        box.remove_runtime_files()
        box.delete_pending_value()
        for name in ("msvcp70.dll", "msvcr70.dll"):
            with open(os.path.join(folder, name), "wb") as f:
                f.write(SAMPLE.replace(b"msvcr70", name[:-4].encode()))
        with open(os.path.join(box.system32, "msvcp70.dll"), "wb") as f:
            f.write(b"MZ the machine's own msvcp70.dll")
        victim = os.path.join(box.prefix, "drive_c", "still-needed.txt")
        with open(victim, "w") as f:
            f.write("a file that an installer queued for deletion\n")
        box.queue_deletion("C:\\still-needed.txt")

        system32 = box.windows_directory() + "\\system32"
        say()
        say("The damaged machine:")
        say("  %s\\msvcp70.dll: present" % system32)
        say("  %s\\msvcr70.dll: missing" % system32)
        say("  C:\\still-needed.txt is queued for deletion at the next start")
        show_pending(box)
        say("  the current folder %s holds msvcp70.dll and msvcr70.dll" % folder)

        say()
        say('Running: dllmend.exe log   (any argument turns the log on)')
        run = box.run_command_line('"%s" log' % windows_path(args.tool), folder)
        say("  exit status %d, printed %d bytes" % (run.status, len(run.out) + len(run.err)))

        say()
        say("dllmend.log:")
        with open(os.path.join(folder, "dllmend.log"), "rb") as f:
            for line in f.read().decode("latin-1").split("\r\n")[:-1]:
                say("  | " + line.replace("\r", "\\r"))

        say()
        say("After the run:")
        for name in ("msvcp70.dll", "msvcr70.dll"):
            with open(os.path.join(box.system32, name), "rb") as f:
                say("  %s\\%s: %s" % (system32, name, f.read().decode("latin-1")))
        show_pending(box)

        say()
        say("Restarting Windows (wineboot -r carries out queued renames as a restart does) ...")
        box.restart()
        state = "still there: the queued deletion was discarded" if os.path.exists(victim) \
            else "deleted (the repair did not take)"
        say("  C:\\still-needed.txt: %s" % state)
        return 0 if run.status == 0 and os.path.exists(victim) else 1
    finally:
        box.stop()


if __name__ == "__main__":
    sys.exit(main())
