#!/usr/bin/env python3
"""Checks the release executable's PE header and import table.

Fails on any imported DLL or function that the reviewed allow-list does not
name, so that a new import is looked at (is it in Windows XP SP3? does it
load a DLL that a damaged machine may lack?) before it lands.
"""

import argparse
import re
import subprocess
import sys


def read_allow_list(path):
    allowed = set()
    with open(path) as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                dll, function = line.split()
                allowed.add((dll.lower(), function))
    return allowed


def read_imports(objdump, exe):
    dump = subprocess.run([objdump, "-p", exe], check=True, capture_output=True,
                          text=True).stdout
    header = dict(re.findall(r"^(\w+)\s+(\S+)", dump, re.M))
    imports = set()
    dll = None
    for line in dump.splitlines():
        named = re.match(r"\s*DLL Name: (\S+)", line)
        if named:
            dll = named.group(1)
            continue
        if not line.strip():
            continue
        entry = re.match(r"\s*[0-9a-f]+\s+([0-9a-f]+)\s+(\S+)\s*$", line)
        if dll and entry and not line.strip().startswith("vma"):
            imports.add((dll.lower(), entry.group(2)))
        elif dll and not line.startswith("\t"):
            dll = None
    return header, dump, imports


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--allow", required=True, help="the reviewed allow-list")
    parser.add_argument("exe")
    args = parser.parse_args()

    allowed = read_allow_list(args.allow)
    header, dump, imports = read_imports(args.objdump, args.exe)
    failures = []

    def expect(what, expected, got):
        if expected != got:
            failures.append("%s: expected %s, got %s" % (what, expected, got))

    expect("file format", True, "file format pei-i386" in dump)
    expect("subsystem", "00000003", header.get("Subsystem"))
    subsystem = (int(header.get("MajorSubsystemVersion", "99")),
                 int(header.get("MinorSubsystemVersion", "99")))
    expect("subsystem version at most 5.01", True, subsystem <= (5, 1))
    expect("some imports found", True, bool(imports))
    for dll, function in sorted(imports - allowed):
        failures.append("import not on the allow-list: %s!%s" % (dll, function))

    for failure in failures:
        print("FAIL " + failure)
    print("%d imports from %s checked against %s" %
          (len(imports), ", ".join(sorted({d for d, _ in imports})), args.allow))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
