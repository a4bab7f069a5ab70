#!/usr/bin/python3
"""Checks the runner's own reader of device images against pefile: both read the same
executable, and every header field, section, import and resource that the runner uses must
come out the same.

Usage: check_reader.py IMAGE_DUMP EXE

  IMAGE_DUMP  the host build's image_dump, which prints what the runner's reader reads
  EXE         a device image (the device build's velmot.exe)
"""
import subprocess
import sys

import pefile

from checks import check, finish


def pefile_lines(path):
    pe = pefile.PE(path)
    header, optional = pe.FILE_HEADER, pe.OPTIONAL_HEADER
    lines = [
        f"machine {header.Machine:#x} subsystem {optional.Subsystem} "
        f"{optional.MajorSubsystemVersion}.{optional.MinorSubsystemVersion}",
        f"base {optional.ImageBase:#x} size {optional.SizeOfImage:#x} headers "
        f"{optional.SizeOfHeaders:#x} entry {optional.AddressOfEntryPoint:#x} stack "
        f"{optional.SizeOfStackReserve:#x}",
    ]
    for s in pe.sections:
        name = s.Name.rstrip(b"\0").decode()
        lines.append(f"section {name} {s.VirtualAddress:#x} {s.Misc_VirtualSize:#x} "
                     f"{s.PointerToRawData:#x} {s.SizeOfRawData:#x} {s.Characteristics:#x}")
    for d in pe.DIRECTORY_ENTRY_IMPORT:
        for i in d.imports:
            slot = i.address - optional.ImageBase
            if i.import_by_ordinal:
                lines.append(f"import {d.dll.decode()} - {i.ordinal} {slot:#x}")
            else:
                lines.append(f"import {d.dll.decode()} {i.name.decode()} {i.hint} {slot:#x}")
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            for lang in n.directory.entries:
                type_id = t.id if t.id is not None else -1
                name_id = n.id if n.id is not None else -1
                lines.append(f"resource {type_id} {name_id} {lang.id} "
                             f"{lang.data.struct.OffsetToData:#x} {lang.data.struct.Size}")
    return lines


def main():
    dump, exe = sys.argv[1:3]
    ours = subprocess.run([dump, exe], check=True, capture_output=True, text=True).stdout
    ours = ours.splitlines()
    theirs = pefile_lines(exe)
    differences = "\n".join(f"  runner: {a!r}\n  pefile: {b!r}"
                            for a, b in zip(ours, theirs) if a != b)
    check(f"the runner's reader reads the {len(theirs)} header, section, import and resource "
          "lines as pefile does", ours == theirs,
          "" if ours == theirs else differences or f"{len(ours)} lines against {len(theirs)}")
    sys.exit(finish("runner's reading of the image"))


if __name__ == "__main__":
    main()
