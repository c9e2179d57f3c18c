#!/usr/bin/env python3
"""dllmend end to end: the real x86-64 executable under wine64.

Each scenario starts from a damaged machine (neither runtime file in
system32, nothing queued), runs the tool through a raw Windows command line
and checks the exit status, that nothing was printed, the files in system32,
the registry and the exact bytes of "dllmend.log". Expected texts come from
the system under test, never from a copy of its messages.
"""

import argparse
import os
import shutil
import stat
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from winebox import RUNTIME_FILES, WineBox, windows_path  # noqa: E402

REG_SZ, REG_BINARY, REG_MULTI_SZ = 1, 3, 7
ERROR_FILE_NOT_FOUND = 2
SOURCE_BYTES = {"msvcp70.dll": b"MZ sample p70 of the suite",
                "msvcr70.dll": b"MZ sample r70 of the suite"}
THEIRS = b"MZ already there"

box = None
tool = None


def entry(text):
    """One log entry: each LF stored as CR LF, then CR LF."""
    return text.replace(b"\n", b"\r\n") + b"\r\n"


def error_report(label, code):
    text = box.message_text(code)
    if text is None:
        text = b"no message text for error %d" % code
    return entry(label) + entry(text)


def multi_sz(*strings):
    return b"".join(s.encode("latin-1") + b"\0" for s in strings) + b"\0"


def setUpModule():
    box.create()


class DllmendRun(unittest.TestCase):
    """A run of the tool from a fresh current folder on a damaged machine."""

    def setUp(self):
        box.remove_runtime_files()
        box.delete_pending_value()
        self.cwd = tempfile.mkdtemp(dir=box.folder, prefix="run-")
        self.addCleanup(shutil.rmtree, self.cwd, True)
        directory = box.windows_directory().encode("latin-1")
        self.destinations = [directory + b"\\system32\\" + name.encode() for name in RUNTIME_FILES]

    def place_sources(self, *names):
        for name in names or RUNTIME_FILES:
            with open(os.path.join(self.cwd, name), "wb") as f:
                f.write(SOURCE_BYTES[name])

    def run_tool(self, arguments=" x", holding=None):
        """Runs `"dllmend.exe"` followed by `arguments`, as a raw command line."""
        run = box.run_command_line('"%s"%s' % (windows_path(tool), arguments), self.cwd, holding)
        self.assertEqual(0, run.status, "exit status")
        self.assertEqual(b"", run.out, "printed to stdout")
        self.assertEqual(b"", run.err, "printed to stderr")

    def log(self):
        path = os.path.join(self.cwd, "dllmend.log")
        if not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def system32_file(self, name):
        path = os.path.join(box.system32, name)
        if os.path.isdir(path):
            return "folder"
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def destination_entries(self):
        return (entry(b"destination file1:") + entry(self.destinations[0]) +
                entry(b"destination file2:") + entry(self.destinations[1]))

    def both_copied_entries(self):
        """The log of a run that finds both files missing and a queued value to delete."""
        return (self.destination_entries() + entry(b"about to copy file 1") +
                entry(b"about to copy file 2"))


class CommandLineTest(DllmendRun):
    def test_no_argument_repairs_and_writes_no_log(self):
        self.place_sources()
        box.set_pending_value(REG_MULTI_SZ, multi_sz("\\??\\C:\\gone.txt", ""))
        self.run_tool("")
        self.assertIsNone(self.log(), "no log without an argument")
        for name in RUNTIME_FILES:
            self.assertEqual(SOURCE_BYTES[name], self.system32_file(name), name)
        self.assertIsNone(box.pending_value(), "the queued operations were discarded")

    def test_no_argument_leaves_an_existing_log_untouched(self):
        self.place_sources()
        with open(os.path.join(self.cwd, "dllmend.log"), "wb") as f:
            f.write(b"an earlier run's log")
        self.run_tool("")
        self.assertEqual(b"an earlier run's log", self.log())
        for name in RUNTIME_FILES:
            self.assertEqual(SOURCE_BYTES[name], self.system32_file(name), name)

    def test_what_counts_as_an_argument(self):
        cases = [(' ""', "an empty argument", True),
                 (" x y z", "several arguments", True),
                 (" off", "a word meaning off", True),
                 (" \t  \t", "only blanks and tabs", False)]
        for arguments, what, logs in cases:
            with self.subTest(what):
                self.setUp()
                self.place_sources()
                box.set_pending_value(REG_MULTI_SZ, b"")
                self.run_tool(arguments)
                self.assertEqual(self.both_copied_entries() if logs else None, self.log())
                for name in RUNTIME_FILES:
                    self.assertEqual(SOURCE_BYTES[name], self.system32_file(name), name)
                self.assertIsNone(box.pending_value())


class RestoreTest(DllmendRun):
    def test_copies_the_missing_file_and_logs_each_step(self):
        self.place_sources()
        with open(os.path.join(box.system32, "msvcp70.dll"), "wb") as f:
            f.write(THEIRS)
        box.set_pending_value(REG_MULTI_SZ, multi_sz("\\??\\C:\\a.tmp", "", "\\??\\C:\\b", "c"))

        self.run_tool()

        first_run = self.destination_entries() + entry(b"about to copy file 2")
        self.assertEqual(first_run, self.log())
        self.assertEqual(THEIRS, self.system32_file("msvcp70.dll"), "present file unchanged")
        self.assertEqual(SOURCE_BYTES["msvcr70.dll"], self.system32_file("msvcr70.dll"))
        self.assertIsNone(box.pending_value())

        self.run_tool()

        self.assertEqual(first_run + self.destination_entries() +
                         error_report(b"RegDeleteKey", ERROR_FILE_NOT_FOUND), self.log(),
                         "a second run logs the destinations and the failed deletion only")

    def test_never_replaces_what_is_present(self):
        def plain(path):
            with open(path, "wb") as f:
                f.write(THEIRS)

        def read_only(path):
            plain(path)
            os.chmod(path, stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)

        for what, place, expected in [("a file", plain, THEIRS),
                                      ("a read-only file", read_only, THEIRS),
                                      ("a folder with the file's name", os.mkdir, "folder")]:
            with self.subTest(what):
                self.setUp()
                self.place_sources()
                for name in RUNTIME_FILES:
                    place(os.path.join(box.system32, name))
                self.run_tool()
                for name in RUNTIME_FILES:
                    self.assertEqual(expected, self.system32_file(name), name)
                self.assertEqual(self.destination_entries() +
                                 error_report(b"RegDeleteKey", ERROR_FILE_NOT_FOUND), self.log())

    def test_missing_sources_still_reach_the_registry(self):
        box.set_pending_value(REG_MULTI_SZ, multi_sz("\\??\\C:\\a.tmp", ""))
        self.run_tool()
        self.assertEqual(self.both_copied_entries(), self.log())
        for name in RUNTIME_FILES:
            self.assertIsNone(self.system32_file(name), name)
        self.assertIsNone(box.pending_value())


class LogFileTest(DllmendRun):
    def test_continues_a_last_line_without_a_line_end(self):
        self.place_sources()
        box.set_pending_value(REG_MULTI_SZ, b"")
        with open(os.path.join(self.cwd, "dllmend.log"), "wb") as f:
            f.write(b"cut\r\nshort")
        self.run_tool()
        self.assertEqual(b"cut\r\nshort" + self.both_copied_entries(), self.log())

    def test_writes_while_another_process_holds_the_log_open(self):
        self.place_sources()
        box.set_pending_value(REG_MULTI_SZ, b"")
        self.run_tool(holding=os.path.join(self.cwd, "dllmend.log"))
        self.assertEqual(self.both_copied_entries(), self.log(),
                         "the log is opened shared for reading and writing")

    def test_a_folder_named_like_the_log_takes_no_entry(self):
        self.place_sources()
        box.set_pending_value(REG_MULTI_SZ, b"")
        os.mkdir(os.path.join(self.cwd, "dllmend.log"))
        self.run_tool()
        self.assertEqual([], os.listdir(os.path.join(self.cwd, "dllmend.log")))
        for name in RUNTIME_FILES:
            self.assertEqual(SOURCE_BYTES[name], self.system32_file(name), name)
        self.assertIsNone(box.pending_value())


class PendingRenamesTest(DllmendRun):
    def test_deletes_the_value_whatever_its_type(self):
        cases = [("multi-string", REG_MULTI_SZ, multi_sz("\\??\\C:\\x.dll", "\\??\\C:\\y.dll")),
                 ("string", REG_SZ, b"\\??\\C:\\x.dll\0"),
                 ("binary", REG_BINARY, b"\x01\x02\xfe"),
                 ("empty", REG_MULTI_SZ, b"")]
        for what, value_type, data in cases:
            with self.subTest(what):
                self.setUp()
                box.set_pending_value(value_type, data)
                self.assertEqual((value_type, data), box.pending_value(), "set up")
                self.run_tool()
                self.assertIsNone(box.pending_value())
                self.assertEqual(self.both_copied_entries(), self.log(), "no report")

    def test_a_queued_deletion_no_longer_happens_at_the_restart(self):
        victim = os.path.join(box.prefix, "drive_c", "queued-for-deletion.txt")
        windows_victim = "C:\\queued-for-deletion.txt"

        for run_tool, survives in [(False, False), (True, True)]:
            with self.subTest("with dllmend" if run_tool else "control, without dllmend"):
                self.setUp()
                with open(victim, "wb") as f:
                    f.write(b"still needed")
                box.queue_deletion(windows_victim)
                self.assertIsNotNone(box.pending_value(), "deletion queued")
                if run_tool:
                    self.run_tool()
                box.restart()
                self.assertEqual(survives, os.path.exists(victim), "file there after restart")
                if os.path.exists(victim):
                    os.remove(victim)


def main():
    global box, tool
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--tool", required=True, help="the x86-64 dllmend.exe")
    parser.add_argument("--helper", required=True, help="dllmend_wine_helper.exe")
    parser.add_argument("--work", required=True, help="a folder for the throwaway prefix")
    args, rest = parser.parse_known_args()
    tool = os.path.abspath(args.tool)
    box = WineBox(args.work, os.path.abspath(args.helper))
    try:
        unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
    finally:
        box.stop()  # whatever happened, no Wine process outlives the suite


if __name__ == "__main__":
    main()
