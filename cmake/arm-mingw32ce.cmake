# Cross-compiles for the device: Windows CE on ARM, with CeGCC's arm-mingw32ce toolchain
# (gcc 4.4, binutils with windres, the mingw32ce run-time and the COREDLL/AYGSHELL import
# libraries). The toolchain is looked for, in this order:
#   1. the folder named by the environment variable CEGCC_ROOT (or the CMake variable of the
#      same name), which holds bin/arm-mingw32ce-g++;
#   2. /opt/mingw32ce, CeGCC's usual place;
#   3. the folders on PATH.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR arm)
# Tells the project to build the device program rather than the desktop one.
set(VELMOT_DEVICE ON)

set(VELMOT_CEGCC_PREFIX arm-mingw32ce)
# The environment's CEGCC_ROOT wins over the folder found by an earlier configuration.
if(DEFINED ENV{CEGCC_ROOT} AND NOT "$ENV{CEGCC_ROOT}" STREQUAL "")
    set(CEGCC_ROOT "$ENV{CEGCC_ROOT}")
endif()

unset(VELMOT_CEGCC_BIN)
if(CEGCC_ROOT)
    if(EXISTS "${CEGCC_ROOT}/bin/${VELMOT_CEGCC_PREFIX}-g++")
        set(VELMOT_CEGCC_BIN "${CEGCC_ROOT}/bin")
    else()
        message(WARNING "CEGCC_ROOT is ${CEGCC_ROOT}, which holds no "
                        "bin/${VELMOT_CEGCC_PREFIX}-g++; looking further")
    endif()
endif()
if(NOT VELMOT_CEGCC_BIN AND EXISTS "/opt/mingw32ce/bin/${VELMOT_CEGCC_PREFIX}-g++")
    set(VELMOT_CEGCC_BIN "/opt/mingw32ce/bin")
endif()
if(NOT VELMOT_CEGCC_BIN)
    find_program(VELMOT_CEGCC_CXX_ON_PATH ${VELMOT_CEGCC_PREFIX}-g++ NO_CACHE)
    if(VELMOT_CEGCC_CXX_ON_PATH)
        get_filename_component(VELMOT_CEGCC_BIN "${VELMOT_CEGCC_CXX_ON_PATH}" DIRECTORY)
    endif()
endif()
if(NOT VELMOT_CEGCC_BIN)
    if(NOT CEGCC_ROOT)
        set(CEGCC_ROOT "not set")
    endif()
    message(FATAL_ERROR
        "The device toolchain (CeGCC ${VELMOT_CEGCC_PREFIX}) was not found. Looked for "
        "bin/${VELMOT_CEGCC_PREFIX}-g++ in: 1. the folder named by CEGCC_ROOT "
        "(${CEGCC_ROOT}); 2. /opt/mingw32ce; 3. the folders on PATH. Unpack "
        "arm-mingw32ce-toolchain.tar.xz and set CEGCC_ROOT to its mingw32ce folder.")
endif()

# Kept, so that a later configuration (and CMake's compiler checks) finds the same one.
get_filename_component(VELMOT_CEGCC_ROOT "${VELMOT_CEGCC_BIN}" DIRECTORY)
set(CEGCC_ROOT "${VELMOT_CEGCC_ROOT}" CACHE PATH "The CeGCC arm-mingw32ce toolchain's folder" FORCE)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CEGCC_ROOT)

set(CMAKE_C_COMPILER "${VELMOT_CEGCC_BIN}/${VELMOT_CEGCC_PREFIX}-gcc")
set(CMAKE_CXX_COMPILER "${VELMOT_CEGCC_BIN}/${VELMOT_CEGCC_PREFIX}-g++")
set(CMAKE_RC_COMPILER "${VELMOT_CEGCC_BIN}/${VELMOT_CEGCC_PREFIX}-windres")

# 32-bit ARM code for ARMv4 (StrongARM; XScale runs it too), never Thumb.
set(CMAKE_C_FLAGS_INIT "-march=armv4 -marm")
set(CMAKE_CXX_FLAGS_INIT "-march=armv4 -marm")

# The desktop's libraries (kernel32, user32, ...) do not exist here: the device's are
# COREDLL, which the compiler links by itself, and those that the project names.
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "Libraries linked into every C program")
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "Libraries linked into every C++ program")
# The compiler checks build a library only: a device program needs an entry of its own.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(CMAKE_FIND_ROOT_PATH "${VELMOT_CEGCC_ROOT}/${VELMOT_CEGCC_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
