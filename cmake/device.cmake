# ---- The device: velmot.exe for Pocket PC (Windows CE 3.0, ARM) --------------------------
# Included by CMakeLists.txt when the toolchain is cmake/arm-mingw32ce.cmake (cmake --preset
# device). Only the program's own code and the one resource script go in: nothing of the
# emulator or of the desktop.

enable_language(RC)

# The resource script names its icon and header relative to its own folder.
set_property(SOURCE resources/velmot.rc APPEND PROPERTY COMPILE_OPTIONS
    -I${CMAKE_CURRENT_SOURCE_DIR}/resources)

# What a Pocket PC 2002 loader accepts: a Windows CE GUI program for subsystem version 3.00
# (later versions are refused by CE 3.0), at the image base 0x10000, with the 64 KiB stack
# that the device's own tools reserve. The loader calls the entry with WinMain's arguments,
# so WinMain is the entry itself (see shell/entry.cpp). libgcc (division helpers) is linked
# in, as no device has its DLL. Stripped of symbols.
#
# The zero-initialised records need cmake/arm-wince-bss.ld. The toolchain's own linker script
# puts .bss and COMMON inside the .data section, and without the run-time start-up the
# program has no initialized data at all: .data then has no contents in the file, yet ld
# declares it with SizeOfRawData equal to its size and PointerToRawData 0. The CE loader
# reads a section's raw data from wherever its header points, offset 0 included, so the
# records would start with the bytes of the DOS header. The added script gives .bss and
# COMMON a section of their own without raw data (SizeOfRawData and PointerToRawData 0),
# which the loader maps all zero. tests/device/check_image.py checks every section's raw data.
set(VELMOT_BSS_SCRIPT ${CMAKE_CURRENT_SOURCE_DIR}/cmake/arm-wince-bss.ld)

# Usage: velmot_device_options(TARGET)
# How every executable for the device is compiled and linked.
function(velmot_device_options target)
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    # gcc 4.4's own dialect, gnu++98; the warnings it knows (-pedantic is its spelling of
    # -Wpedantic), all of them errors.
    set_target_properties(${target} PROPERTIES CXX_STANDARD 98 CXX_STANDARD_REQUIRED ON
                                               CXX_EXTENSIONS ON)
    target_compile_options(${target} PRIVATE
        $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -pedantic -Wshadow -Wcast-align -Wundef -Werror
        ${VELMOT_PROGRAM_FLAGS} -Os>)
    target_link_options(${target} PRIVATE
        -nostartfiles -Wl,--entry=WinMain
        -Wl,--subsystem,wince:3.00 -Wl,--image-base,0x10000 -Wl,--stack,65536
        -Wl,-T,${VELMOT_BSS_SCRIPT} -static-libgcc -s)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${VELMOT_BSS_SCRIPT})
    # COREDLL comes with every program; the Pocket PC shell library serves the dialog.
    target_link_libraries(${target} PRIVATE aygshell)
endfunction()

# Usage: velmot_device_program(TARGET SOURCES...)
# A device executable of the given program sources, the entry and the resource script.
function(velmot_device_program target)
    add_executable(${target} ${ARGN} shell/entry.cpp resources/velmot.rc)
    velmot_device_options(${target})
endfunction()

velmot_device_program(velmot ${VELMOT_PROGRAM_SOURCES})

# The conformance program (tests/device/conformance.cpp): it reports what the platform's
# exports give for distinctive values, and tests/conformance_test.cpp runs it on the
# emulated device. Not packaged, and not checked by tests/device/check_image.py.
add_executable(conformance tests/device/conformance.cpp)
velmot_device_options(conformance)

# velmot_divergent.exe: the same program with one planted difference, an hour of 61 minutes
# in the waiting period, for the differential run to catch (scripts/test-device.sh builds
# it; not part of the default build). The build copies schedule/schedule.cpp with that one
# text replaced, and fails when the text is no longer there.
set(VELMOT_PLANTED ${CMAKE_CURRENT_BINARY_DIR}/divergent/schedule.cpp)
add_custom_command(
    OUTPUT ${VELMOT_PLANTED}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${CMAKE_CURRENT_SOURCE_DIR}/schedule/schedule.cpp
            -DOUTPUT=${VELMOT_PLANTED} "-DFROM=static_cast<LONGLONG>(hours) * 60"
            "-DTO=static_cast<LONGLONG>(hours) * 61"
            -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/replace_text.cmake
    DEPENDS schedule/schedule.cpp cmake/replace_text.cmake
    COMMENT "Planting a divergence in a copy of schedule/schedule.cpp"
    VERBATIM)
set(VELMOT_DIVERGENT_SOURCES ${VELMOT_PROGRAM_SOURCES})
list(TRANSFORM VELMOT_DIVERGENT_SOURCES REPLACE "^schedule/schedule.cpp$" ${VELMOT_PLANTED})
velmot_device_program(velmot_divergent ${VELMOT_DIVERGENT_SOURCES})
set_target_properties(velmot_divergent PROPERTIES EXCLUDE_FROM_ALL ON)


# ---- Packages ---------------------------------------------------------------------------
# cmake --build --preset device --target package makes, in the build folder:
# - velmot-<version>-pocketpc-arm.cab, the installation cabinet that the device's installer
#   (wceload.exe) reads: the set-up file 00VELMOT.000 that cmake/make_cab_setup.py writes,
#   then velmot.exe as file number 1 (00VELMOT.001), stored uncompressed by gcab;
# - velmot-<version>-pocketpc-arm.zip: one folder with the same velmot.exe, README.txt and
#   the licence as LICENSE.txt.
set(VELMOT_PACKAGE_NAME velmot-${PROJECT_VERSION}-pocketpc-arm)
set(VELMOT_PACKAGE_DIR ${CMAKE_CURRENT_BINARY_DIR}/package)
find_program(VELMOT_PYTHON NAMES python3)
find_program(VELMOT_GCAB NAMES gcab)
foreach(tool VELMOT_PYTHON VELMOT_GCAB)
    if(NOT ${tool})
        message(WARNING "${tool} not found: the package target needs python3 and gcab "
                        "(apt-get install python3 gcab; scripts/test-device.sh installs them)")
    endif()
endforeach()
# With Windows line ends, for the desktop's and the device's Notepad alike.
configure_file(cmake/README-pocketpc.txt ${VELMOT_PACKAGE_DIR}/README.txt @ONLY
    NEWLINE_STYLE CRLF)
configure_file(LICENSE ${VELMOT_PACKAGE_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
set(VELMOT_CAB ${CMAKE_CURRENT_BINARY_DIR}/${VELMOT_PACKAGE_NAME}.cab)
set(VELMOT_ZIP ${CMAKE_CURRENT_BINARY_DIR}/${VELMOT_PACKAGE_NAME}.zip)
set(VELMOT_CAB_DIR ${VELMOT_PACKAGE_DIR}/cab)
set(VELMOT_ZIP_DIR ${VELMOT_PACKAGE_DIR}/zip/${VELMOT_PACKAGE_NAME})
add_custom_command(
    OUTPUT ${VELMOT_CAB} ${VELMOT_ZIP}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${VELMOT_CAB_DIR} ${VELMOT_PACKAGE_DIR}/zip
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VELMOT_CAB_DIR} ${VELMOT_ZIP_DIR}
    COMMAND ${VELMOT_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/make_cab_setup.py
            ${VELMOT_CAB_DIR}/00VELMOT.000
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:velmot> ${VELMOT_CAB_DIR}/00VELMOT.001
    COMMAND ${CMAKE_COMMAND} -E rm -f ${VELMOT_CAB}
    # The set-up file first, then the program.
    COMMAND ${VELMOT_GCAB} --create --nopath ${VELMOT_CAB} ${VELMOT_CAB_DIR}/00VELMOT.000
            ${VELMOT_CAB_DIR}/00VELMOT.001
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:velmot> ${VELMOT_PACKAGE_DIR}/README.txt
            ${VELMOT_PACKAGE_DIR}/LICENSE.txt ${VELMOT_ZIP_DIR}/
    COMMAND ${CMAKE_COMMAND} -E rm -f ${VELMOT_ZIP}
    COMMAND ${CMAKE_COMMAND} -E chdir ${VELMOT_PACKAGE_DIR}/zip
            ${CMAKE_COMMAND} -E tar cf ${VELMOT_ZIP} --format=zip ${VELMOT_PACKAGE_NAME}
    DEPENDS velmot cmake/make_cab_setup.py ${VELMOT_PACKAGE_DIR}/README.txt
            ${VELMOT_PACKAGE_DIR}/LICENSE.txt
    COMMENT "Packaging ${VELMOT_PACKAGE_NAME}.cab and .zip"
    VERBATIM)
add_custom_target(package DEPENDS ${VELMOT_CAB} ${VELMOT_ZIP})
