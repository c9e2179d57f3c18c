"""A throwaway Wine prefix that plays a Windows machine for dllmend.

Wine runs with its output going to files, never pipes: its helper processes
outlive the call and would hold a pipe open.
"""

import collections
import os
import shutil
import subprocess
import tempfile

WINE64 = "/usr/lib/wine/wine64"
RUNTIME_FILES = ("msvcp70.dll", "msvcr70.dll")

# What a started program did: its exit code, the bytes it wrote to stdout and
# stderr, and the microseconds from its start to its end.
Run = collections.namedtuple("Run", "status out err microseconds")


def windows_path(unix_path):
    """The path as a Windows program under Wine sees it, through drive Z:."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


class WineBox:
    def __init__(self, folder, helper):
        self.folder = os.path.abspath(folder)
        self.prefix = os.path.join(self.folder, "prefix")
        self.helper_exe = helper
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        # Whatever Wine writes for the desktop stays in the throwaway folder too.
        for variable, name in (("XDG_CONFIG_HOME", "config"), ("XDG_DATA_HOME", "data"),
                               ("XDG_CACHE_HOME", "cache")):
            self.env[variable] = os.path.join(self.folder, "xdg", name)
        self.env.pop("DISPLAY", None)

    # Life of the prefix

    def create(self):
        """A new prefix, its system set up and its server kept running."""
        self.stop()
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        self.wine(["wineboot", "-i"])
        self._server(["-w"])
        self._server(["-p"])
        self.system32 = os.path.join(self.prefix, "drive_c", "windows", "system32")

    def restart(self):
        """Wine's simulated restart, which carries out the queued renames
        before it returns."""
        self.wine(["wineboot", "-r"])

    def stop(self):
        if os.path.isdir(self.prefix):
            self._server(["-k"])

    def _server(self, args):
        subprocess.run(["wineserver"] + args, env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)

    # Running Windows programs

    def wine(self, args, cwd=None):
        """Runs a Windows program; returns (exit status, stdout bytes)."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            status = subprocess.run([WINE64] + args, cwd=cwd or self.folder, env=self.env,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                    check=False, timeout=300).returncode
            out.seek(0)
            return status, out.read()

    def helper(self, *args, cwd=None):
        status, out = self.wine([self.helper_exe] + list(args), cwd=cwd)
        text = out.decode("latin-1").strip()
        if status != 0:
            raise RuntimeError("helper %s failed (%d): %s" % (args[0], status, text))
        return text

    def run_command_line(self, command_line, cwd, holding=None):
        """Starts a raw Windows command line from `cwd`, optionally while another
        process holds the file `holding` open, shared for reading and writing.

        Returns a Run."""
        capture = tempfile.mkdtemp(dir=self.folder, prefix="capture-")
        out, err = os.path.join(capture, "out"), os.path.join(capture, "err")
        hold = ["run-holding", windows_path(holding)] if holding else ["run"]
        report = self.helper(*hold, windows_path(out), windows_path(err),
                             command_line.encode("latin-1").hex(), cwd=cwd)
        fields = report.split()
        values = dict(zip(fields[0::2], fields[1::2]))
        if "exit" not in values:
            raise RuntimeError("could not start %r: %s" % (command_line, report))
        with open(out, "rb") as o, open(err, "rb") as e:
            run = Run(int(values["exit"]), o.read(), e.read(), int(values["microseconds"]))
        shutil.rmtree(capture)
        return run

    # The machine's state

    def windows_directory(self):
        return self.helper("windows-directory")

    def message_text(self, code):
        """The system's text for `code` as dllmend looks it up, or None."""
        target = os.path.join(self.folder, "message.bin")
        if self.helper("message", str(code), windows_path(target)) == "none":
            return None
        with open(target, "rb") as f:
            text = f.read()
        os.remove(target)
        return text

    def set_pending_value(self, value_type, data):
        self.helper("set-value", str(value_type), data.hex())

    def pending_value(self):
        """None when absent, else (type, bytes)."""
        report = self.helper("get-value")
        if report == "absent":
            return None
        value_type, _, data = report.partition(" ")
        return int(value_type), bytes.fromhex(data)

    def delete_pending_value(self):
        self.helper("delete-value")

    def queue_deletion(self, windows_file):
        self.helper("queue-delete", windows_file)

    def remove_runtime_files(self):
        """Plays the damaged machine: neither runtime file in system32."""
        for name in RUNTIME_FILES:
            path = os.path.join(self.system32, name)
            if os.path.isdir(path) and not os.path.islink(path):
                shutil.rmtree(path)
            elif os.path.lexists(path):
                os.chmod(path, 0o644)
                os.remove(path)
