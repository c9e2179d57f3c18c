#!/usr/bin/env python3
"""Checks the release zip: exactly the executable, the README and SHA256SUMS
in one folder, the checksums right, and the executable the one just built."""

import argparse
import hashlib
import sys
import zipfile


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--exe", required=True, help="the built release executable")
    parser.add_argument("--readme", required=True)
    parser.add_argument("zip")
    args = parser.parse_args()
    folder = args.zip.rsplit("/", 1)[-1][:-len(".zip")]
    failures = []

    def expect(what, expected, got):
        if expected != got:
            failures.append("%s: expected %r, got %r" % (what, expected, got))

    with zipfile.ZipFile(args.zip) as package:
        names = sorted(package.namelist())
        expect("contents", sorted(folder + "/" + n for n in
                                  ("dllmend.exe", "README.md", "SHA256SUMS")), names)
        files = {n.split("/", 1)[1]: package.read(n) for n in names if "/" in n}
    sums = {}
    for line in files.get("SHA256SUMS", b"").decode().splitlines():
        digest, name = line.split("  ", 1)
        sums[name] = digest
    expect("files in SHA256SUMS", ["README.md", "dllmend.exe"], sorted(sums))
    for name, digest in sums.items():
        expect("SHA-256 of " + name, digest, hashlib.sha256(files.get(name, b"")).hexdigest())
    with open(args.exe, "rb") as exe, open(args.readme, "rb") as readme:
        expect("packaged executable is the built one", True, files.get("dllmend.exe") == exe.read())
        expect("packaged README is the project's", True, files.get("README.md") == readme.read())

    for failure in failures:
        print("FAIL " + failure)
    print("%s: %s" % (args.zip, ", ".join(names)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
