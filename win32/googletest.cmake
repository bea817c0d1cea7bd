# SPDX-License-Identifier: MIT
# GoogleTest for the Windows build, compiled from Debian's sources (package
# googletest) with the cross toolchain. Gives the same GTest:: targets as
# find_package(GTest) does on the build machine.
set(KESTREL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${KESTREL_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${KESTREL_GOOGLETEST_SOURCE}; "
                      "install Debian's googletest package")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
# GoogleTest has its own Win32 threading; it needs no pthread library.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${KESTREL_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Our warning flags are for our own code, not for GoogleTest's.
foreach(target gtest gtest_main gmock gmock_main)
  set_property(TARGET ${target} PROPERTY COMPILE_OPTIONS "")
endforeach()
