# ---- The device: velmot.exe for Pocket PC (Windows CE 3.0, ARM) --------------------------
# Included by CMakeLists.txt when the toolchain is cmake/arm-mingw32ce.cmake (cmake --preset
# device). Only the program's own code and the one resource script go in: nothing of the
# emulator or of the desktop.

enable_language(RC)

add_executable(velmot ${VELMOT_PROGRAM_SOURCES} shell/entry.cpp resources/velmot.rc)
target_include_directories(velmot PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
# gcc 4.4's own dialect, gnu++98; the warnings it knows (-pedantic is its spelling of
# -Wpedantic), all of them errors.
set_target_properties(velmot PROPERTIES CXX_STANDARD 98 CXX_STANDARD_REQUIRED ON
                                        CXX_EXTENSIONS ON)
target_compile_options(velmot PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -pedantic -Wshadow -Wcast-align -Wundef -Werror
    ${VELMOT_PROGRAM_FLAGS} -Os>)
# The resource script names its icon and header relative to its own folder.
set_property(SOURCE resources/velmot.rc APPEND PROPERTY COMPILE_OPTIONS
    -I${CMAKE_CURRENT_SOURCE_DIR}/resources)

# What a Pocket PC 2002 loader accepts: a Windows CE GUI program for subsystem version 3.00
# (later versions are refused by CE 3.0), at the image base 0x10000, with the 64 KiB stack
# that the device's own tools reserve. The loader calls the entry with WinMain's arguments,
# so WinMain is the entry itself (see shell/entry.cpp). libgcc (division helpers) is linked
# in, as no device has its DLL. Stripped of symbols.
target_link_options(velmot PRIVATE
    -nostartfiles -Wl,--entry=WinMain
    -Wl,--subsystem,wince:3.00 -Wl,--image-base,0x10000 -Wl,--stack,65536
    -static-libgcc -s)
# COREDLL comes with every program; the Pocket PC shell library serves the dialog.
target_link_libraries(velmot PRIVATE aygshell)

