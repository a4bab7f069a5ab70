#!/usr/bin/python3
"""Checks that the checks of device images would see the image writer's mistakes: it writes
the device's velmot.exe again with cmake/ce_image.py, once as it is and once with each mistake
that the writer could make planted in what it writes, and requires the image checks
(check_image.py) or the runner's loader (image_dump) to refuse every planted one and neither
to refuse the one as it is.

Usage: check_writer.py VELMOT_ELF DEVICE_RES HOST_RES IMAGE_DUMP INTERFACE
"""
import os
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../cmake"))
import ce_image  # noqa: E402

from checks import check, finish  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


def section(program, name):
    return next(s for s in program.sections if s.name == name)


def shift_section(program):
    section(program, ".rdata").rva += 1


def shift_imports(program):
    rva, size = program.imports
    program.imports = (rva + 1, size)


def drop_last_import(program):
    # The last name of the first library: its lookup entry and its address slot become the
    # ends of their tables.
    idata = section(program, ".idata")
    data = bytearray(idata.data)
    lookup = struct.unpack_from("<I", data, program.imports[0] - idata.rva)[0] - idata.rva
    slots = struct.unpack_from("<I", data, program.imports[0] - idata.rva + 16)[0] - idata.rva
    count = 0
    while struct.unpack_from("<I", data, lookup + 4 * count)[0] != 0:
        count += 1
    struct.pack_into("<I", data, lookup + 4 * (count - 1), 0)
    struct.pack_into("<I", data, slots + 4 * (count - 1), 0)
    idata.data = bytes(data)


def bss_with_data(program):
    bss = section(program, ".bss")
    bss.data = bytes(bss.virtual_size)


def entry_outside_text(program):
    program.entry = section(program, ".rdata").rva


MISTAKES = {
    "a section's address off by one": shift_section,
    "the import directory's address off by one": shift_imports,
    "an import missing from the table": drop_last_import,
    ".bss given file data": bss_with_data,
    "the entry outside .text": entry_outside_text,
}


def refusals(path, host_res, image_dump, interface):
    """What refuses the image: the image checks, the runner's loader, both or neither."""
    checks = subprocess.run([sys.executable, os.path.join(HERE, "check_image.py"), path,
                             host_res, interface], capture_output=True, text=True)
    loader = subprocess.run([image_dump, path], capture_output=True, text=True)
    found = []
    if checks.returncode != 0:
        found.append("image checks: " + next(
            (line.strip() for line in checks.stdout.splitlines() if "FAIL" in line), "?"))
    if loader.returncode != 0:
        found.append("loader: " + (loader.stderr.strip().splitlines() or ["?"])[-1])
    return found


def main():
    elf, device_res, host_res, image_dump, interface = sys.argv[1:6]
    print("== Checking that the image checks and the loader refuse the writer's mistakes")
    with tempfile.TemporaryDirectory() as work:
        for name, plant in [("no mistake", None)] + list(MISTAKES.items()):
            program = ce_image.read_program(elf)
            ce_image.add_resources(program, ce_image.read_res(device_res))
            if plant:
                plant(program)
            path = os.path.join(work, "velmot.exe")
            with open(path, "wb") as out:
                out.write(ce_image.write_image(program, 0))
            found = refusals(path, host_res, image_dump, interface)
            if plant:
                check(f"refused: {name}", bool(found), "; ".join(found) or "accepted by both")
            else:
                check("the image written again without a mistake passes both", not found,
                      "; ".join(found))
    return finish("writer's planted mistakes")


if __name__ == "__main__":
    sys.exit(main())
