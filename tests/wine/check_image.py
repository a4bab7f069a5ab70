#!/usr/bin/python3
"""Checks, reading it with pefile, that the desktop's velmot.exe loads no DLL from its own folder.

Usage: check_image.py VELMOT_EXE [NAME]

  VELMOT_EXE  the Windows build's velmot.exe (or the one unpacked from the package)
  NAME        what the lines call it (default: the file's name)

- It imports only from the system's KnownDLLs (KERNEL32, USER32, GDI32, ADVAPI32, SHELL32,
  msvcrt), which the loader always takes from the system folder, and from COMCTL32, which its
  manifest takes from the side-by-side store; the names compare without regard to case. Any
  other DLL, POWRPROF among them, the loader would look for in the program's folder first.
- It has no delay-load imports, whose DLLs the loader searches for in the same way.
- Its load configuration directory points at a record inside the image whose size is what the
  directory says, and whose DependentLoadFlags (offset 0x4E; pefile and mingw-w64's headers
  still call it Reserved1) is LOAD_LIBRARY_SEARCH_SYSTEM32 (0x800).
- Its checksum, when it has one, is right (the step after the link rewrote the headers).

Prints one line for each check and exits 1 when any fails.
"""
import os
import sys

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "device"))
from checks import check, finish  # noqa: E402


def verify(what, ok, why=""):
    """A check whose detail says why it failed, shown only then."""
    check(what, ok, "" if ok else why)

ALLOWED = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
           "msvcrt.dll", "comctl32.dll"}
LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800
DEPENDENT_LOAD_FLAGS_OFFSET = 0x4E


def main():
    if len(sys.argv) not in (2, 3):
        print("usage: check_image.py VELMOT_EXE [NAME]", file=sys.stderr)
        return 2
    path = sys.argv[1]
    name = sys.argv[2] if len(sys.argv) == 3 else os.path.basename(path)
    pe = pefile.PE(path)
    verify(f"{name} is a 64-bit image",
          pe.OPTIONAL_HEADER.Magic == pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS)

    imports = [entry.dll.decode("ascii", "replace")
               for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    verify(f"{name} has an import directory", bool(imports))
    for dll in imports:
        verify(f"{name} imports {dll}: a KnownDLL or COMCTL32", dll.lower() in ALLOWED,
              f"{dll} is neither; the loader would look for it in the program's folder first")
    delayed = [entry.dll.decode("ascii", "replace")
               for entry in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])]
    verify(f"{name} has no delay-load imports", not delayed, ", ".join(delayed))

    index = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG"]
    directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[index]
    present = directory.VirtualAddress != 0 and directory.Size != 0
    verify(f"{name} has a load configuration directory", present,
          f"RVA 0x{directory.VirtualAddress:x}, size {directory.Size} (was the step after "
          "the link, desktop/finish_image.py, skipped?)")
    if present:
        section = pe.get_section_by_rva(directory.VirtualAddress)
        inside = section is not None and (directory.VirtualAddress + directory.Size <=
                                          section.VirtualAddress + section.Misc_VirtualSize)
        verify(f"{name}'s load configuration lies inside one section", inside,
              f"RVA 0x{directory.VirtualAddress:x}, {directory.Size} bytes")
        if inside:
            size = pe.get_dword_at_rva(directory.VirtualAddress)
            verify(f"{name}'s load configuration record is as long as its directory says",
                  size == directory.Size, f"record {size}, directory {directory.Size}")
            flags = None
            if directory.Size >= DEPENDENT_LOAD_FLAGS_OFFSET + 2:
                flags = pe.get_word_at_rva(directory.VirtualAddress +
                                           DEPENDENT_LOAD_FLAGS_OFFSET)
            verify(f"{name}'s DependentLoadFlags is LOAD_LIBRARY_SEARCH_SYSTEM32 (0x800)",
                  flags == LOAD_LIBRARY_SEARCH_SYSTEM32,
                  "the record is too short to hold it" if flags is None else f"0x{flags:x}")
    if pe.OPTIONAL_HEADER.CheckSum != 0:
        verify(f"{name}'s checksum is right", pe.verify_checksum(),
              f"0x{pe.OPTIONAL_HEADER.CheckSum:08x} in the header, "
              f"0x{pe.generate_checksum():08x} computed")
    return finish(f"image {name}")


if __name__ == "__main__":
    sys.exit(main())
