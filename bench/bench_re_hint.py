"""Throughput of comment stripping (`re_hint`), in MB/s of input text.

    PYTHONPATH=python:build/<dir> python bench/bench_re_hint.py [--mb N]

Measures the compiled `_sqlparse_core.re_hint` (and `VarnelParseMain._re_hint`
when the front end is importable) on comment-free text, on comment-heavy text
and on many short queries, and prints one table. The best of several rounds
is reported, since the machine is shared.
"""

import argparse
import time

import _sqlparse_core

CLEAN_LINE = "SELECT a.col_{i}, b.other_{i} AS x_{i} FROM db.table_{i} a JOIN db.t b ON a.k = b.k\n"
HEAVY_UNIT = (
    "SELECT /*+ MAPJOIN(b) */ a, -- first column\n"
    "  b /* nested /* block */ comment */ FROM t -- tail\r\n"
    "\n \t \n"
    "/*/ odd */ WHERE x = 'a--b' -- c\n"
)
SHORT_QUERIES = [
    "SELECT a FROM t",
    "SELECT /*+ HINT */ a, b FROM db.t -- note",
    "select s.a as x from (select a from db.t) s -- c",
    "SELECT a\n\n  FROM t /* x */ WHERE b = 1\n",
]


def clean_text(size):
    parts, total, i = [], 0, 0
    while total < size:
        line = CLEAN_LINE.format(i=i)
        parts.append(line)
        total += len(line)
        i += 1
    return "".join(parts)


def heavy_text(size):
    return HEAVY_UNIT * (size // len(HEAVY_UNIT) + 1)


def best_seconds(fn, rounds):
    best = float("inf")
    for _ in range(rounds):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--mb", type=float, default=20.0, help="size of the big texts in MB")
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--short", type=int, default=200_000, help="number of short queries")
    args = ap.parse_args()

    impls = [("_sqlparse_core.re_hint", _sqlparse_core.re_hint)]
    try:
        from sqlparse_main import VarnelParseMain

        impls.append(("VarnelParseMain._re_hint", VarnelParseMain._re_hint))
    except (ImportError, AttributeError):
        pass

    size = int(args.mb * 1_000_000)
    clean = clean_text(size)
    heavy = heavy_text(size)
    shorts = [SHORT_QUERIES[i % len(SHORT_QUERIES)] for i in range(args.short)]
    short_bytes = sum(len(q.encode()) for q in shorts)

    rows = []
    for name, fn in impls:
        for label, text in (("comment-free", clean), ("comment-heavy", heavy)):
            n = len(text.encode())
            sec = best_seconds(lambda: fn(text), args.rounds)
            rows.append((name, label, n / 1e6, sec, n / 1e6 / sec, ""))

        def run_shorts():
            for q in shorts:
                fn(q)

        sec = best_seconds(run_shorts, max(1, args.rounds // 2))
        rows.append(
            (name, "%d short queries" % len(shorts), short_bytes / 1e6, sec, short_bytes / 1e6 / sec,
             "%.2f us/query" % (sec / len(shorts) * 1e6))
        )

    header = ("function", "input", "MB", "best s", "MB/s", "")
    widths = [max(len(str(h)), 24) if i < 2 else 10 for i, h in enumerate(header)]
    widths[1] = 22
    print(" | ".join(str(h).ljust(w) for h, w in zip(header, widths)))
    print("-+-".join("-" * w for w in widths))
    for name, label, mb, sec, rate, note in rows:
        cells = (name, label, "%.1f" % mb, "%.4f" % sec, "%.0f" % rate, note)
        print(" | ".join(str(c).ljust(w) for c, w in zip(cells, widths)))


if __name__ == "__main__":
    main()
