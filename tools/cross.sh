#!/usr/bin/env bash
# The native test suite on the builds and CPUs this x86-64 machine can reach
# besides its own default build:
#
#   tools/cross.sh aarch64    cross-compiled for 64-bit ARM (the NEON paths),
#                             run under qemu-aarch64 (g++-aarch64-linux-gnu,
#                             qemu-user-static)
#   tools/cross.sh aarch64-clang   the same with clang, the compiler of macOS on
#                             Apple silicon
#   tools/cross.sh clang      the whole project (module included) built with
#                             clang++, warnings as errors; the native tests and
#                             the pytest suite against that module
#   tools/cross.sh portable   the scalar rules alone (-DCORVANE_PORTABLE=ON)
#   tools/cross.sh nehalem    the default x86 build run on an emulated CPU
#                             without AVX2, which exercises start-up dispatch
#   tools/cross.sh all        each of the above in turn
#
# EXHAUSTIVE=1 adds the all-pairs Q15 sweep (ctest label "exhaustive") to each
# run; CROSS_BUILD_PREFIX (default "build-") names the build directories;
# PYTHON picks the interpreter of the clang build (default .venv/bin/python).
set -euo pipefail
cd "$(dirname "$0")/.."

prefix=${CROSS_BUILD_PREFIX:-build-}
ctest_args=(--output-on-failure)
gtest_filter='-*Exhaustive*'
if [[ "${EXHAUSTIVE:-0}" == 1 ]]; then
    gtest_filter='*'
else
    ctest_args+=(-LE exhaustive)
fi

configure_and_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -Wno-deprecated -DCORVANE_BUILD_TESTS=ON "$@" >/dev/null
    cmake --build "$dir" -j2
}

run_aarch64() {
    configure_and_build "${prefix}aarch64" -DCORVANE_BUILD_MODULE=OFF \
        -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
    ctest --test-dir "${prefix}aarch64" "${ctest_args[@]}"
}

run_aarch64-clang() {
    configure_and_build "${prefix}aarch64-clang" -DCORVANE_BUILD_MODULE=OFF -DCORVANE_CROSS_CLANG=ON \
        -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
    ctest --test-dir "${prefix}aarch64-clang" "${ctest_args[@]}"
}

run_clang() {
    local python=${PYTHON:-}
    if [[ -z "$python" ]]; then
        python=$([[ -x .venv/bin/python ]] && echo .venv/bin/python || command -v python3)
    fi
    python=$("$python" -c "import sys; print(sys.executable)")
    CXX=clang++ configure_and_build "${prefix}clang" -DPython_EXECUTABLE="$python"
    ctest --test-dir "${prefix}clang" "${ctest_args[@]}"
    # From outside the checkout, so that the source package cannot shadow the build.
    (cd / && PYTHONPATH="$OLDPWD/${prefix}clang" "$python" -m pytest -q -p no:cacheprovider "$OLDPWD/tests")
}

run_portable() {
    configure_and_build "${prefix}portable" -DCORVANE_BUILD_MODULE=OFF -DCORVANE_PORTABLE=ON
    ctest --test-dir "${prefix}portable" "${ctest_args[@]}"
}

run_nehalem() {
    configure_and_build "${prefix}nehalem" -DCORVANE_BUILD_MODULE=OFF
    qemu-x86_64-static -cpu Nehalem "${prefix}nehalem/test_core" --gtest_filter="$gtest_filter" --gtest_brief=1
}

case "${1:-}" in
aarch64 | aarch64-clang | clang | portable | nehalem) "run_$1" ;;
all) for t in aarch64 aarch64-clang clang portable nehalem; do echo "== $t"; "run_$t"; done ;;
*)
    sed -n '2,21p' "$0" >&2
    exit 2
    ;;
esac
