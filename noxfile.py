"""Build the package and run the test suite across the supported Python and
NumPy versions. The build always compiles against NumPy 2 headers (pip's
isolated build environment); the pinned NumPy is the runtime under test.

    tools/matrix.sh                 # every session (puts pyenv's interpreters on PATH)
    tools/matrix.sh -s "tests(3.9-1.20.3)"   # one session
    nox -l                          # list the sessions
"""
import nox

nox.options.default_venv_backend = "venv"
nox.options.error_on_missing_interpreters = True

# (interpreter, NumPy requirement): the oldest promised runtime, the last 1.x
# on 3.11, and the newest NumPy 2 on every newer interpreter.
MATRIX = [
    ("3.9", "numpy==1.20.3"),
    ("3.11", "numpy==1.26.*"),
    ("3.11", "numpy>=2"),
    ("3.12", "numpy>=2"),
    ("3.13", "numpy>=2"),
]


@nox.session
@nox.parametrize("python,numpy", MATRIX, ids=[f"{py}-{np.split('=')[-1].rstrip('.*')}" for py, np in MATRIX])
def tests(session, numpy):
    session.install("--only-binary=numpy", numpy)
    session.install(".[test]", numpy)
    session.run("python", "-c", "import numpy, sys; print('Python', sys.version.split()[0], 'NumPy', numpy.__version__)")
    session.run("pytest", "-q", "-p", "no:cacheprovider", *session.posargs)
