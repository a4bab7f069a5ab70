# Cross-compiles for desktop Windows (x86-64) with the mingw-w64 tools of a Debian host.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELMOT_MINGW_PREFIX x86_64-w64-mingw32)
# Debian ships each compiler with two thread models; the win32 one needs no threading DLL.
find_program(VELMOT_MINGW_CXX NAMES ${VELMOT_MINGW_PREFIX}-g++-win32 ${VELMOT_MINGW_PREFIX}-g++)
find_program(VELMOT_MINGW_CC NAMES ${VELMOT_MINGW_PREFIX}-gcc-win32 ${VELMOT_MINGW_PREFIX}-gcc)
set(CMAKE_C_COMPILER ${VELMOT_MINGW_CC})
set(CMAKE_CXX_COMPILER ${VELMOT_MINGW_CXX})
set(CMAKE_RC_COMPILER ${VELMOT_MINGW_PREFIX}-windres)

# Headers and libraries come from the cross toolchain only; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VELMOT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
