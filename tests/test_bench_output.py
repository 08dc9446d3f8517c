"""The benchmark's tables stay aligned whatever its sections name their columns."""
import importlib
import pathlib
import re
import sys
import types

import pytest

BENCH = pathlib.Path(__file__).resolve().parent.parent / "benchmarks"
pytestmark = pytest.mark.skipif(not (BENCH / "bench.py").is_file(),
                                reason="tests run apart from the source tree")


def test_columns_align_for_any_label_width_and_missing_cells(capsys, monkeypatch):
    monkeypatch.syspath_prepend(str(BENCH))
    bench = importlib.import_module("bench")
    section = types.SimpleNamespace(TITLE="t")
    results = [
        ("f", 16, 2e-7, {"x": 4e-7, "a_floor_with_a_long_name": 1e-7}),
        ("a_much_longer_function_name", 1 << 24, 3.5, {"x": 7.0}),
        ("g", 4096, 1e-6, {"a_floor_with_a_long_name": 2e-6, "y": 1e-6}),
    ]
    bench.print_table(section, results)
    header, *lines = capsys.readouterr().out.strip().splitlines()[1:]
    # One direction everywhere: baseline time / ours, floors included.
    heads = ["function", "n", "ours", "ns/elem", "x/ours", "a_floor_with_a_long_name/ours", "y/ours"]
    assert header.split() == heads
    # Numeric columns are right-aligned: each cell ends where its heading ends,
    # and a missing cell leaves that place blank.
    ends = [m.end() for m in re.finditer(r"\S+", header)]
    ends[0] = max(len(name) for name, *_ in results)  # names are left-aligned
    spans = list(zip([e + 2 for e in ends], ends[1:]))  # two spaces between columns
    expected = [["16", "200.0 ns", "12.500", "2.00x", "0.50x", ""],
                ["16777216", "3.50 s", "208.616", "2.00x", "", ""],
                ["4096", "1.00 us", "0.244", "", "2.00x", "1.00x"]]
    for line, cells, result in zip(lines, expected, results):
        assert line.startswith(result[0] + " ")
        line = line.ljust(len(header))
        assert [line[start:end].lstrip() for start, end in spans] == cells, line
    # A section of whole calls has no ns/elem; a row may say its n.
    calls = types.SimpleNamespace(TITLE="c", PER_ELEMENT=False,
                                  rows=lambda size: [("g", lambda: None, {}, 8 * size)])
    measured = bench.measure(calls, [16], 0.001)
    assert [(name, n) for name, n, *_ in measured] == [("g", 128)]
    bench.print_table(calls, measured)
    header, line = capsys.readouterr().out.strip().splitlines()[1:]
    assert header.split() == ["function", "n", "ours"] and line.split()[:2] == ["g", "128"]
    sys.modules.pop("bench", None)
