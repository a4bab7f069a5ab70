# ---- Desktop Windows: velmot.exe, and the pieces that test it under Wine ----------------
# Included by CMakeLists.txt when the target is Windows (cmake --preset windows).

enable_language(RC)

# The program: its own code, the desktop's process entry and stand-ins for what only the
# device has or where the desktop differs, and the desktop's resource script, which includes
# the one resource script and adds the desktop's own resources (icon, manifest and version
# information).
add_executable(velmot WIN32
    ${VELMOT_PROGRAM_SOURCES}
    desktop/entry.cpp
    desktop/dll_search.cpp
    desktop/load_config.cpp
    desktop/shell_library.cpp
    desktop/power_key.cpp
    desktop/sleep.cpp
    desktop/tray_icon.cpp
    desktop/tray_menu.cpp
    desktop/velmot_desktop.rc)
target_include_directories(velmot PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(velmot PRIVATE UNICODE _UNICODE)
target_compile_options(velmot PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:${VELMOT_WARNINGS} ${VELMOT_PROGRAM_FLAGS} -Os
    -ffunction-sections -fdata-sections>)
# The desktop's resource script takes the program's script and the icons from resources/
# (where the program's script names its icon and header relative to its own folder), and the
# manifest and the version header that CMake writes with the project's version.
set(VELMOT_GENERATED_DIR ${CMAKE_CURRENT_BINARY_DIR}/desktop)
configure_file(desktop/velmot.manifest.in ${VELMOT_GENERATED_DIR}/velmot.manifest @ONLY)
configure_file(desktop/version.h.in ${VELMOT_GENERATED_DIR}/velmot_version.h @ONLY)
set_property(SOURCE desktop/velmot_desktop.rc APPEND PROPERTY COMPILE_OPTIONS
    -I${CMAKE_CURRENT_SOURCE_DIR}/resources -I${VELMOT_GENERATED_DIR})
set_property(SOURCE desktop/velmot_desktop.rc APPEND PROPERTY OBJECT_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/resources/velmot.ico
    ${CMAKE_CURRENT_SOURCE_DIR}/resources/velmot_desktop.ico
    ${VELMOT_GENERATED_DIR}/velmot.manifest ${VELMOT_GENERATED_DIR}/velmot_version.h)
# The process starts in desktop/entry.cpp's DesktopStart, without the C run-time's start-up;
# stripped of symbols and of unused code; the compiler's helpers linked in, so that only the
# system's own DLLs are imported.
target_link_options(velmot PRIVATE
    -nostartfiles -Wl,--entry=DesktopStart -s -Wl,--gc-sections -static-libgcc
    -Wl,--undefined=_load_config_used -Wl,-Map=${CMAKE_CURRENT_BINARY_DIR}/velmot.map)
# The load configuration (desktop/load_config.cpp), which nothing references, is kept by
# naming it as undefined. GNU ld leaves the image's directory of it
# empty, so a step after the link points the directory at the record, whose address the link
# map gives; the same step sets the link and resource time stamps, which ld and windres take
# from the clock, to VELMOT_EPOCH, and fixes the checksum (desktop/finish_image.py, with
# pefile). The build
# fails when the record is not found. Every later use of velmot.exe (the Wine tests, the
# package) takes the patched file.
execute_process(COMMAND ${VELMOT_PYTHON} -c "import pefile"
    RESULT_VARIABLE VELMOT_PEFILE_MISSING OUTPUT_QUIET ERROR_QUIET)
if(VELMOT_PEFILE_MISSING)
    message(FATAL_ERROR "${VELMOT_PYTHON} cannot import pefile, which the Windows build needs "
        "after the link (Debian: apt-get install python3-pefile; or set VELMOT_PYTHON)")
endif()
add_custom_command(TARGET velmot POST_BUILD
    COMMAND ${VELMOT_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/desktop/finish_image.py
        $<TARGET_FILE:velmot> ${CMAKE_CURRENT_BINARY_DIR}/velmot.map ${VELMOT_EPOCH}
    COMMENT "Finishing velmot.exe: its load-configuration directory and time stamps")
# The shutdown privilege; the common controls. Not powrprof: desktop/sleep.cpp finds its
# functions in the system folder at run time (see desktop/dll_search.cpp).
target_link_libraries(velmot PRIVATE advapi32 comctl32)

# ---- Release package --------------------------------------------------------------------
# cmake --build --preset windows --target package makes velmot-<version>-win64.zip: one
# folder with velmot.exe (stripped at link time), README.txt on how to run it and the
# licence as LICENSE.txt, each with the time VELMOT_EPOCH (cmake/make_zip.py).
# With Windows line ends, for every Notepad.
configure_file(desktop/README-windows.txt ${VELMOT_GENERATED_DIR}/README.txt @ONLY
    NEWLINE_STYLE CRLF)
configure_file(LICENSE ${VELMOT_GENERATED_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
set(VELMOT_WINDOWS_ZIP ${CMAKE_CURRENT_BINARY_DIR}/velmot-${PROJECT_VERSION}-win64.zip)
add_custom_command(
    OUTPUT ${VELMOT_WINDOWS_ZIP}
    COMMAND ${VELMOT_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/make_zip.py ${VELMOT_WINDOWS_ZIP}
            ${VELMOT_EPOCH} velmot-${PROJECT_VERSION}-win64 $<TARGET_FILE:velmot>
            ${VELMOT_GENERATED_DIR}/README.txt ${VELMOT_GENERATED_DIR}/LICENSE.txt
    DEPENDS velmot cmake/make_zip.py ${VELMOT_GENERATED_DIR}/README.txt
            ${VELMOT_GENERATED_DIR}/LICENSE.txt
    COMMENT "Packaging velmot-${PROJECT_VERSION}-win64.zip"
    VERBATIM)
add_custom_target(package DEPENDS ${VELMOT_WINDOWS_ZIP})

# ---- Wine tests ------------------------------------------------------------------------
# Everything a test run needs goes into one folder: the driver, velmot.exe, and in system32/
# the stand-ins that the driver installs in the Wine prefix's system folder, where a computer
# has its power library: powrprof.dll plays a computer of the test's choosing and logs sleep
# requests instead of making them, and shell32.dll logs each notification-icon call and
# passes it on to Wine's own. Beside velmot.exe lies a planted powrprof.dll, as an attacker
# would leave one in the folder where the program was unpacked, which marks every load of it:
# velmot.exe must never load it.
set(VELMOT_WINE_TEST_DIR ${CMAKE_CURRENT_BINARY_DIR}/wine-test)

foreach(stub powrprof shell32)
    add_library(${stub}_stub SHARED tests/wine/${stub}_stub.cpp)
    set_target_properties(${stub}_stub PROPERTIES
        OUTPUT_NAME ${stub} PREFIX "" IMPORT_PREFIX "lib" IMPORT_SUFFIX ".stub.a"
        RUNTIME_OUTPUT_DIRECTORY ${VELMOT_WINE_TEST_DIR}/system32)
    target_compile_options(${stub}_stub PRIVATE ${VELMOT_WARNINGS} -Os)
    target_link_options(${stub}_stub PRIVATE -s -static-libgcc)
endforeach()

add_library(planted_powrprof SHARED tests/wine/planted_powrprof.cpp)
set_target_properties(planted_powrprof PROPERTIES
    OUTPUT_NAME powrprof PREFIX "" IMPORT_PREFIX "lib" IMPORT_SUFFIX ".planted.a"
    RUNTIME_OUTPUT_DIRECTORY ${VELMOT_WINE_TEST_DIR})
target_compile_options(planted_powrprof PRIVATE ${VELMOT_WARNINGS} -Os)
target_link_options(planted_powrprof PRIVATE -s -static-libgcc)

add_executable(velmot_wine_driver tests/wine/driver.cpp tests/wine/dll_loading.cpp)
set_target_properties(velmot_wine_driver PROPERTIES
    OUTPUT_NAME driver RUNTIME_OUTPUT_DIRECTORY ${VELMOT_WINE_TEST_DIR})
# The settings dialog's control ids come from the program's own header.
target_include_directories(velmot_wine_driver PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(velmot_wine_driver PRIVATE UNICODE _UNICODE)
# It checks velmot.exe's version information against the project's version.
target_include_directories(velmot_wine_driver PRIVATE ${VELMOT_GENERATED_DIR})
target_link_libraries(velmot_wine_driver PRIVATE version psapi)
target_compile_options(velmot_wine_driver PRIVATE ${VELMOT_WARNINGS} -O2)
target_link_options(velmot_wine_driver PRIVATE -municode -static-libgcc -static-libstdc++)
add_dependencies(velmot_wine_driver velmot powrprof_stub shell32_stub planted_powrprof)
# Each new velmot.exe goes into the test folder as well. Builds before the stand-ins moved to
# system32/ left a shell32.dll beside it, which the tests' override would load; it goes.
add_custom_command(TARGET velmot POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VELMOT_WINE_TEST_DIR}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${VELMOT_WINE_TEST_DIR}/shell32.dll
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:velmot> ${VELMOT_WINE_TEST_DIR}/
    COMMENT "Copying velmot.exe into the Wine test folder")
