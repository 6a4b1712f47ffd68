"""Memory under load: N `_parse_sql` calls mixing successes and every kind of
error, with resident memory (RSS) printed at intervals.

    PYTHONPATH=python:build/<dir> python bench/memory_soak.py [N=1000000] [--max-growth-mb 8]

The calls cycle through queries that succeed, queries the parser rejects,
unsupported FROM shapes (a join, a comma list: these print one line each,
sent to /dev/null here), and resolution cycles; one call in ten goes the
Python way instead (`_re_hint`, `parse` to a Python tree, then `Analyze(tree)`), so the
conversions of trees and errors between C++ and Python are soaked too.

RSS is sampled 20 times. After the first 10% of the calls (warm-up: caches,
allocator arenas, interned strings) it must stay flat: the script exits 1
when it grew by more than --max-growth-mb from the end of warm-up to the
end, 0 otherwise.
"""

import argparse
import os
import sys
import time

import sqlparse_main
import sql_parser

OK = [
    "select s.a as x from (select a from db.t) s -- c",
    "SELECT /*+ MAPJOIN(b) */ a, b AS c FROM db.t",
    "select a from t union select b from u",
    "select s.* from (select a, b from db.t) s",
    "select x.a from (select y.a from (select a from db.deep) y) x",
]
PARSE_ERRORS = [
    "select from where",
    "select a from (select b from",
    "select 'unterminated from t",
]
UNSUPPORTED_FROM = [
    "select a, b from t join u on t.k = u.k",
    "select a from t1, t2",
]
CYCLES = [
    "select a from (select a from t)",
]
KINDS = [("ok", q) for q in OK] + [("parse error", q) for q in PARSE_ERRORS] + \
    [("unsupported from", q) for q in UNSUPPORTED_FROM] + [("cycle", q) for q in CYCLES]


def rss_mb():
    with open("/proc/self/statm") as f:
        pages = int(f.read().split()[1])
    return pages * os.sysconf("SC_PAGE_SIZE") / 2**20


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("n", nargs="?", type=int, default=1_000_000)
    ap.add_argument("--max-growth-mb", type=float, default=8.0)
    args = ap.parse_args()

    front = sqlparse_main.VarnelParseMain()
    counts = {}
    unexpected = []
    samples = []
    warmup_end = max(1, args.n // 10)
    step = max(1, args.n // 20)
    real_stdout = sys.stdout
    start = time.perf_counter()
    with open(os.devnull, "w") as devnull:
        sys.stdout = devnull
        try:
            for i in range(args.n):
                kind, sql = KINDS[i % len(KINDS)]
                try:
                    if i % 10 == 9:
                        clean = sqlparse_main.VarnelParseMain._re_hint(sql)
                        sqlparse_main.Analyze(sql_parser.parse(clean)).analyze_sql()
                    else:
                        front._parse_sql(sql)
                    outcome = "ok"
                except Exception as exc:  # every error is an expected outcome here
                    outcome = type(exc).__name__
                key = (kind, outcome)
                counts[key] = counts.get(key, 0) + 1
                if kind == "ok" and outcome != "ok" and len(unexpected) < 5:
                    unexpected.append((sql, outcome))
                if (i + 1) % step == 0 or i + 1 == warmup_end:
                    samples.append((i + 1, rss_mb()))
                    print("%9d calls  RSS %8.1f MB  %6.1f s" % (i + 1, samples[-1][1],
                                                             time.perf_counter() - start),
                          file=real_stdout, flush=True)
        finally:
            sys.stdout = real_stdout

    elapsed = time.perf_counter() - start
    print("\noutcomes:")
    for (kind, outcome), c in sorted(counts.items()):
        print("  %-18s %-22s %9d" % (kind, outcome, c))
    base = next(mb for calls, mb in samples if calls >= warmup_end)
    final = samples[-1][1]
    peak = max(mb for calls, mb in samples if calls >= warmup_end)
    growth = final - base
    print("\n%d calls in %.1f s (%.1f us/call)" % (args.n, elapsed, elapsed / args.n * 1e6))
    print("RSS after warm-up %.1f MB, at the end %.1f MB, peak after warm-up %.1f MB: growth %+.1f MB"
          % (base, final, peak, growth))
    if unexpected:
        print("queries meant to succeed failed:", unexpected)
    if growth > args.max_growth_mb or peak - base > args.max_growth_mb:
        print("FAIL: resident memory grew by more than %.1f MB after warm-up" % args.max_growth_mb)
        return 1
    print("PASS: resident memory flat after warm-up (threshold %.1f MB)" % args.max_growth_mb)
    return 0


if __name__ == "__main__":
    sys.exit(main())
