# SPDX-License-Identifier: MIT
# Cross-compiling for 32-bit Windows with Debian's mingw-w64 (package
# g++-mingw-w64-i686). Programs built here run under Wine: ctest starts them
# through win32/wine-run with the Wine prefix kept in the build tree.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(KESTREL_MINGW_TRIPLE i686-w64-mingw32)
# The posix thread model gives the complete C++ library; winpthread is linked
# statically like libstdc++ and libgcc, so no runtime DLL has to be shipped.
set(CMAKE_C_COMPILER ${KESTREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTREL_MINGW_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${KESTREL_MINGW_TRIPLE}-dlltool)
set(CMAKE_OBJDUMP ${KESTREL_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${KESTREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(KESTREL_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${KESTREL_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${KESTREL_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${KESTREL_STATIC_RUNTIME}")

# Test programs run under Wine in a 32-bit prefix inside the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run;${CMAKE_BINARY_DIR}/wine")
# Listing the tests of a program needs Wine, so do it when ctest runs rather
# than after every link.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
