# ---- The device: velmot.exe for Pocket PC (Windows CE 3.0, ARM) --------------------------
# Included by CMakeLists.txt when the toolchain is cmake/arm-none-eabi.cmake (cmake --preset
# device). Only the program's own code and the one resource script go in: nothing of the
# emulator or of the desktop.
#
# Debian's arm-none-eabi-g++ compiles, arm-none-eabi-ld links with cmake/ce_image.ld, and
# cmake/ce_image.py writes the Windows CE image:
#   1. the program's objects, for ARMv4 in ARM mode with soft float, 16-bit wchar_t (UTF-16
#      text) and 4-byte enums, freestanding, against platform/platform_api.h;
#   2. imports.s: for each name the objects call and do not define, its import entry and a
#      thunk through the import address table (ce_image.py imports);
#   3. the link, at the image's addresses, with nothing else: no C run-time, no libgcc (its
#      ARM multilibs return with bx, which ARMv4 lacks);
#   4. the image: the linked sections and the resources that windres compiles from
#      resources/velmot.rc, with the link time stamp from SOURCE_DATE_EPOCH
#      (ce_image.py image).
# The loader calls the entry with WinMain's arguments, so WinMain is the entry itself (see
# shell/entry.cpp).

if(NOT EXISTS ${VELMOT_PYTHON})
    message(FATAL_ERROR "The device build needs Debian's python3 with python3-pyelftools: "
                        "apt-get install python3 python3-pyelftools (the project's scripts "
                        "install them)")
endif()
set(VELMOT_IMAGE_BASE 0x10000)
set(VELMOT_IMAGE_WRITER ${CMAKE_CURRENT_SOURCE_DIR}/cmake/ce_image.py)
set(VELMOT_LINKER_SCRIPT ${CMAKE_CURRENT_SOURCE_DIR}/cmake/ce_image.ld)
set(VELMOT_INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/platform/platform_api.h)
# The time stamp reaches the images through a file, rewritten only when it changes: in the
# command line it would make every reconfiguration after a commit remove the images, which
# CMake does to outputs whose commands changed, and a build of one target would leave the
# others missing.
set(VELMOT_EPOCH_FILE ${CMAKE_CURRENT_BINARY_DIR}/source-date-epoch.txt)
file(CONFIGURE OUTPUT ${VELMOT_EPOCH_FILE} CONTENT "${VELMOT_EPOCH}\n")


# The one resource script, compiled as the host build compiles it.
set(VELMOT_DEVICE_RES ${CMAKE_CURRENT_BINARY_DIR}/velmot.res)
velmot_compile_resources(${VELMOT_DEVICE_RES})

# Usage: velmot_device_image(NAME [ALL] SOURCES...)
# NAME.exe, a device executable of the given sources and the resources, in the build folder;
# the target NAME builds it, in the default build with ALL.
function(velmot_device_image name)
    set(all "")
    set(sources ${ARGN})
    if(ARGV1 STREQUAL "ALL")
        set(all ALL)
        list(POP_FRONT sources)
    endif()
    add_library(${name}_objects OBJECT ${sources})
    if(NOT all)
        set_target_properties(${name}_objects PROPERTIES EXCLUDE_FROM_ALL ON)
    endif()
    target_include_directories(${name}_objects PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    set_target_properties(${name}_objects PROPERTIES CXX_STANDARD 17 CXX_STANDARD_REQUIRED ON
                                                     CXX_EXTENSIONS OFF)
    # Freestanding: no exceptions or RTTI, no unwind tables, no guard or exit-time calls for
    # statics (so no C++ run-time), no standard library's headers.
    target_compile_options(${name}_objects PRIVATE ${VELMOT_WARNINGS} ${VELMOT_PROGRAM_FLAGS}
        -O2 -fshort-wchar -fno-short-enums -ffreestanding -nostdinc++ -fno-unwind-tables
        -fno-asynchronous-unwind-tables -fno-threadsafe-statics -fno-use-cxa-atexit
        -DUNDER_CE=300 -D_WIN32_WCE=300)
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/${name}.dir)
    set(objects $<TARGET_OBJECTS:${name}_objects>)
    add_custom_command(
        OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${name}.exe ${dir}/${name}.elf
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${VELMOT_PYTHON} ${VELMOT_IMAGE_WRITER} imports --header ${VELMOT_INTERFACE}
                --image-base ${VELMOT_IMAGE_BASE} -o ${dir}/imports.s ${objects}
        COMMAND ${CMAKE_CXX_COMPILER} -march=armv4 -marm -c -x assembler ${dir}/imports.s
                -o ${dir}/imports.o
        COMMAND ${VELMOT_ARM_LD} -nostdlib --fatal-warnings
                --defsym=__image_base__=${VELMOT_IMAGE_BASE} -T ${VELMOT_LINKER_SCRIPT}
                -o ${dir}/${name}.elf ${objects} ${dir}/imports.o
        COMMAND ${VELMOT_PYTHON} ${VELMOT_IMAGE_WRITER} image --res ${VELMOT_DEVICE_RES}
                --epoch-file ${VELMOT_EPOCH_FILE} -o ${CMAKE_CURRENT_BINARY_DIR}/${name}.exe
                ${dir}/${name}.elf
        DEPENDS ${name}_objects ${objects} ${VELMOT_DEVICE_RES} ${VELMOT_IMAGE_WRITER}
                ${VELMOT_LINKER_SCRIPT} ${VELMOT_INTERFACE} ${VELMOT_EPOCH_FILE}
        COMMAND_EXPAND_LISTS VERBATIM
        COMMENT "Linking ${name}.exe for the device")
    add_custom_target(${name} ${all} DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/${name}.exe)
endfunction()

# Every source of the program's folders, but the desktop's own. A file that cannot be built
# for the device fails the build.
file(GLOB VELMOT_DEVICE_SOURCES CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
     schedule/*.cpp shell/*.cpp dialog/*.cpp)
if(VELMOT_DESKTOP_ONLY_SOURCES)
    list(REMOVE_ITEM VELMOT_DEVICE_SOURCES ${VELMOT_DESKTOP_ONLY_SOURCES})
endif()
velmot_device_image(velmot ALL ${VELMOT_DEVICE_SOURCES})
set(VELMOT_DEVICE_EXE ${CMAKE_CURRENT_BINARY_DIR}/velmot.exe)

# The conformance program (tests/device/conformance.cpp): it reports what the platform's
# exports give for distinctive values, and tests/conformance_test.cpp runs it on the
# emulated device. Not packaged, and not checked by tests/device/check_image.py.
velmot_device_image(conformance ALL tests/device/conformance.cpp)

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
set(VELMOT_DIVERGENT_SOURCES ${VELMOT_DEVICE_SOURCES})
list(TRANSFORM VELMOT_DIVERGENT_SOURCES REPLACE "^schedule/schedule.cpp$" ${VELMOT_PLANTED})
velmot_device_image(velmot_divergent ${VELMOT_DIVERGENT_SOURCES})


# ---- Packages ---------------------------------------------------------------------------
# cmake --build --preset device --target package makes, in the build folder:
# - velmot-<version>-pocketpc-arm.cab, the installation cabinet that the device's installer
#   (wceload.exe) reads: the set-up file 00VELMOT.000 that cmake/make_cab_setup.py writes,
#   then velmot.exe as file number 1 (00VELMOT.001), stored uncompressed by gcab;
# - velmot-<version>-pocketpc-arm.zip: one folder with the same velmot.exe, README.txt and
#   the licence as LICENSE.txt (cmake/make_zip.py).
# Both carry VELMOT_EPOCH as every file's time: gcab takes the files' modification times,
# read in UTC, and make_zip.py is told.
set(VELMOT_PACKAGE_NAME velmot-${PROJECT_VERSION}-pocketpc-arm)
set(VELMOT_PACKAGE_DIR ${CMAKE_CURRENT_BINARY_DIR}/package)

find_program(VELMOT_GCAB NAMES gcab)
find_program(VELMOT_TOUCH NAMES touch)
if(NOT VELMOT_GCAB)
    message(WARNING "gcab not found: the package target needs it "
                    "(apt-get install gcab; scripts/test-device.sh installs it)")
endif()
# With Windows line ends, for the desktop's and the device's Notepad alike.
configure_file(cmake/README-pocketpc.txt ${VELMOT_PACKAGE_DIR}/README.txt @ONLY
    NEWLINE_STYLE CRLF)
configure_file(LICENSE ${VELMOT_PACKAGE_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
set(VELMOT_CAB ${CMAKE_CURRENT_BINARY_DIR}/${VELMOT_PACKAGE_NAME}.cab)
set(VELMOT_ZIP ${CMAKE_CURRENT_BINARY_DIR}/${VELMOT_PACKAGE_NAME}.zip)
set(VELMOT_CAB_DIR ${VELMOT_PACKAGE_DIR}/cab)
add_custom_command(
    OUTPUT ${VELMOT_CAB} ${VELMOT_ZIP}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${VELMOT_CAB_DIR}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VELMOT_CAB_DIR}
    COMMAND ${VELMOT_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/make_cab_setup.py
            ${VELMOT_CAB_DIR}/00VELMOT.000
    COMMAND ${CMAKE_COMMAND} -E copy ${VELMOT_DEVICE_EXE} ${VELMOT_CAB_DIR}/00VELMOT.001
    COMMAND ${VELMOT_TOUCH} -d @${VELMOT_EPOCH} ${VELMOT_CAB_DIR}/00VELMOT.000
            ${VELMOT_CAB_DIR}/00VELMOT.001
    COMMAND ${CMAKE_COMMAND} -E rm -f ${VELMOT_CAB}
    # The set-up file first, then the program.
    COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${VELMOT_GCAB} --create --nopath ${VELMOT_CAB}
            ${VELMOT_CAB_DIR}/00VELMOT.000 ${VELMOT_CAB_DIR}/00VELMOT.001
    COMMAND ${VELMOT_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/make_zip.py ${VELMOT_ZIP}
            ${VELMOT_EPOCH} ${VELMOT_PACKAGE_NAME} ${VELMOT_DEVICE_EXE}
            ${VELMOT_PACKAGE_DIR}/README.txt ${VELMOT_PACKAGE_DIR}/LICENSE.txt
    DEPENDS velmot ${VELMOT_DEVICE_EXE} cmake/make_cab_setup.py cmake/make_zip.py
            ${VELMOT_PACKAGE_DIR}/README.txt ${VELMOT_PACKAGE_DIR}/LICENSE.txt
    COMMENT "Packaging ${VELMOT_PACKAGE_NAME}.cab and .zip"
    VERBATIM)
add_custom_target(package DEPENDS ${VELMOT_CAB} ${VELMOT_ZIP})
