# Cross-compiles for the device, Windows CE 3.0 on ARM, with Debian's ARM cross compiler
# (gcc-arm-none-eabi and binutils-arm-none-eabi). The compiler and linker write an ELF program;
# cmake/ce_image.py writes the Windows CE image from it (cmake/device.cmake).
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)
# Tells the project to build the device program rather than the desktop or host one.
set(VELMOT_DEVICE ON)

find_program(VELMOT_ARM_CXX arm-none-eabi-g++)
find_program(VELMOT_ARM_LD arm-none-eabi-ld)
if(NOT VELMOT_ARM_CXX OR NOT VELMOT_ARM_LD)
    message(FATAL_ERROR "The device's compiler (arm-none-eabi-g++) or linker (arm-none-eabi-ld) "
                        "was not found: apt-get install gcc-arm-none-eabi binutils-arm-none-eabi "
                        "(the project's scripts install them)")
endif()
set(CMAKE_CXX_COMPILER ${VELMOT_ARM_CXX})

# 32-bit ARM code for ARMv4 (StrongARM; XScale runs it too), never Thumb, soft float.
set(CMAKE_CXX_FLAGS_INIT "-march=armv4 -marm -mfloat-abi=soft")
# The compiler checks build a library only: a device program has no C run-time to link.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
