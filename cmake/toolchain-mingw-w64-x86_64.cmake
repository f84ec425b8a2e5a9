# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (posix
# threads variant), tests run under Wine:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-x86_64.cmake \
#         -DOSTREL_BUILD_UI=OFF -DGTest_DIR=<GoogleTest built for MinGW>/lib/cmake/GTest
# scripts/windows/build.sh does all of it, GoogleTest included.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triplet}-windres)

# Libraries and headers come from the MinGW sysroot (and from prefixes such
# as GoogleTest's, which are given by their full paths); programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Link the compiler's runtime (libgcc, libstdc++, winpthread) statically, so
# the programs need no DLL beyond those of Windows itself.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# Test programs run under Wine, in a Wine prefix of their own inside the
# build folder; the wrapper also drops the CR that Windows console output
# puts before each line end, so that CTest reads the test lists as written.
get_filename_component(ostrel_source_dir "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${ostrel_source_dir}/scripts/windows/wine-run.sh;${CMAKE_BINARY_DIR}/wineprefix")
# List the tests when CTest runs, not at build time, so building needs no Wine.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
