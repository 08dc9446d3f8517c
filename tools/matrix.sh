#!/usr/bin/env bash
# Runs the nox matrix (noxfile.py) with pyenv's interpreters on PATH and prints
# the wall time. Extra arguments go to nox, e.g. -s "tests(python='3.9', ...)".
#
#   tools/matrix.sh            # all sessions
#   tools/matrix.sh --list     # the session names
set -euo pipefail
cd "$(dirname "$0")/.."
for bin in /root/.pyenv/versions/*/bin "${PYENV_ROOT:-$HOME/.pyenv}"/versions/*/bin; do
    [[ -d "$bin" ]] && PATH="$PATH:$bin"
done
export PATH
NOX=${NOX:-nox}
start=$SECONDS
"$NOX" "$@"
echo "matrix: $(( SECONDS - start ))s"
