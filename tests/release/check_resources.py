#!/usr/bin/env python3
"""Reads the version resource and the manifest back from a built executable
and checks what they say."""

import argparse
import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_VERSION, RT_MANIFEST = 16, 24
SUPPORTED_OS = {
    "Windows Vista": "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
    "Windows 7": "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "Windows 8": "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "Windows 8.1": "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "Windows 10 and 11": "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}


def read_resources(image):
    """{(type id, name id): bytes} of a PE image's resource section."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    resource_rva = struct.unpack_from("<I", image, directories + 2 * 8)[0]
    if resource_rva == 0:
        return {}
    table = optional + optional_size
    spans = []
    for i in range(sections):
        size, rva, raw_size, raw = struct.unpack_from("<IIII", image, table + 40 * i + 8)
        spans.append((rva, max(size, raw_size), raw))

    def offset(rva):
        for start, size, raw in spans:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError("RVA %#x outside every section" % rva)

    base = offset(resource_rva)
    found = {}

    def walk(directory, path):
        named, ids = struct.unpack_from("<HH", image, base + directory + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", image, base + directory + 16 + 8 * i)
            if target & 0x80000000:
                walk(target & 0x7FFFFFFF, path + [name])
            else:
                rva, size = struct.unpack_from("<II", image, base + target)
                found[tuple(path[:2])] = image[offset(rva):offset(rva) + size]

    walk(0, [])
    return found


def parse_version_block(data, at=0):
    """(key, value, children) of one VS_VERSIONINFO-style block."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_start = at + 6
    key_end = key_start
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[key_start:key_end].decode("utf-16-le")
    pos = (key_end + 2 + 3) & ~3
    value_bytes = value_length * 2 if value_type == 1 else value_length
    value = data[pos:pos + value_bytes]
    pos = (pos + value_bytes + 3) & ~3
    children = []
    while pos < end:
        child = parse_version_block(data, pos)
        children.append(child[:3])
        pos = (pos + child[3] + 3) & ~3
    return key, value, children, length


def version_strings(block):
    key, value, children = block[:3]
    strings = {}
    for child in children:
        child_key, child_value, grandchildren = child
        if grandchildren:
            strings.update(version_strings(child))
        elif key != "VarFileInfo":
            strings[child_key] = child_value.decode("utf-16-le").rstrip("\0")
    return strings


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--version", required=True, help="the project's version, e.g. 1.0.0")
    parser.add_argument("exe")
    args = parser.parse_args()
    with open(args.exe, "rb") as f:
        resources = read_resources(f.read())
    failures = []

    def expect(what, expected, got):
        if expected != got:
            failures.append("%s: expected %r, got %r" % (what, expected, got))

    version = resources.get((RT_VERSION, 1))
    expect("version resource present", True, version is not None)
    if version is not None:
        block = parse_version_block(version)
        expect("version resource key", "VS_VERSION_INFO", block[0])
        fixed = struct.unpack_from("<13I", block[1])
        numbers = tuple(int(n) for n in args.version.split(".")) + (0,)
        expect("fixed-info signature", 0xFEEF04BD, fixed[0])
        expect("binary file version", numbers,
               (fixed[2] >> 16, fixed[2] & 0xFFFF, fixed[3] >> 16, fixed[3] & 0xFFFF))
        expect("binary product version", numbers,
               (fixed[4] >> 16, fixed[4] & 0xFFFF, fixed[5] >> 16, fixed[5] & 0xFFFF))
        strings = version_strings(block)
        expect("FileDescription given", True, bool(strings.get("FileDescription")))
        for key, expected in [("ProductName", "dllmend"), ("FileVersion", args.version),
                              ("ProductVersion", args.version), ("InternalName", "dllmend"),
                              ("OriginalFilename", "dllmend.exe")]:
            expect(key, expected, strings.get(key))

    manifest = resources.get((RT_MANIFEST, 1))
    expect("manifest present as resource 1", True, manifest is not None)
    if manifest is not None:
        root = ElementTree.fromstring(manifest)
        levels = [(e.get("level"), e.get("uiAccess")) for e in root.iter()
                  if e.tag.endswith("}requestedExecutionLevel")]
        expect("requested execution level", [("asInvoker", "false")], levels)
        listed = {e.get("Id") for e in root.iter() if e.tag.endswith("}supportedOS")}
        for system, guid in SUPPORTED_OS.items():
            expect("supportedOS " + system, True, guid in listed)

    for failure in failures:
        print("FAIL " + failure)
    print("resources of %s: %s" % (args.exe, sorted(resources)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
