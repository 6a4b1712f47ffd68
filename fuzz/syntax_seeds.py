"""Writes seed inputs for fuzz_syntax and fuzz_lineage from the shared SQL corpus.

Each seed is one byte naming the dialect (its index in the targets' list),
for fuzz_lineage a second byte (odd: with the target's small schema), then
the statement text.
"""
import json
import pathlib
import sys

DIALECTS = ["generic", "ansi", "bigquery", "snowflake", "hive", "spark", "databricks", "postgres",
            "redshift", "tsql", "mysql", "trino", "athena", "duckdb", "clickhouse", "oracle", "sqlite"]


def main(corpus_dir: str, out_dir: str, target: str = "fuzz_syntax") -> None:
    out = pathlib.Path(out_dir)
    out.mkdir(parents=True, exist_ok=True)
    count = 0
    for name in ("dialects.jsonl", "tpc.jsonl"):
        path = pathlib.Path(corpus_dir) / name
        if not path.exists():
            continue
        for line in path.read_text(encoding="utf-8").splitlines():
            row = json.loads(line)
            dialect = "spark" if row["dialect"] == "sparksql" else row["dialect"]
            index = DIALECTS.index(dialect) if dialect in DIALECTS else 0
            head = bytes([index]) if target == "fuzz_syntax" else bytes([index, count % 2])
            (out / f"seed_{count:05d}").write_bytes(head + row["sql"].encode("utf-8"))
            count += 1
    print(f"{target}: {count} seeds from {corpus_dir}")


if __name__ == "__main__":
    main(*sys.argv[1:4])
