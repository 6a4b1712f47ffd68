#!/usr/bin/env python3
"""The Arrow edge kernel against lineage_many, then on Spark and Dask clusters.

Texts: the TPC-DS statements of ``tpc.jsonl`` (Spark dialect), repeated to
``--texts``, with the TPC-DS schema. First the kernel
(``sqlparse_main.arrow.lineage_edges``) and ``lineage_many`` on the same
texts with 1 and 2 threads, taking turns within each round (best of
``--rounds``). Then, with ``--clusters``, the Spark adapter on a
local-cluster of 1 and of 2 executors and the Dask adapter on a LocalCluster
of 1 and of 2 worker processes (one core each), over the texts written as 16
Parquet files: the time of a whole job after a warm-up job, best of the
rounds. Cluster start-up is not counted.

    PYTHONPATH=python:build/dev python bench/bench_arrow_edges.py [--clusters]
"""

import argparse
import json
import os
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.append(str(ROOT / "python"))  # after PYTHONPATH, so a build named there wins

import pyarrow as pa  # noqa: E402
import pyarrow.parquet as pq  # noqa: E402

import sqlparse_main  # noqa: E402
from sqlparse_main.arrow import lineage_edges  # noqa: E402

CORPUS = ROOT.parent / "shared" / "sql-corpus"


def load(corpus, count):
    with open(Path(corpus) / "tpc.jsonl", encoding="utf-8") as f:
        rows = [json.loads(line) for line in f if line.strip()]
    with open(Path(corpus) / "tpcds-schema.json", encoding="utf-8") as f:
        mapping = json.load(f)
    texts = [r["sql"] for r in rows if r["id"].startswith("tpcds") and r["dialect"] == "sparksql"]
    texts = (texts * (count // len(texts) + 1))[:count]
    return texts, mapping


def best_of(rounds, ways):
    best = {name: float("inf") for name, _ in ways}
    results = {}
    for _ in range(rounds):
        for name, fn in ways:
            start = time.perf_counter()
            results[name] = fn()
            best[name] = min(best[name], time.perf_counter() - start)
    return best, results


def in_process(texts, mapping, rounds):
    schema = sqlparse_main.Schema(mapping)
    table = pa.table({"id": pa.array(range(len(texts)), pa.int64()), "sql": texts})
    ways = []
    for threads in (1, 2):
        ways.append((f"lineage_many, {threads} thread{'s' * (threads > 1)}",
                     lambda t=threads: sqlparse_main.lineage_many(
                         texts, dialect="spark", schema=schema, threads=t)))
        ways.append((f"arrow kernel, {threads} thread{'s' * (threads > 1)}",
                     lambda t=threads: lineage_edges(table, id_cols=["id"], dialect="spark",
                                                     schema=schema, threads=t)))
    best, results = best_of(rounds, ways)
    edges = results["arrow kernel, 1 thread"].num_rows
    print(f"{len(texts)} TPC-DS texts (spark), {edges} edge rows, best of {rounds} rounds\n")
    print(f"{'way':26s} {'texts/s':>9s} {'texts/s/core':>13s} {'edges/s/core':>13s} "
          f"{'x lineage_many':>15s}")
    for name, seconds in best.items():
        threads = 2 if "2 threads" in name else 1
        base = best[f"lineage_many, {threads} thread{'s' * (threads > 1)}"]
        rate = len(texts) / seconds
        print(f"{name:26s} {rate:9.0f} {rate / threads:13.0f} {edges / seconds / threads:13.0f} "
              f"{base / seconds:15.2f}")


def spark_times(directory, mapping, rounds, executors):
    from pyspark.sql import SparkSession

    from sqlparse_main.spark import lineage_edges as spark_edges

    os.environ["PYSPARK_PYTHON"] = sys.executable
    os.environ["SPARK_LOCAL_IP"] = "127.0.0.1"
    path = os.pathsep.join(os.path.abspath(p) for p in sys.path if p and os.path.isdir(p))
    session = (SparkSession.builder.master(f"local-cluster[{executors},1,1024]")
               .config("spark.driver.host", "127.0.0.1")
               .config("spark.driver.bindAddress", "127.0.0.1")
               .config("spark.ui.enabled", "false")
               .config("spark.ui.showConsoleProgress", "false")
               .config("spark.sql.files.maxPartitionBytes", str(256 << 10))  # a task per file
               .config("spark.sql.files.openCostInBytes", "0")
               .config("spark.executorEnv.PYTHONPATH", path)
               .getOrCreate())
    session.sparkContext.setLogLevel("ERROR")
    try:
        df = session.read.parquet(directory)

        def job():
            edges = spark_edges(df, "sql", id_cols=["id"], dialect="spark", schema=mapping)
            edges.write.format("noop").mode("overwrite").save()

        job()  # starts the Python workers
        return best_of(rounds, [("job", job)])[0]["job"]
    finally:
        session.stop()


def dask_times(directory, mapping, rounds, workers):
    import dask.dataframe as dd
    from distributed import Client, LocalCluster

    from sqlparse_main.dask import lineage_edges as dask_edges

    os.environ["PYTHONPATH"] = os.pathsep.join(os.path.abspath(p) for p in sys.path
                                               if p and os.path.isdir(p))
    cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                           host="127.0.0.1", dashboard_address=None, silence_logs=50)
    try:
        with Client(cluster):
            ddf = dd.read_parquet(directory, dtype_backend="pyarrow")

            def job():
                # Row counts per partition: len() of a frame is cached by
                # dask between calls.
                edges = dask_edges(ddf, "sql", id_cols=["id"], dialect="spark", schema=mapping)
                return edges.map_partitions(_rows, meta=("rows", "int64")).compute().sum()

            job()
            return best_of(rounds, [("job", job)])[0]["job"]
    finally:
        cluster.close()


def _rows(frame):
    import pandas as pd

    return pd.Series([len(frame)], dtype="int64")


def clusters(texts, mapping, rounds, engines):
    with tempfile.TemporaryDirectory() as directory:
        table = pa.table({"id": pa.array(range(len(texts)), pa.int64()), "sql": texts})
        per_file = -(-len(texts) // 16)
        for k in range(16):
            pq.write_table(table.slice(k * per_file, per_file), f"{directory}/part-{k:02d}.parquet")
        print(f"\n{len(texts)} texts in 16 Parquet files, whole job, best of {rounds} after a "
              f"warm-up\n")
        print(f"{'engine':8s} {'workers':>8s} {'seconds':>8s} {'texts/s':>9s} {'x one':>6s}")
        for engine, run in (("spark", spark_times), ("dask", dask_times)):
            if engine not in engines:
                continue
            one = None
            for n in (1, 2):
                seconds = run(directory, mapping, rounds, n)
                one = one or seconds
                print(f"{engine:8s} {n:8d} {seconds:8.2f} {len(texts) / seconds:9.0f} "
                      f"{one / seconds:6.2f}", flush=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--corpus", default=str(CORPUS), help="folder of tpc.jsonl and tpcds-schema.json")
    ap.add_argument("--texts", type=int, default=20000)
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--clusters", nargs="?", const="spark,dask", default="",
                    help="also time these engines (default both: spark,dask)")
    args = ap.parse_args()
    texts, mapping = load(args.corpus, args.texts)
    in_process(texts, mapping, args.rounds)
    if args.clusters:
        clusters(texts * 5, mapping, max(1, args.rounds // 2), args.clusters.split(","))


if __name__ == "__main__":
    main()
