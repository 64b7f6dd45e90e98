# Cross build for 64-bit Windows: the flavour for machines that run no 32-bit programs (so no 32-bit Wine).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
# Debian's `wine` prefers the 32-bit loader whenever it is installed: name the 64-bit one.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
