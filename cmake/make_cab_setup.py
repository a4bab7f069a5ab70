#!/usr/bin/python3
"""Writes the set-up file (the ".000" file) of Velmot's Pocket PC installation cabinet: the
instructions that the device's installer, wceload.exe, follows. The cabinet itself is made by
gcab; this writes only what no packaged tool writes.

Usage: make_cab_setup.py OUTPUT

The layout is the "Windows CE installation cabinet (.CAB) file format" as the cabextract
project describes it: a fixed header of 100 bytes, then the APPNAME and PROVIDER strings and
the STRINGS, DIRS, FILES, REGHIVES, REGKEYS and LINKS sections, each entry packed without
padding, every number little-endian. What Velmot's set-up says:

- application "Velmot" by "Velmot Project", for StrongARM processors (every ARM Pocket PC, XScale
  ones included), Windows CE 3.0 or later;
- velmot.exe (the cabinet's file number 1) goes into \\Program Files\\Velmot;
- a shortcut "Velmot" to it in the Start menu's Programs folder;
- nothing in the registry.
"""
import struct
import sys

SIGNATURE = b"MSCE"
HEADER_SIZE = 100
ARCHITECTURE_STRONGARM = 2577
MIN_VERSION = (3, 0)  # Windows CE 3.0; a maximum of 0.0 sets no limit
# The maximum build number doubles as a mark that Windows Mobile 2003 Second Edition and later
# read on a cabinet whose minimum version is below 4.21: 0xA0000000 says the program is ready
# for square screens, 0xC0000000 for rotated ones, 0xE0000000 for both. Without it they warn
# after the install that the program "may not display properly". Velmot's full-screen dialog
# and menu fit portrait, landscape and square screens (the host tests check all three).
MAX_BUILD = 0xE0000000
APPNAME = "Velmot"
PROVIDER = "Velmot Project"

# STRINGS: the names that the other sections refer to by number.
STRINGS = {1: "%CE1%", 2: "Velmot"}
# DIRS: %CE1% is \Program Files.
DIRS = {1: [1, 2]}
# FILES: (file number, directory, flags, name on the device). The flags always overwrite an
# installed copy whatever its date (0x40000000) and never skip the file (0x00000002).
FILES = [(1, 1, 0x40000002, "velmot.exe")]
# LINKS: (link number, base directory, file number, name). Base 11 is %CE11%, the Start
# menu's Programs folder; the name leaves out ".lnk", as the installer's shortcut names do.
LINKS = [(1, 11, 1, [2])]


def string_ids(ids):
    """A path as the format spells it: string numbers, ended by 0."""
    return struct.pack(f"<{len(ids) + 1}H", *ids, 0)


def ascii_z(text):
    return text.encode("ascii") + b"\0"


def strings_section():
    out = b""
    for number, text in STRINGS.items():
        out += struct.pack("<HH", number, len(ascii_z(text))) + ascii_z(text)
    return out


def dirs_section():
    out = b""
    for number, path in DIRS.items():
        ids = string_ids(path)
        out += struct.pack("<HH", number, len(ids)) + ids
    return out


def files_section():
    out = b""
    for number, directory, flags, name in FILES:
        out += struct.pack("<HHHIH", number, directory, number, flags, len(ascii_z(name)))
        out += ascii_z(name)
    return out


def links_section():
    out = b""
    for number, base, file_number, name in LINKS:
        ids = string_ids(name)
        # The second field's purpose is unknown (0); type 1 links to a file.
        out += struct.pack("<HHHHHH", number, 0, base, file_number, 1, len(ids)) + ids
    return out


def setup_file():
    appname, provider = ascii_z(APPNAME), ascii_z(PROVIDER)
    # The sections in their usual order, right after the header; REGHIVES and REGKEYS are
    # empty, and so is the UNSUPPORTED list (offset and length 0).
    parts = [appname, provider, strings_section(), dirs_section(), files_section(), b"", b"",
             links_section()]
    offsets = []
    at = HEADER_SIZE
    for part in parts:
        offsets.append(at)
        at += len(part)
    appname_at, provider_at, strings_at, dirs_at, files_at, hives_at, keys_at, links_at = offsets

    header = SIGNATURE
    header += struct.pack("<IIIII", 0, at, 0, 1, ARCHITECTURE_STRONGARM)
    header += struct.pack("<IIII", MIN_VERSION[0], MIN_VERSION[1], 0, 0)  # min and max
    header += struct.pack("<II", 0, MAX_BUILD)  # min build: none; max build: the screens mark
    header += struct.pack("<6H", len(STRINGS), len(DIRS), len(FILES), 0, 0, len(LINKS))
    header += struct.pack("<6I", strings_at, dirs_at, files_at, hives_at, keys_at, links_at)
    header += struct.pack("<4H", appname_at, len(appname), provider_at, len(provider))
    header += struct.pack("<4H", 0, 0, 0, 0)  # UNSUPPORTED, then two unknown fields
    assert len(header) == HEADER_SIZE
    return header + b"".join(parts)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_cab_setup.py OUTPUT")
    with open(sys.argv[1], "wb") as out:
        out.write(setup_file())


if __name__ == "__main__":
    main()
