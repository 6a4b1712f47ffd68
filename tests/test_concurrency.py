"""Eight threads call `_parse_sql`, `parse` and `Analyze(tree).analyze_sql()`
at once, on shared and on distinct inputs, for a few seconds; every result,
errors included, must equal the one computed serially beforehand.

The core releases the GIL while it works, so the C++ side really runs in
parallel here. SQLPARSE_STRESS_SECONDS sets the duration (default 3).
"""

import io
import os
import sys
import threading
import time

import pytest

import sqlparse_main
import sql_parser

THREADS = 8
SECONDS = float(os.environ.get("SQLPARSE_STRESS_SECONDS", "3"))

SHARED_QUERIES = [
    "select s.a as x from (select a from db.t) s -- c",
    "SELECT /*+ MAPJOIN(b) */ a, b AS c FROM db.t",
    "select a from t union select b from u",
    "select a from t union all select b from db.u union select c from v",
    "select s.* from (select a, b from db.t) s",
    "select t1.a, t1.b as bb from db.t1 t1",
    "select x.a from (select y.a from (select a from db.deep) y) x",
    "select case when a > 1 then b else c end as d from db.t",
    "select count(*) as n, max(a) m from db.t group by b",
    "select a from (select a from t)",  # resolution cycle
    "select a, b from t join u on t.k = u.k",  # unsupported FROM shape
    "select a from t1, t2",  # unsupported FROM shape
    "select from where",  # parse error
    "select a from (select b from",  # parse error
    "\n".join("select c%d /* c */ from db.t%d -- x\n" % (i, i) for i in range(1))
    + " union ".join("select c%d from db.t%d" % (i, i) for i in range(40)),
]


def distinct_queries(worker):
    return [
        "select s.c{w}_{i} as out{i} from (select c{w}_{i} from db.t{w}) s /* {i} */".format(w=worker, i=i)
        for i in range(6)
    ]


def _freeze(value):
    """A comparable, hashable image of a result (records, trees, triples)."""
    if isinstance(value, dict):
        return ("dict", tuple((k, _freeze(v)) for k, v in value.items()))
    if isinstance(value, (list, tuple)):
        return (type(value).__name__, tuple(_freeze(v) for v in value))
    if isinstance(value, float) and value != value:
        return ("nan",)
    if hasattr(value, "get") and hasattr(value, "add"):  # a VarnelVar record
        return ("record", tuple(value.get(f) for f in ("database", "table", "src", "tgt")))
    return (type(value).__name__, value)


def _outcome(fn, arg):
    try:
        return ("ok", _freeze(fn(arg)))
    except Exception as exc:  # errors are results too, and must be the same
        return ("error", type(exc).__name__, str(exc))


def _parse_sql(sql):
    return sqlparse_main.VarnelParseMain()._parse_sql(sql)


def _parse(sql):
    return sql_parser.parse(sqlparse_main.VarnelParseMain._re_hint(sql))


def _analyze(tree):
    return sqlparse_main.Analyze(tree).analyze_sql()


def _jobs():
    jobs = []
    for sql in SHARED_QUERIES:
        jobs.append(("_parse_sql", _parse_sql, sql, None))
        jobs.append(("parse", _parse, sql, None))
    # Shared trees: the same Python objects handed to every thread.
    for sql in SHARED_QUERIES:
        try:
            tree = _parse(sql)
        except sql_parser.ParseError:
            continue
        jobs.append(("Analyze shared tree", _analyze, tree, None))
    for w in range(THREADS):
        for sql in distinct_queries(w):
            jobs.append(("_parse_sql distinct", _parse_sql, sql, w))
            jobs.append(("parse distinct", _parse, sql, w))
    return jobs


@pytest.fixture
def quiet_stdout(monkeypatch):
    # The unsupported FROM shapes print a line per call; keep them out of the
    # test output (sys.stdout is looked up at call time by the front end).
    monkeypatch.setattr(sys, "stdout", io.StringIO())


def test_threads_agree_with_serial_results(quiet_stdout):
    jobs = _jobs()
    expected = [_outcome(fn, arg) for _, fn, arg, _ in jobs]
    assert any(e[0] == "ok" for e in expected)
    assert any(e[0] == "error" for e in expected)

    stop = time.monotonic() + SECONDS
    mismatches = []
    runs = [0] * THREADS
    failures = []
    barrier = threading.Barrier(THREADS)

    def worker(w):
        try:
            mine = [i for i, job in enumerate(jobs) if job[3] in (None, w)]
            barrier.wait()
            k = w
            while time.monotonic() < stop:
                for step in range(len(mine)):
                    i = mine[(k + step * (2 * w + 1)) % len(mine)]
                    name, fn, arg, _ = jobs[i]
                    got = _outcome(fn, arg)
                    if got != expected[i]:
                        mismatches.append((w, name, arg, got, expected[i]))
                    runs[w] += 1
                k += 1
        except BaseException as exc:  # noqa: BLE001 - reported below
            failures.append(exc)

    threads = [threading.Thread(target=worker, args=(w,)) for w in range(THREADS)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=SECONDS + 120)
    assert not any(t.is_alive() for t in threads), "a worker thread hangs"
    assert not failures, failures
    assert not mismatches, mismatches[:3]
    assert all(r > 0 for r in runs)


def test_distinct_analyzers_on_one_tree_in_parallel():
    # One Python tree, many Analyze objects on many threads at once.
    tree = _parse("select s.a as x, s.b from (select a, b from db.t) s")
    expected = _analyze(tree)
    results = []

    def worker():
        for _ in range(200):
            results.append(_freeze(_analyze(tree)))

    threads = [threading.Thread(target=worker) for _ in range(THREADS)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert set(results) == {_freeze(expected)}
