#!/usr/bin/python3
"""Finishes the linked velmot.exe: points its load-configuration directory at its
_load_config_used record and gives it the release's time stamps.

Usage: finish_image.py IMAGE MAP EPOCH

  IMAGE  the linked (stripped) velmot.exe; rewritten in place
  MAP    the link map that GNU ld wrote for it (-Wl,-Map), where the record's address is
  EPOCH  the time stamp, in seconds since 1970 (SOURCE_DATE_EPOCH, or the commit's time)

GNU ld keeps the record that desktop/load_config.cpp defines but leaves the image's
load-configuration directory (data directory 10) empty, so the loader would never read it.
This sets the directory to the record's address and to the size that the record's first
field gives. The link time stamp and the resource directories' time stamps, which the tools
take from the clock, become EPOCH, so that one commit always gives the same bytes. Then it
recomputes the image's checksum when the image has one. It fails, naming
the reason, when the map does not name the record, when the record is not inside the image,
or when its size field is implausible; the build then fails as well.
"""
import os
import re
import sys

import pefile

SYMBOL = "_load_config_used"
LOAD_CONFIG = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG"]
# The record's fields up to and with DependentLoadFlags (offset 0x4E): a smaller record
# would not hold it.
MINIMUM_SIZE = 0x50


def fail(message):
    print(f"finish_image.py: {message}", file=sys.stderr)
    sys.exit(1)


def symbol_address(map_path):
    """The virtual address that the link map gives the symbol, or None."""
    # ld lists a symbol as "<spaces>0x<address><spaces><name>" under its input section.
    pattern = re.compile(r"^\s+0x([0-9a-fA-F]+)\s+" + re.escape(SYMBOL) + r"\s*$")
    with open(map_path, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            match = pattern.match(line)
            if match:
                return int(match.group(1), 16)
    return None


def resource_directories(directory):
    """Every directory of the resource tree, from its root down."""
    if directory is None:
        return
    yield directory.struct
    for entry in directory.entries:
        if hasattr(entry, "directory"):
            yield from resource_directories(entry.directory)


def main():
    if len(sys.argv) != 4 or not sys.argv[3].isdigit() or int(sys.argv[3]) >= 1 << 32:
        fail("usage: finish_image.py IMAGE MAP EPOCH (EPOCH: seconds, fitting 32 bits)")
    image_path, map_path, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
    address = symbol_address(map_path)
    if address is None:
        fail(f"the link map {map_path} does not name {SYMBOL}: the image has no load "
             "configuration record (was desktop/load_config.cpp linked, and kept?)")
    pe = pefile.PE(image_path)
    rva = address - pe.OPTIONAL_HEADER.ImageBase
    if pe.get_section_by_rva(rva) is None:
        fail(f"{SYMBOL} at 0x{address:x} (RVA 0x{rva:x}) is in no section of {image_path}")
    size = pe.get_dword_at_rva(rva)
    section = pe.get_section_by_rva(rva)
    room = section.VirtualAddress + section.Misc_VirtualSize - rva
    if size is None or size < MINIMUM_SIZE or size > room:
        fail(f"{SYMBOL}'s size field is {size}; expected at least {MINIMUM_SIZE} and at most "
             f"the {room} bytes left in its section")
    directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[LOAD_CONFIG]
    directory.VirtualAddress = rva
    directory.Size = size
    pe.FILE_HEADER.TimeDateStamp = epoch
    for stamped in resource_directories(getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)):
        stamped.TimeDateStamp = epoch
    data = pe.write()
    pe.close()
    # The checksum covers the headers just changed; an image without one keeps none.
    patched = pefile.PE(data=bytes(data))
    if patched.OPTIONAL_HEADER.CheckSum != 0:
        patched.OPTIONAL_HEADER.CheckSum = patched.generate_checksum()
        data = patched.write()
        if not pefile.PE(data=bytes(data)).verify_checksum():
            fail("the recomputed checksum does not verify")
    temporary = image_path + ".patching"
    with open(temporary, "wb") as out:
        out.write(data)
    os.replace(temporary, image_path)
    print(f"   {os.path.basename(image_path)}: load configuration at RVA 0x{rva:x}, "
          f"{size} bytes")


if __name__ == "__main__":
    main()
