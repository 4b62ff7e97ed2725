# The Windows build: zorp_fenn_avx512.2.dll and zorp_core.2.dll from the same sources as the
# Linux build, cross compiled with Debian's mingw-w64 (configure with the toolchain file
# cmake/mingw-w64-x86_64.cmake, or the `windows` preset); ctest runs the tests under Wine.
# `./zorp wine` does all of it, including the GMP and MPFR the tests need.

set(ZORP_OTHER_PLATFORM posix)  # the platform layer that stays out of this build
set(ZORP_SYSTEM_LIBS)
# DLLs go beside the programs (the loader looks in a program's own folder first).
set(ZORP_LIB_DIR ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
set(ZORP_KERNEL_FILE zorp_fenn_avx512.2.dll)
set(ZORP_CORE_FILE zorp_core.2.dll)
# dlfcn.h over LoadLibrary/GetProcAddress for the tests and the tour, which load the library by
# file name the way a host does.
set(ZORP_COMPAT_INCLUDE ${CMAKE_SOURCE_DIR}/tests/common/win32)

# GCC on Windows cannot promise more than 16-byte stack alignment, yet it spills 64-byte vector
# registers with aligned moves (GCC bug 54412). The assembler turns every aligned vector move
# into its unaligned twin, which costs nothing on aligned data and cannot fault on the rest.
add_compile_options(-Wa,-muse-unaligned-vector-move)

# Under the Windows calling convention xmm16-xmm31 are not preserved across calls, but GCC 12's
# interprocedural register allocation, when it knows a callee's clobbers, still kept a pointer
# in xmm16 across a recursive sort whose partition step uses xmm16 for its pivot: the pointer
# came back as a float's bits and the sort's caller wrote through it (SSSort under Wine). Without
# the interprocedural pass every call is assumed to clobber what the convention says.
add_compile_options(-fno-ipa-ra)

# The tests' dependencies: GoogleTest from source, and GMP, MPFR and MPC built for mingw-w64.
# Only the tests need them; the two DLLs alone need nothing but the cross compiler.
if(ZORP_TESTS)
  # ---- GoogleTest, built from Debian's source package with the cross compiler -----------------
  set(ZORP_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # SYSTEM: its headers are system headers, as in the Linux build (no warnings from its macros).
  add_subdirectory(${ZORP_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)  # GTest::gtest

  # ---- MPFR and MPC for the accuracy references -----------------------------------------------
  # Debian has no GMP, MPFR or MPC for mingw-w64; `./zorp wine` builds them from Debian's source
  # packages into the prefix named here. (MPFR over GMP's one-file mini-gmp builds faster, but
  # the accuracy sweeps then run fourteen times slower.)
  set(ZORP_MINGW_DEPS "" CACHE PATH "Prefix holding GMP, MPFR and MPC built for mingw-w64")
  find_library(ZORP_MINGW_MPFR mpfr PATHS ${ZORP_MINGW_DEPS}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  find_path(ZORP_MINGW_MPFR_INCLUDE mpfr.h PATHS ${ZORP_MINGW_DEPS}/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
            REQUIRED)
  find_library(ZORP_MINGW_GMP gmp PATHS ${ZORP_MINGW_DEPS}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  find_library(ZORP_MINGW_MPC mpc PATHS ${ZORP_MINGW_DEPS}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  add_library(zorp_mpfr INTERFACE)
  target_include_directories(zorp_mpfr INTERFACE ${ZORP_MINGW_MPFR_INCLUDE})
  target_link_libraries(zorp_mpfr INTERFACE ${ZORP_MINGW_MPC} ${ZORP_MINGW_MPFR} ${ZORP_MINGW_GMP})
  set(ZORP_MPFR_LIBS zorp_mpfr)
endif()

# ---- the host core -------------------------------------------------------------------------
# BLAS and LAPACK: Debian ships none for mingw-w64, so the core links the plain C++ routines of
# core/portable. The DLL exports the core's own functions (automatic export: there is no
# dllexport in the core), and nothing from the archives it links.
function(zorp_windows_core)
  add_library(zorp_portable_lapack STATIC ${CMAKE_SOURCE_DIR}/core/portable/blas_lapack.cpp)
  target_link_libraries(zorp_core PRIVATE zorp_portable_lapack)
  target_link_options(zorp_core PRIVATE -Wl,--exclude-libs,ALL)
  set_target_properties(zorp_core PROPERTIES PREFIX "" OUTPUT_NAME zorp_core.2)
endfunction()

# ---- the export generator, built for the build machine ---------------------------------------
function(zorp_host_gen_exports)
  find_program(ZORP_HOST_CXX NAMES g++ c++ REQUIRED)
  set(exe ${CMAKE_BINARY_DIR}/host/gen_exports)
  add_custom_command(
    OUTPUT ${exe}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
    COMMAND ${ZORP_HOST_CXX} -std=c++20 -O1 -I${CMAKE_SOURCE_DIR}/src -I${CMAKE_SOURCE_DIR}/include
            ${CMAKE_SOURCE_DIR}/tools/gen_exports.cpp -o ${exe}
    DEPENDS ${CMAKE_SOURCE_DIR}/tools/gen_exports.cpp ${CMAKE_SOURCE_DIR}/include/zorp/vm_catalogue.def
    COMMENT "Building gen_exports for the build machine"
    VERBATIM)
  set(ZORP_GEN_EXPORTS ${exe} PARENT_SCOPE)
endfunction()

# ---- the kernel library ------------------------------------------------------------------------
# Its export table comes from a module-definition file that gen_exports writes just before the
# link: every expected name that the compiled objects define, tables marked DATA. (A .def may
# not name an undefined symbol, so the list is cut to what exists, as the version script's
# export list is on Linux.)
function(zorp_windows_kernel_library)
  set(defined ${CMAKE_BINARY_DIR}/zorp_fenn_defined.txt)
  set(def ${CMAKE_BINARY_DIR}/zorp_fenn.def)
  add_custom_command(
    TARGET zorp_fenn PRE_LINK
    COMMAND ${CMAKE_NM} -g --defined-only $<TARGET_OBJECTS:zorp_fenn> > ${defined}
    COMMAND ${ZORP_GEN_EXPORTS} --def ${CMAKE_SOURCE_DIR}/src/exports/names ${defined} zorp_fenn_avx512.2.dll ${def}
    COMMENT "Writing the module-definition file of the kernel library"
    COMMAND_EXPAND_LISTS)
  target_link_options(zorp_fenn PRIVATE ${def})
  # PE has no symbol visibility: the hidden table aliases and -fvisibility draw a warning per
  # use, and the .def does their work.
  target_compile_options(zorp_fenn PRIVATE -Wno-attributes)
  set_target_properties(zorp_fenn PROPERTIES PREFIX "" OUTPUT_NAME zorp_fenn_avx512.2)
endfunction()
