# What both toolchain files share: static cross builds with the win32-thread-model mingw-w64 compilers for
# CMAKE_SYSTEM_PROCESSOR (set by the including file). The win32 model keeps the runtime free of Vista-only
# imports, so the program loads on XP.
set(CMAKE_SYSTEM_NAME Windows)
set(VORN_MINGW_TRIPLET ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${VORN_MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${VORN_MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${VORN_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${VORN_MINGW_TRIPLET}-ar CACHE FILEPATH "" FORCE)
set(CMAKE_RANLIB ${VORN_MINGW_TRIPLET}-ranlib CACHE FILEPATH "" FORCE)
set(CMAKE_FIND_ROOT_PATH /usr/${VORN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
