#!/usr/bin/python3
"""Checks that the device's velmot.exe is an image a Pocket PC 2002 (Windows CE 3.0) loader
accepts, reading it with pefile.

Usage: check_image.py VELMOT_EXE HOST_RES INTERFACE

  VELMOT_EXE  the device build's velmot.exe
  HOST_RES    the resources that the host build compiled and the emulator reads (velmot.res)
  INTERFACE   the declaration of the device's interface (platform/platform_api.h), which
              names the library that exports each function (COREDLL_API, AYGSHELL_API)

Prints one line for each check and exits 1 when any fails.
"""
import re
import struct
import sys

import pefile

from checks import check, finish

RT_ICON = 3
RT_DIALOG = 5
RT_GROUP_ICON = 14
IDI_TRAY = 101
IDD_SETTINGS = 102
# The only libraries a Pocket PC has for this program, with their declarations' prefix.
DEVICE_LIBRARIES = {"COREDLL.dll": "COREDLL_API", "AYGSHELL.dll": "AYGSHELL_API"}
# Exactly the names that the program's code calls, so that any other import shows: the C
# run-time's start-up linked in by mistake, for one, adds 16 (heap, stdio, VirtualProtect...).
IMPORTS = {
    "AYGSHELL.dll": ["SHInitDialog", "SHSipPreference"],
    "COREDLL.dll": [
        "AppendMenuW", "CreateMutexW", "CreatePopupMenu", "CreateWindowExW", "DefWindowProcW",
        "DestroyMenu", "DestroyWindow", "DialogBoxIndirectParamW", "DispatchMessageW",
        "EnableWindow", "EndDialog", "FindResourceW", "FindWindowW", "GetDlgItem",
        "GetDlgItemInt", "GetLastError", "GetLocalTime", "GetMessageW", "GetWindowRect",
        "IsWindow", "KillTimer", "LoadImageW", "LoadResource", "PostMessageW",
        "PostQuitMessage", "RegisterClassW", "RegisterWindowMessageW", "SendDlgItemMessageW",
        "SendMessageW", "SetDlgItemInt", "SetForegroundWindow", "SetTimer", "SetWindowTextW",
        "Shell_NotifyIcon", "TrackPopupMenuEx", "TranslateMessage", "keybd_event", "memset",
        "wcsncpy", "wcstol",
    ],
}



def exports(interface, prefix):
    """The functions that the interface declares with prefix, as exported by one library."""
    text = open(interface, encoding="utf-8").read()
    return set(re.findall(r"^" + prefix + r"\s[^;(]*?\b(\w+)\s*\(", text, re.M))


def res_entries(path):
    """(type, name) -> data of every entry of a compiled .res file whose type and name are
    numbers: a header of sizes, type, name and version fields, then the data, each padded
    to four bytes."""
    data = open(path, "rb").read()
    entries = {}
    offset = 0
    while offset + 8 <= len(data):
        data_size, header_size = struct.unpack_from("<II", data, offset)
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
                ids.append(data[at:end].decode("utf-16-le"))
                at = end + 2
        start = offset + header_size
        entries[tuple(ids)] = data[start:start + data_size]
        offset = (start + data_size + 3) & ~3
    return entries


def pe_resources(pe):
    """(type, name) -> data of every resource of the image, in its first language."""
    found = {}
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name_entry in type_entry.directory.entries:
            language = name_entry.directory.entries[0]
            rva, size = language.data.struct.OffsetToData, language.data.struct.Size
            found[(type_entry.id, name_entry.id)] = pe.get_data(rva, size)
    return found


def main():
    exe, host_res, interface = sys.argv[1:4]
    pe = pefile.PE(exe)
    header, optional = pe.FILE_HEADER, pe.OPTIONAL_HEADER

    print(f"== Checking the device image {exe}")
    check("ARM machine 0x01c0 (not Thumb 0x01c2)", header.Machine == 0x01C0, hex(header.Machine))
    check("PE32", optional.Magic == 0x10B, hex(optional.Magic))
    check("subsystem 9, Windows CE GUI", optional.Subsystem == 9, str(optional.Subsystem))
    version = f"{optional.MajorSubsystemVersion}.{optional.MinorSubsystemVersion:02d}"
    check("subsystem version 3.00", version == "3.00", version)
    check("image base 0x10000", optional.ImageBase == 0x10000, hex(optional.ImageBase))
    check("stack reserve 64 KiB", optional.SizeOfStackReserve == 65536,
          str(optional.SizeOfStackReserve))
    entry = optional.AddressOfEntryPoint
    code = [s for s in pe.sections if s.contains_rva(entry)]
    check("entry in executable code, at an ARM (not Thumb) address",
          len(code) == 1 and code[0].Characteristics & 0x20000000 != 0 and entry % 4 == 0,
          hex(entry))
    check("checksum correct", optional.CheckSum == pe.generate_checksum(),
          f"{optional.CheckSum:#x}, computed {pe.generate_checksum():#x}")
    # An executable always loads at its image base: it needs no relocations and says so.
    check("relocations stripped, none left", header.Characteristics & 0x0001 != 0 and
          optional.DATA_DIRECTORY[5].VirtualAddress == 0, hex(header.Characteristics))

    # Sections on their own pages, in order, after the headers' page, inside the image.
    alignment = optional.SectionAlignment
    previous_end = alignment
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode()
        start, size = section.VirtualAddress, section.Misc_VirtualSize
        check(f"section {name} at {start:#x} page-aligned, after the one before it, in the image",
              start % alignment == 0 and start >= previous_end and
              start + size <= optional.SizeOfImage, f"{size:#x} bytes")
        previous_end = start + size
    for index, what in ((1, "import directory"), (2, "resource directory"),
                        (12, "import address table")):
        directory = optional.DATA_DIRECTORY[index]
        inside = [s for s in pe.sections
                  if s.VirtualAddress <= directory.VirtualAddress and
                  directory.VirtualAddress + directory.Size <=
                  s.VirtualAddress + s.Misc_VirtualSize]
        check(f"the {what} lies inside one section", directory.Size > 0 and len(inside) == 1,
              f"{directory.Size:#x} bytes at {directory.VirtualAddress:#x}")

    # The loader reads min(SizeOfRawData, VirtualSize) bytes from PointerToRawData, whatever
    # that is (0 included), and zero-fills the rest: raw data must lie in the file after the
    # headers, and a section without any (uninitialized data) must declare none.
    headers, end = optional.SizeOfHeaders, len(pe.__data__)
    spans = []
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode()
        at, size = section.PointerToRawData, section.SizeOfRawData
        if size == 0 or section.Characteristics & 0xE0 == 0x80:
            check(f"section {name} without raw data: SizeOfRawData and PointerToRawData 0",
                  size == 0 and at == 0, f"{size:#x} bytes at {at:#x}")
            continue
        check(f"section {name}'s raw data inside the file, after the headers",
              headers <= at and at + size <= end,
              f"{size:#x} bytes at {at:#x}; headers end at {headers:#x}, the file at {end:#x}")
        spans.append((at, at + size, name))
    spans.sort()
    overlaps = [f"{a[2]} and {b[2]}" for a, b in zip(spans, spans[1:]) if b[0] < a[1]]
    check("no two sections' raw data overlap", not overlaps, ", ".join(overlaps))

    imported = {d.dll.decode(): d for d in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    check("imports only COREDLL.dll and AYGSHELL.dll",
          set(imported) <= set(DEVICE_LIBRARIES) and "COREDLL.dll" in imported,
          ", ".join(sorted(imported)))
    for dll in sorted(IMPORTS):
        descriptor = imported.get(dll)
        names = sorted(i.name.decode() if i.name else f"#{i.ordinal}"
                       for i in (descriptor.imports if descriptor else []))
        known = exports(interface, DEVICE_LIBRARIES[dll])
        unknown = [n for n in names if n not in known]
        check(f"every name imported from {dll} is one of its exports", not unknown,
              f"{len(names)} names" + (f"; not exported: {', '.join(unknown)}" if unknown else ""))
        extra = sorted(set(names) - set(IMPORTS[dll]))
        missing = sorted(set(IMPORTS[dll]) - set(names))
        check(f"imports from {dll} exactly the {len(IMPORTS[dll])} names the program calls",
              names == IMPORTS[dll],
              "; ".join(f"{what}: {', '.join(n)}" for what, n in
                        (("also", extra), ("missing", missing)) if n) or f"{len(names)} names")

    resources = pe_resources(pe)
    host = res_entries(host_res)
    dialog = resources.get((RT_DIALOG, IDD_SETTINGS))
    check("dialog template 102 byte-identical to the host build's",
          dialog is not None and dialog == host.get((RT_DIALOG, IDD_SETTINGS)),
          f"{len(dialog) if dialog else 0} bytes")
    group = resources.get((RT_GROUP_ICON, IDI_TRAY))
    images = []
    if group is not None and len(group) >= 6:
        _, kind, count = struct.unpack_from("<HHH", group, 0)
        for i in range(count if kind == 1 else 0):
            width, height, colours, _, _, bits, size, icon = struct.unpack_from(
                "<BBBBHHIH", group, 6 + 14 * i)
            image = resources.get((RT_ICON, icon))
            images.append((width, height, colours or 1 << bits,
                           image is not None and len(image) == size))
    check("icon group 101 holds a 32 x 32 and a 16 x 16 image of 16 colours",
          sorted(images) == [(16, 16, 16, True), (32, 32, 16, True)],
          ", ".join(f"{w} x {h}, {c} colours" + ("" if ok else " (image missing)")
                    for w, h, c, ok in images))

    return finish("device image")


if __name__ == "__main__":
    sys.exit(main())
