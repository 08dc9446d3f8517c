"""Speed of corvane against NumPy, printed as tables of ratios.

Run after installing the package:
    python benchmarks/bench.py [--quick] [--only NAME] [--plot FILE.png]

Each section module (benchmarks/section_*.py) provides TITLE and `rows(size)`:
an iterable of (name, ours, baselines) or (name, ours, baselines, n), where
`ours` is a zero-argument callable, `baselines` maps a column label to another
callable computing the same (or, for a floor, the nearest) thing, and n is the
number of samples one call processes (default: size). Every ratio column is
"<label>/ours", baseline time / our time: "N x faster" reads straight off it,
above 1.00x corvane is faster, and against a floor (a plain wrapping op, a
copy) it says how close we come to it. The legend prints each section's
docstring, which explains its rows, and its BASELINES ({label: text}). A
section with PER_ELEMENT = False (whole calls, not samples) has no ns/elem
column.
"""
import argparse
import importlib
import pathlib
import sys
import timeit

SIZES = (16, 256, 4096, 65536, 1 << 20, 16 << 20)
QUICK_SIZES = (16, 4096, 65536, 1 << 20)
BUDGET = 0.3  # seconds of repeats per timing
QUICK_BUDGET = 0.06

COLUMNS = (
    ("function", "the corvane call timed, one row per function and size"),
    ("n", "samples one call processes (all channels together for the FIR rows)"),
    ("ours", "best time of one corvane call over the repeats"),
    ("ns/elem", "that time divided by n, in nanoseconds (not for the calls section)"),
    ("X/ours", "time of baseline X divided by ours: corvane is that many times faster;"),
    ("", "against a floor X (the least any call can do) 1.00x is as fast as the floor"),
)


def _calibrated(fn, batch):
    """A timer for fn and the number of calls that takes at least `batch` s."""
    timer = timeit.Timer(fn)
    number = 1
    while (elapsed := timer.timeit(number)) < batch:
        number *= 2
    return timer, number, elapsed


def best_times(fns, budget):
    """Best per-call time of each callable. Calls are batched to about a
    twentieth of the budget (far above the timer's resolution), and the
    callables take turns, one batch each per round, so that a spell in which
    another process slows the machine hits them alike and the best batches
    compare like with like."""
    timers = [_calibrated(fn, budget / 20) for fn in fns]
    best = [elapsed / number for _, number, elapsed in timers]
    rounds = max(3, int(budget / max(elapsed for _, _, elapsed in timers)))
    for _ in range(rounds - 1):
        for i, (timer, number, _) in enumerate(timers):
            best[i] = min(best[i], timer.timeit(number) / number)
    return best


def fmt_time(t):
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6)):
        if t >= scale:
            return f"{t / scale:.2f} {unit}"
    return f"{t / 1e-9:.1f} ns"


def load_sections(only):
    here = pathlib.Path(__file__).resolve().parent
    sys.path.insert(0, str(here))
    paths = sorted(here.glob("section_*.py"))
    return [importlib.import_module(p.stem) for p in paths if not only or only in p.stem]


def print_legend(sections, sizes, budget):
    print(f"sizes n = {', '.join(map(str, sizes))}; about {budget * 1000:.0f} ms of repeats per timing")
    print("Columns:")
    width = max(len(name) for name, _ in COLUMNS)
    for name, text in COLUMNS:
        print(f"  {name:<{width}}  {text}")
    print("Rows and baselines X, per section:")
    for section in sections:
        print(f"  {section.TITLE}")
        for line in (section.__doc__ or "").strip().splitlines():
            print(f"    {line}".rstrip())
        described = getattr(section, "BASELINES", None)
        if described:
            width = max(map(len, described))
            for label, text in described.items():
                print(f"    {label:<{width}}  {text}")


def measure(section, sizes, budget):
    """Rows of (name, n, t_ours, {label: t_baseline}) in the section's order."""
    results = []
    for size in sizes:
        for name, ours, baselines, *work in section.rows(size):
            t_ours, *t_base = best_times([ours, *baselines.values()], budget)
            results.append((name, work[0] if work else size, t_ours, dict(zip(baselines, t_base))))
    return results


def print_table(section, results):
    """One aligned table; a row lacking a column leaves it blank."""
    per_element = getattr(section, "PER_ELEMENT", True)
    header = ["function", "n", "ours"] + (["ns/elem"] if per_element else [])
    lines = []
    for name, n, t_ours, base in results:
        cells = {"function": name, "n": str(n), "ours": fmt_time(t_ours),
                 "ns/elem": f"{t_ours / n * 1e9:.3f}" if n else ""}
        for label, t_base in base.items():
            head = f"{label}/ours"
            if head not in header:
                header.append(head)
            cells[head] = f"{t_base / t_ours:.2f}x"
        lines.append(cells)
    widths = {h: max([len(h)] + [len(c.get(h, "")) for c in lines]) for h in header}

    def row(cells):
        # Names left-aligned, numbers right-aligned.
        return "  ".join(cells.get(h, "").ljust(widths[h]) if h == "function"
                         else cells.get(h, "").rjust(widths[h]) for h in header).rstrip()

    print(f"\n== {section.TITLE} ==")
    print(row({h: h for h in header}))
    for cells in lines:
        print(row(cells))


def plot(all_results, path):
    import matplotlib

    matplotlib.use("Agg")  # a file, no display
    import matplotlib.pyplot as plt

    names = list(dict.fromkeys(name for _, results in all_results for name, *_ in results))
    cols = min(4, len(names))
    rows = -(-len(names) // cols)
    fig, axes = plt.subplots(rows, cols, figsize=(4 * cols, 3 * rows), squeeze=False)
    for ax, name in zip(axes.flat, names):
        points = [(n, t, base) for _, results in all_results
                  for row_name, n, t, base in results if row_name == name]
        ns = [n for n, _, _ in points]
        ax.loglog(ns, [t / n * 1e9 for n, t, _ in points], "o-", label="corvane")
        for label in dict.fromkeys(label for _, _, base in points for label in base):
            have = [(n, base[label]) for n, _, base in points if label in base]
            ax.loglog([n for n, _ in have], [t / n * 1e9 for n, t in have], "s--", label=label)
        ax.set_title(name)
        ax.set_xlabel("n (samples)")
        ax.set_ylabel("ns per sample")
        ax.legend(fontsize="small")
    for ax in list(axes.flat)[len(names):]:
        ax.set_visible(False)
    fig.tight_layout()
    fig.savefig(path, dpi=100)
    print(f"\nplot written to {path}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true",
                        help=f"sizes {QUICK_SIZES} and {QUICK_BUDGET * 1000:.0f} ms per timing: under a minute")
    parser.add_argument("--only", help="run only the sections whose file name contains this")
    parser.add_argument("--plot", metavar="FILE.png",
                        help="also plot time per sample against n for corvane and each baseline")
    args = parser.parse_args()
    if args.plot:
        try:
            import matplotlib  # noqa: F401  (fail before the measurements)
        except ImportError:
            sys.exit("--plot needs matplotlib: pip install matplotlib, or the 'plot' extra")
    sizes, budget = (QUICK_SIZES, QUICK_BUDGET) if args.quick else (SIZES, BUDGET)
    sections = load_sections(args.only)
    print_legend(sections, sizes, budget)
    all_results = []
    for section in sections:
        results = measure(section, sizes, budget)
        print_table(section, results)
        sys.stdout.flush()
        all_results.append((section.TITLE, results))
    if args.plot:
        plot(all_results, args.plot)


if __name__ == "__main__":
    main()
