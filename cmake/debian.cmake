# Finding the Linux build's system dependencies. Each one names the Debian package that
# provides it, so that a missing one stops configure with the package to install instead of a
# NOTFOUND list at generate time. ./zorp installs them all (tools/debian-packages).

function(zorp_require_library var name package)
  find_library(${var} ${name})
  if(NOT ${var})
    message(FATAL_ERROR "lib${name} was not found: install the Debian package ${package} "
                        "(./zorp installs every package the build needs, listed in tools/debian-packages)")
  endif()
endfunction()

macro(zorp_require_package name package)
  find_package(${name} CONFIG QUIET)
  if(NOT ${name}_FOUND)
    message(FATAL_ERROR "CMake package ${name} was not found: install the Debian package ${package} "
                        "(./zorp installs every package the build needs, listed in tools/debian-packages)")
  endif()
endmacro()
