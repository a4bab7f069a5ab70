#!/usr/bin/python3
"""Writes a Windows CE executable for ARM (a Pocket PC 2002, Windows CE 3.0) from the program
that Debian's arm-none-eabi toolchain compiles and links. No Debian tool writes a PE image for
ARM, so this one does, in two steps:

  ce_image.py imports --header H --image-base B -o imports.s OBJECT...
      The assembly of the image's imports: for every name that the objects call and none of
      them defines, the import table's entries (by name, from the library that the
      interface header H declares it in: COREDLL_API or AYGSHELL_API) and a small ARM thunk
      that jumps through the import address table. A name that no library exports is an
      error that names it.

  ce_image.py image --res R [--epoch SECONDS | --epoch-file F] -o velmot.exe velmot.elf
      The executable: the MS-DOS header and stub, the PE headers (ARM, subsystem 9 version
      3.00, the linked image base, a 64 KiB stack, the entry at WinMain), the linked sections
      at their addresses (.bss without file data), then .rsrc built from the compiled resource
      file R. The link time stamp is SOURCE_DATE_EPOCH's (or --epoch's), the resource
      directories' are 0, and the checksum is the image's own.

The linker script (cmake/ce_image.ld) puts the sections at their image addresses, so the ELF's
addresses are the image's and no relocation is needed: a Windows CE executable always loads at
its image base, and the image says that its relocations are stripped.
"""
import argparse
import os
import re
import struct
import sys

from elftools.elf.constants import SH_FLAGS
from elftools.elf.elffile import ELFFile

SECTION_ALIGNMENT = 0x1000
FILE_ALIGNMENT = 0x200
STACK_RESERVE = 0x10000
LIBRARIES = {"COREDLL": "COREDLL.dll", "AYGSHELL": "AYGSHELL.dll"}
ENTRY = "WinMain"

# Section characteristics.
CODE, INITIALIZED, UNINITIALIZED = 0x20, 0x40, 0x80
EXECUTE, READ, WRITE = 0x20000000, 0x40000000, 0x80000000


class ImageError(Exception):
    pass


def align(value, to):
    return (value + to - 1) // to * to


# ---- Imports --------------------------------------------------------------------------------

def declared_exports(header_text):
    """name -> library file, from the interface header's COREDLL_API and AYGSHELL_API
    declarations."""
    exports = {}
    pattern = r"^(" + "|".join(LIBRARIES) + r")_API\s[^;(]*?\b(\w+)\s*\("
    for match in re.finditer(pattern, header_text, re.M):
        exports[match.group(2)] = LIBRARIES[match.group(1)]
    return exports


def called_names(objects):
    """The global names that the objects refer to and none of them defines."""
    defined, undefined = set(), set()
    for path in objects:
        with open(path, "rb") as stream:
            symbols = ELFFile(stream).get_section_by_name(".symtab")
            for symbol in symbols.iter_symbols() if symbols else []:
                if not symbol.name or symbol["st_info"]["bind"] not in ("STB_GLOBAL", "STB_WEAK"):
                    continue
                if symbol["st_shndx"] == "SHN_UNDEF":
                    undefined.add(symbol.name)
                else:
                    defined.add(symbol.name)
    return undefined - defined


def imports_assembly(objects, header, image_base):
    exports = declared_exports(open(header, encoding="utf-8").read())
    names = sorted(called_names(objects))
    unknown = [n for n in names if n not in exports]
    if unknown:
        raise ImageError(f"the program calls {', '.join(unknown)}, which no library of the device "
                         f"exports as {header} declares (COREDLL_API or AYGSHELL_API)")
    by_library = {}
    for name in names:
        by_library.setdefault(exports[name], []).append(name)
    libraries = [lib for lib in LIBRARIES.values() if lib in by_library]

    def rva(label):
        return f"{label} - {image_base:#x}"

    out = ["@ The imports of the device image, written by cmake/ce_image.py.", "\t.arm", "",
           "@ One thunk per import: ip = the import's address table slot, then jump through it.",
           "\t.section .text.imports,\"ax\",%progbits", "\t.balign 4"]
    for library in libraries:
        for name in by_library[library]:
            out += [f"\t.global {name}", f"\t.type {name}, %function", f"{name}:",
                    "\tldr ip, 1f", "\tldr pc, [ip]", f"1:\t.word __imp_{name}"]
    out += ["", "\t.section .idata,\"aw\",%progbits", "\t.balign 4",
            "\t.global __import_directory, __import_directory_end",
            "\t.global __import_address_table, __import_address_table_end",
            "__import_directory:"]
    for i, library in enumerate(libraries):
        # Lookup table, time stamp, forwarder chain, library name, address table.
        out.append(f"\t.word {rva(f'lookup_{i}')}, 0, 0, {rva(f'library_{i}')}, "
                   f"{rva(f'addresses_{i}')}")
    out += ["\t.word 0, 0, 0, 0, 0", "__import_directory_end:"]
    for i, library in enumerate(libraries):
        out.append(f"lookup_{i}:")
        out += [f"\t.word {rva(f'hint_name_{name}')}" for name in by_library[library]]
        out.append("\t.word 0")
    # The loader writes each export's address over its slot's hint/name reference.
    out.append("__import_address_table:")
    for i, library in enumerate(libraries):
        out.append(f"addresses_{i}:")
        for name in by_library[library]:
            out += [f"__imp_{name}:", f"\t.word {rva(f'hint_name_{name}')}"]
        out.append("\t.word 0")
    out.append("__import_address_table_end:")
    for i, library in enumerate(libraries):
        for name in by_library[library]:
            out += ["\t.balign 2", f"hint_name_{name}:", "\t.hword 0", f"\t.asciz \"{name}\""]
        out.append(f"library_{i}:\t.asciz \"{library}\"")
    return "\n".join(out) + "\n"


# ---- The linked program ---------------------------------------------------------------------

class Section:
    def __init__(self, name, rva, virtual_size, data, characteristics):
        self.name, self.rva, self.virtual_size = name, rva, virtual_size
        self.data, self.characteristics = data, characteristics


class Program:
    """What the image is made of: its sections, entry and directories, as relative virtual
    addresses."""
    def __init__(self):
        self.image_base = 0
        self.sections = []
        self.entry = 0
        self.imports = (0, 0)
        self.address_table = (0, 0)
        self.resources = (0, 0)


def read_program(elf_path):
    program = Program()
    with open(elf_path, "rb") as stream:
        elf = ELFFile(stream)
        if elf["e_machine"] != "EM_ARM" or elf.elfclass != 32 or not elf.little_endian:
            raise ImageError(f"{elf_path} is not a little-endian 32-bit ARM program")
        symbols = {s.name: s["st_value"] for s in elf.get_section_by_name(".symtab").iter_symbols()
                   if s.name}
        for needed in ("__image_base__", ENTRY, "__import_directory", "__import_directory_end",
                       "__import_address_table", "__import_address_table_end"):
            if needed not in symbols:
                raise ImageError(f"{elf_path} defines no {needed}")
        base = program.image_base = symbols["__image_base__"]
        for section in elf.iter_sections():
            flags = section["sh_flags"]
            if not flags & SH_FLAGS.SHF_ALLOC or section["sh_size"] == 0:
                continue
            address, size = section["sh_addr"], section["sh_size"]
            if address < base + SECTION_ALIGNMENT or (address - base) % SECTION_ALIGNMENT:
                raise ImageError(f"section {section.name} at {address:#x} is not on a page of its "
                                 f"own after the headers (image base {base:#x})")
            if section["sh_type"] == "SHT_NOBITS":
                data, kind = b"", UNINITIALIZED | READ | WRITE
            else:
                data = section.data()
                if flags & SH_FLAGS.SHF_EXECINSTR:
                    kind = CODE | EXECUTE | READ
                elif flags & SH_FLAGS.SHF_WRITE:
                    kind = INITIALIZED | READ | WRITE
                else:
                    kind = INITIALIZED | READ
            program.sections.append(Section(section.name, address - base, size, data, kind))
    program.sections.sort(key=lambda s: s.rva)
    program.entry = symbols[ENTRY] - base
    program.imports = (symbols["__import_directory"] - base,
                       symbols["__import_directory_end"] - symbols["__import_directory"])
    program.address_table = (symbols["__import_address_table"] - base,
                             symbols["__import_address_table_end"] -
                             symbols["__import_address_table"])
    return program


# ---- Resources ------------------------------------------------------------------------------

def read_res(path):
    """(type, name, language, data) of every resource of a compiled .res file; type and name
    are numbers or strings."""
    data = open(path, "rb").read()
    entries = []
    offset = 0
    while offset + 8 <= len(data):
        data_size, header_size = struct.unpack_from("<II", data, offset)
        if header_size < 16 or offset + header_size + data_size > len(data):
            raise ImageError(f"{path}: a resource header at {offset:#x} runs past the file")
        ids = []
        at = offset + 8
        for _ in range(2):
            if struct.unpack_from("<H", data, at)[0] == 0xFFFF:
                ids.append(struct.unpack_from("<H", data, at + 2)[0])
                at += 4
            else:
                end = at
                while struct.unpack_from("<H", data, end)[0] != 0:
                    end += 2
                ids.append(data[at:end].decode("utf-16-le").upper())
                at = end + 2
        at = align(at, 4)
        language = struct.unpack_from("<H", data, at + 6)[0]
        start = offset + header_size
        if not (ids == [0, 0] and data_size == 0):  # the file's empty first entry
            entries.append((ids[0], ids[1], language, data[start:start + data_size]))
        offset = align(start + data_size, 4)
    return entries


def resource_section(entries, rva):
    """The .rsrc section's bytes for resources placed at rva: the type, name and language
    directories, their data entries, the names, then the data."""
    def ordered(keys):
        # Named entries first, by name; then numbered ones, by number.
        return sorted(keys, key=lambda k: (0, k, 0) if isinstance(k, str) else (1, "", k))

    tree = {}
    for type_, name, language, data in entries:
        tree.setdefault(type_, {}).setdefault(name, {})[language] = data
    # Directories in breadth-first order, each with its entries' keys.
    directories = [("root", ordered(tree))]
    for type_ in ordered(tree):
        directories.append((("type", type_), ordered(tree[type_])))
    for type_ in ordered(tree):
        for name in ordered(tree[type_]):
            directories.append((("name", type_, name), ordered(tree[type_][name])))
    offsets, at = {}, 0
    for key, keys in directories:
        offsets[key] = at
        at += 16 + 8 * len(keys)
    leaves = [(t, n, lang) for t in ordered(tree) for n in ordered(tree[t])
              for lang in ordered(tree[t][n])]
    for leaf in leaves:
        offsets[("leaf",) + leaf] = at
        at += 16
    strings = sorted({k for t in tree for k in [t, *tree[t]] if isinstance(k, str)})
    for text in strings:
        offsets[("string", text)] = at
        at += 2 + 2 * len(text)
    for leaf in leaves:
        at = align(at, 8)
        offsets[("data",) + leaf] = at
        at += len(tree[leaf[0]][leaf[1]][leaf[2]])

    out = bytearray(at)

    def entry_name(key):
        if isinstance(key, str):
            return 0x80000000 | offsets[("string", key)]
        return key

    for key, keys in directories:
        named = sum(isinstance(k, str) for k in keys)
        struct.pack_into("<IIHHHH", out, offsets[key], 0, 0, 0, 0, named, len(keys) - named)
        for i, k in enumerate(keys):
            if key == "root":
                target = 0x80000000 | offsets[("type", k)]
            elif key[0] == "type":
                target = 0x80000000 | offsets[("name", key[1], k)]
            else:
                target = offsets[("leaf", key[1], key[2], k)]
            struct.pack_into("<II", out, offsets[key] + 16 + 8 * i, entry_name(k), target)
    for leaf in leaves:
        data = tree[leaf[0]][leaf[1]][leaf[2]]
        struct.pack_into("<IIII", out, offsets[("leaf",) + leaf], rva + offsets[("data",) + leaf],
                         len(data), 0, 0)
        out[offsets[("data",) + leaf]:offsets[("data",) + leaf] + len(data)] = data
    for text in strings:
        encoded = struct.pack("<H", len(text)) + text.encode("utf-16-le")
        out[offsets[("string", text)]:offsets[("string", text)] + len(encoded)] = encoded
    return bytes(out)


def add_resources(program, entries):
    end = max(s.rva + s.virtual_size for s in program.sections)
    rva = align(end, SECTION_ALIGNMENT)
    data = resource_section(entries, rva)
    program.sections.append(Section(".rsrc", rva, len(data), data, INITIALIZED | READ))
    program.resources = (rva, len(data))


# ---- The image ------------------------------------------------------------------------------

DOS_STUB = (bytes.fromhex("0e1fba0e00b409cd21b8014ccd21") +
            b"This program cannot be run in DOS mode.\r\r\n$")
PE_OFFSET = 0x80


def checksum(image, field):
    """The PE checksum: the 16-bit one's-complement sum of the file with the checksum field
    left out, plus the file's length."""
    padded = image + b"\0" * (len(image) % 2)
    total = 0
    for at in range(0, len(padded), 2):
        if field <= at < field + 4:
            continue
        total += padded[at] | padded[at + 1] << 8
        total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + (total >> 16) + len(image)) & 0xFFFFFFFF


def write_image(program, epoch):
    sections = program.sections
    optional_size = 96 + 16 * 8
    header_end = PE_OFFSET + 4 + 20 + optional_size + 40 * len(sections)
    size_of_headers = align(header_end, FILE_ALIGNMENT)
    placed, at = [], size_of_headers
    for s in sections:
        raw_size = align(len(s.data), FILE_ALIGNMENT) if s.data else 0
        placed.append((s, at if raw_size else 0, raw_size))
        at += raw_size
    image = bytearray(at)

    dos = struct.pack("<2s13H8s2H20sI", b"MZ", 0x90, 3, 0, 4, 0, 0xFFFF, 0, 0xB8, 0, 0, 0, 0x40,
                      0, b"", 0, 0, b"", PE_OFFSET)
    image[0:len(dos)] = dos
    image[0x40:0x40 + len(DOS_STUB)] = DOS_STUB

    def total(kind):
        return sum(raw if kind != UNINITIALIZED else align(s.virtual_size, FILE_ALIGNMENT)
                   for s, _, raw in placed if s.characteristics & kind)

    code = [s for s in sections if s.characteristics & CODE]
    data = [s for s in sections if not s.characteristics & CODE]
    size_of_image = align(max(s.rva + s.virtual_size for s in sections), SECTION_ALIGNMENT)
    # Relocations stripped, executable, no line numbers or symbols, 32-bit, no debug data.
    characteristics = 0x0001 | 0x0002 | 0x0004 | 0x0008 | 0x0100 | 0x0200
    coff = struct.pack("<4sHHIIIHH", b"PE\0\0", 0x01C0, len(sections), epoch, 0, 0,
                       optional_size, characteristics)
    optional = struct.pack(
        "<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII", 0x10B, 2, 40, total(CODE), total(INITIALIZED),
        total(UNINITIALIZED), program.entry, code[0].rva if code else 0,
        data[0].rva if data else 0, program.image_base, SECTION_ALIGNMENT, FILE_ALIGNMENT,
        3, 0, 0, 0, 3, 0, 0, size_of_image, size_of_headers, 0, 9, 0, STACK_RESERVE, 0x1000,
        0x100000, 0x1000, 0, 16)
    directories = [(0, 0)] * 16
    directories[1] = program.imports
    directories[2] = program.resources
    directories[12] = program.address_table
    optional += b"".join(struct.pack("<II", *d) for d in directories)
    table = b"".join(struct.pack("<8sIIIIIIHHI", s.name.encode()[:8], s.virtual_size, s.rva, raw,
                                 pointer, 0, 0, 0, 0, s.characteristics)
                     for s, pointer, raw in placed)
    headers = coff + optional + table
    image[PE_OFFSET:PE_OFFSET + len(headers)] = headers
    for s, pointer, raw in placed:
        image[pointer:pointer + len(s.data)] = s.data
    field = PE_OFFSET + 4 + 20 + 64
    struct.pack_into("<I", image, field, checksum(image, field))
    return bytes(image)


def build_image(elf, res, epoch):
    program = read_program(elf)
    add_resources(program, read_res(res))
    return write_image(program, epoch)


def source_date_epoch(given):
    if given is not None:
        return given
    value = os.environ.get("SOURCE_DATE_EPOCH", "")
    if not value:
        return 0
    if not value.isdigit() or int(value) >= 1 << 32:
        raise ImageError(f"SOURCE_DATE_EPOCH is {value!r}, not a time in seconds that fits "
                         "the image's 32-bit time stamp")
    return int(value)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    steps = parser.add_subparsers(dest="step", required=True)
    imports = steps.add_parser("imports", help="the assembly of the image's imports")
    imports.add_argument("--header", required=True)
    imports.add_argument("--image-base", required=True, type=lambda v: int(v, 0))
    imports.add_argument("-o", "--output", required=True)
    imports.add_argument("objects", nargs="+")
    image = steps.add_parser("image", help="the executable from the linked program")
    image.add_argument("--res", required=True)
    image.add_argument("--epoch", type=int)
    image.add_argument("--epoch-file", help="a file holding the time stamp, instead of --epoch")
    image.add_argument("-o", "--output", required=True)
    image.add_argument("elf")
    args = parser.parse_args(argv)
    try:
        if args.step == "imports":
            text = imports_assembly(args.objects, args.header, args.image_base)
            with open(args.output, "w", encoding="utf-8") as out:
                out.write(text)
        else:
            epoch = args.epoch
            if args.epoch_file:
                text = open(args.epoch_file, encoding="ascii").read().strip()
                if not text.isdigit() or int(text) >= 1 << 32:
                    raise ImageError(f"{args.epoch_file} holds {text!r}, not a time in seconds "
                                     "that fits the image's 32-bit time stamp")
                epoch = int(text)
            data = build_image(args.elf, args.res, source_date_epoch(epoch))
            with open(args.output, "wb") as out:
                out.write(data)
    except (ImageError, OSError) as error:
        print(f"ce_image.py: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
