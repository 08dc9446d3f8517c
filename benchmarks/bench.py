"""Speed of corvane.arith against NumPy, printed as tables of ratios.

Run after installing the package:  python benchmarks/bench.py [--quick]

Each section module (benchmarks/section_*.py) provides `rows(size)`: an
iterable of (name, ours, baselines) where `ours` is a zero-argument callable
and `baselines` maps a column label to another callable computing the same
(or, for a plain NumPy op, the nearest) thing. A ratio column prints
baseline_time / our_time, headed "<label>/ours", so > 1 means corvane is
faster. Labels a section lists in OURS_OVER print the other way round,
our_time / baseline_time headed "ours/<label>": for a baseline that is a floor
(a plain wrapping op), where the question is how close we get to it.
"""
import argparse
import importlib
import pathlib
import sys
import timeit

SIZES = (16, 4096, 1 << 20, 16 << 20)


def best_time(fn, budget=0.2):
    """Best per-call time of fn, over repeats filling about `budget` seconds."""
    timer = timeit.Timer(fn)
    number, elapsed = timer.autorange()
    repeats = max(3, min(50, int(budget / max(elapsed, 1e-9))))
    return min(timer.repeat(repeat=repeats, number=number)) / number


def fmt_time(t):
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6)):
        if t >= scale:
            return f"{t / scale:8.2f} {unit}"
    return f"{t / 1e-9:8.1f} ns"


def ratio_column(label, t_ours, t_base, ours_over):
    if ours_over:
        return f"ours/{label} {t_ours / t_base:6.2f}x"
    return f"{label}/ours {t_base / t_ours:6.2f}x"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="skip the 16M size")
    parser.add_argument("--only", help="run only the sections whose name contains this")
    args = parser.parse_args()
    sizes = SIZES[:-1] if args.quick else SIZES
    here = pathlib.Path(__file__).resolve().parent
    sys.path.insert(0, str(here))
    for path in sorted(here.glob("section_*.py")):
        if args.only and args.only not in path.stem:
            continue
        section = importlib.import_module(path.stem)
        ours_over = set(getattr(section, "OURS_OVER", ()))
        print(f"\n== {section.TITLE} ==")
        for size in sizes:
            for name, ours, baselines in section.rows(size):
                t_ours = best_time(ours)
                cols = "  ".join(
                    ratio_column(label, t_ours, best_time(fn), label in ours_over)
                    for label, fn in baselines.items()
                )
                print(f"{name:10s} n={size:<9d} {fmt_time(t_ours)}  {cols}")


if __name__ == "__main__":
    main()
