# Cross-compiling for 64-bit ARM Linux with Debian's g++-aarch64-linux-gnu.
# Test programs run under qemu-user (qemu-user-static), which ctest calls
# through the emulator setting below:
#   cmake -S . -B build-aarch64 -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
#         -DCORVANE_BUILD_MODULE=OFF -DCORVANE_BUILD_TESTS=ON
# Add -DCORVANE_CROSS_CLANG=ON to compile with clang instead (the compiler of
# macOS on Apple silicon), still linking against the GNU cross sysroot.
# The Python extensions need the target's CPython and NumPy as well: name a
# sysroot that holds them (tools/aarch64_python.sh makes one) with
# -DCORVANE_TARGET_SYSROOT=<dir>.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

if(CORVANE_CROSS_CLANG)
  set(CMAKE_C_COMPILER clang)
  set(CMAKE_CXX_COMPILER clang++)
  set(CMAKE_C_COMPILER_TARGET aarch64-linux-gnu)
  set(CMAKE_CXX_COMPILER_TARGET aarch64-linux-gnu)
else()
  set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
  set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
endif()

# Headers and libraries come from the target's sysroot only, so the host's
# x86 GoogleTest is not picked up; the tests then build it from source.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu ${CORVANE_TARGET_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(CORVANE_TARGET_SYSROOT)
  # Debian's pyconfig.h includes the one of its architecture from the
  # multiarch folder, which the cross compiler does not search by itself.
  set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${CORVANE_TARGET_SYSROOT}/usr/include)
  # The sysroot has its own C and C++ runtime, and FindPython runs the
  # target's interpreter through the emulator, which needs its libraries.
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L ${CORVANE_TARGET_SYSROOT})
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L /usr/aarch64-linux-gnu)
endif()
