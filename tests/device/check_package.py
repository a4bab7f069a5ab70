#!/usr/bin/python3
"""Checks the device packages that `cmake --build --preset device --target package` makes,
with tools other than their writer: cabextract lists and unpacks the cabinet, and the set-up
file is read back field by field against the values of the Windows CE installation cabinet
format, written out here as literals.

Usage: check_package.py CAB ZIP VELMOT_EXE VERSION

Prints one line for each check and exits 1 when any fails.
"""
import os
import struct
import subprocess
import sys
import tempfile
import zipfile

from checks import check, finish



def symbol_table(image):
    """A PE image's PointerToSymbolTable and NumberOfSymbols, from its COFF header; None when
    it has no PE header."""
    at = struct.unpack_from("<I", image, 0x3C)[0] if len(image) >= 0x40 else len(image)
    if image[at:at + 4] != b"PE\0\0" or len(image) < at + 20:
        return None
    return struct.unpack_from("<II", image, at + 12)


def read_setup(data):
    """The fields of a .000 set-up file that Velmot's installation uses."""
    fields = struct.unpack_from("<4s11I6H6I8H", data, 0)
    (signature, _, length, _, usually_one, processor, min_major, min_minor, max_major, max_minor,
     min_build, max_build, n_strings, n_dirs, n_files, n_hives, n_keys, n_links,
     at_strings, at_dirs, at_files, _, _, at_links,
     at_app, len_app, at_provider, len_provider, _, len_unsupported, _, _) = fields

    # The format counts a string's NUL in its stated length: the last byte, and the only NUL.
    unterminated = []

    def text(at, size):
        raw = data[at:at + size]
        if len(raw) != size or raw[-1:] != b"\0" or b"\0" in raw[:-1]:
            unterminated.append(raw)
        return raw.rstrip(b"\0").decode("ascii")

    strings, at = {}, at_strings
    for _ in range(n_strings):
        number, size = struct.unpack_from("<HH", data, at)
        strings[number] = text(at + 4, size)
        at += 4 + size

    def path(at, size):
        ids = struct.unpack_from(f"<{size // 2}H", data, at)
        return "\\".join(strings[i] for i in ids[:-1]) if ids and ids[-1] == 0 else None

    dirs, at = {}, at_dirs
    for _ in range(n_dirs):
        number, size = struct.unpack_from("<HH", data, at)
        dirs[number] = path(at + 4, size)
        at += 4 + size
    files, at = [], at_files
    for _ in range(n_files):
        number, directory, again, flags, size = struct.unpack_from("<HHHIH", data, at)
        files.append((number, dirs.get(directory), again, flags, text(at + 12, size)))
        at += 12 + size
    links, at = [], at_links
    for _ in range(n_links):
        _, _, base, target, kind, size = struct.unpack_from("<6H", data, at)
        links.append((base, target, kind, path(at + 12, size)))
        at += 12 + size
    return {
        "signature": signature, "length": length, "usually_one": usually_one,
        "processor": processor, "unterminated": unterminated,
        "versions": (min_major, min_minor, max_major, max_minor, min_build, max_build),
        "app": text(at_app, len_app), "provider": text(at_provider, len_provider),
        "unsupported": len_unsupported, "registry": (n_hives, n_keys),
        "files": files, "links": links,
    }


def main():
    cab, zip_path, exe, version = sys.argv[1:5]
    program = open(exe, "rb").read()
    print(f"== Checking the device packages {cab} and {zip_path}")

    listing = subprocess.run(["cabextract", "--list", cab], capture_output=True, text=True)
    names = [line.split("|")[-1].strip() for line in listing.stdout.splitlines()
             if line.count("|") == 2 and "Name" not in line]
    check("cabextract lists the set-up file first, then the program",
          listing.returncode == 0 and names == ["00VELMOT.000", "00VELMOT.001"],
          ", ".join(names) or listing.stderr.strip())

    with tempfile.TemporaryDirectory() as folder:
        unpack = subprocess.run(["cabextract", "--quiet", "--directory", folder, cab],
                                capture_output=True, text=True)
        check("cabextract unpacks the cabinet", unpack.returncode == 0, unpack.stderr.strip())

        def unpacked(name):
            path = os.path.join(folder, name)
            return open(path, "rb").read() if os.path.exists(path) else b""

        setup_data, cab_program = unpacked("00VELMOT.000"), unpacked("00VELMOT.001")

    with zipfile.ZipFile(zip_path) as archive:
        folder = f"velmot-{version}-pocketpc-arm/"
        members = sorted(n for n in archive.namelist() if not n.endswith("/"))
        check("the ZIP holds velmot.exe, README.txt and LICENSE.txt in one folder",
              members == [folder + n for n in ("LICENSE.txt", "README.txt", "velmot.exe")],
              ", ".join(members))
        zip_program = archive.read(folder + "velmot.exe") if folder + "velmot.exe" in members \
            else b""
        texts = {n: archive.read(folder + n) if folder + n in members else b""
                 for n in ("README.txt", "LICENSE.txt")}
    for name, text in texts.items():
        crlf, lf = text.count(b"\r\n"), text.count(b"\n")
        check(f"{name} has Windows line ends, CRLF, and no bare LF", crlf > 0 and lf == crlf,
              f"{crlf} CRLF, {lf - crlf} bare LF")
    license_text = open(os.path.join(os.path.dirname(__file__), "..", "..", "LICENSE"), "rb").read()
    check("LICENSE.txt is the project's MIT licence",
          texts["LICENSE.txt"].replace(b"\r\n", b"\n") == license_text
          and license_text.startswith(b"MIT License"), f"{len(texts['LICENSE.txt'])} bytes")
    check("the cabinet's program is the ZIP's velmot.exe, byte for byte",
          cab_program == zip_program == program, f"{len(cab_program)} bytes")
    symbols = symbol_table(cab_program)
    check("the packaged program is stripped: no COFF symbol table", symbols == (0, 0),
          "PointerToSymbolTable %#x, NumberOfSymbols %d" % symbols if symbols else "no PE header")

    if len(setup_data) < 100:
        check("the set-up file has its 100-byte header", False, f"{len(setup_data)} bytes")
        return 1
    setup = read_setup(setup_data)
    check('signature "MSCE"', setup["signature"] == b"MSCE", repr(setup["signature"]))
    check("the length field is the file's length", setup["length"] == len(setup_data),
          str(setup["length"]))
    check("the header's field at offset 16 is 1, as in known cabinets",
          setup["usually_one"] == 1, str(setup["usually_one"]))
    check("processor StrongARM (2577)", setup["processor"] == 2577, str(setup["processor"]))
    check("Windows CE 3.0 or later, no maximum version, no minimum build, maximum build "
          "0xE0000000 (ready for square and rotated screens)",
          setup["versions"] == (3, 0, 0, 0, 0, 0xE0000000),
          "(" + ", ".join(hex(v) for v in setup["versions"]) + ")")
    check('application "Velmot"', setup["app"] == "Velmot", setup["app"])
    check('provider "Velmot Project"', setup["provider"] == "Velmot Project", setup["provider"])
    check("no unsupported platforms and nothing in the registry",
          setup["unsupported"] == 0 and setup["registry"] == (0, 0),
          f"unsupported {setup['unsupported']} bytes, hives and keys {setup['registry']}")
    # File number 1 is the cabinet's .001, repeated in the entry's third field as in known
    # cabinets; %CE1% is \Program Files. Flags: always overwrite (0x40000000), never skip
    # (0x00000002).
    check(r"velmot.exe (file 1, its number repeated) into %CE1%\Velmot, flags 0x40000002",
          setup["files"] == [(1, "%CE1%\\Velmot", 1, 0x40000002, "velmot.exe")],
          str(setup["files"]))
    # Base 11 is %CE11%, Start > Programs; type 1 links to a file.
    check('a shortcut "Velmot" in %CE11% to file 1',
          setup["links"] == [(11, 1, 1, "Velmot")], str(setup["links"]))

    check("every string's stated length counts its NUL, the last byte and the only NUL",
          not setup["unterminated"], ", ".join(repr(raw) for raw in setup["unterminated"]))

    return finish("device packages")


if __name__ == "__main__":
    sys.exit(main())
