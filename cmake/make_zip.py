#!/usr/bin/python3
"""Writes a release ZIP whose bytes depend only on its files and the given time.

Usage: make_zip.py OUTPUT EPOCH FOLDER FILE...

Puts each FILE, under its own name, into the one folder FOLDER of the ZIP OUTPUT: the
entries in order of name, each with the time EPOCH (seconds since 1970, taken as UTC), the
same attributes (an ordinary, read-write file) and the same compression, so that two builds
of one commit give the same ZIP wherever and whenever they run.
"""
import os
import sys
import time
import zipfile

# DOS times start in 1980.
EARLIEST = (1980, 1, 1, 0, 0, 0)
# An ordinary file: Unix mode rw-r--r-- in the high half, MS-DOS "archive" in the low byte.
ATTRIBUTES = (0o100644 << 16) | 0x20


def main(argv):
    if len(argv) < 4 or not argv[1].isdigit():
        print("usage: make_zip.py OUTPUT EPOCH FOLDER FILE...", file=sys.stderr)
        return 2
    output, epoch, folder, files = argv[0], int(argv[1]), argv[2], argv[3:]
    stamp = max(EARLIEST, tuple(time.gmtime(epoch))[:6])
    temporary = output + ".writing"
    with zipfile.ZipFile(temporary, "w") as archive:
        for path in sorted(files, key=os.path.basename):
            entry = zipfile.ZipInfo(f"{folder}/{os.path.basename(path)}", date_time=stamp)
            entry.create_system = 3
            entry.external_attr = ATTRIBUTES
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as data:
                archive.writestr(entry, data.read(), compresslevel=9)
    os.replace(temporary, output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
