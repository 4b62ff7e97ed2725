# Cross compiling for Windows x64 with Debian's mingw-w64 toolchain (packages
# g++-mingw-w64-x86-64-posix and binutils-mingw-w64-x86-64).
#
# The posix thread model gives std::thread and std::mutex (through winpthreads). The runtime
# pieces (libgcc, libstdc++, winpthreads) are linked statically into every DLL and program, so
# the outputs need nothing beside them but the system's own DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZORP_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZORP_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORP_MINGW_TRIPLE}-g++-posix)
set(CMAKE_ASM_COMPILER ${ZORP_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_RC_COMPILER ${ZORP_MINGW_TRIPLE}-windres)
set(CMAKE_NM ${ZORP_MINGW_TRIPLE}-nm)
set(CMAKE_OBJDUMP ${ZORP_MINGW_TRIPLE}-objdump)

# Libraries and headers come from the cross sysroot, programs from the build host.
set(CMAKE_FIND_ROOT_PATH /usr/${ZORP_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# ctest runs every test program through Wine (see cmake/wine-run).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
