#!/usr/bin/env bash
# Builds the extension and the native test program with AddressSanitizer and
# UndefinedBehaviorSanitizer (gcc), then runs the native tests and the whole
# pytest suite against the instrumented module. Every sanitizer report aborts
# its process, so any report fails this script.
#
#   tools/sanitize.sh            # uses .venv/bin/python if present, else python3
#   PYTHON=/path/to/python tools/sanitize.sh
#
# The Python interpreter itself is not instrumented: ASan's runtime is preloaded
# (LD_PRELOAD) and Python's allocator is switched to malloc so that ASan sees
# every object allocation. Leak detection is off: the interpreter keeps memory
# alive until exit by design.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ -z "${PYTHON:-}" ]]; then
    PYTHON=$([[ -x .venv/bin/python ]] && echo .venv/bin/python || command -v python3)
fi
PYTHON=$("$PYTHON" -c "import sys; print(sys.executable)")
build=${SANITIZE_BUILD_DIR:-build-sanitize}
san="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCORVANE_BUILD_TESTS=ON -DPython_EXECUTABLE="$PYTHON" \
    -DCMAKE_CXX_FLAGS="$san" -DCMAKE_EXE_LINKER_FLAGS="$san" \
    -DCMAKE_MODULE_LINKER_FLAGS="$san" -DCMAKE_SHARED_LINKER_FLAGS="$san" >/dev/null
cmake --build "$build" -j2

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== native tests under ASan+UBSan"
ctest --test-dir "$build" --output-on-failure

echo "== pytest under ASan+UBSan"
LD_PRELOAD="$(gcc -print-file-name=libasan.so) $(gcc -print-file-name=libubsan.so)" \
PYTHONMALLOC=malloc PYTHONPATH="$PWD/$build" \
    "$(dirname "$PYTHON")/pytest" -q -p no:cacheprovider
