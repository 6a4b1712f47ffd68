"""sqlparse_main.dask on a real cluster: a distributed LocalCluster of two
worker processes. The edges must be exactly those of the single-process
kernel, also when a worker process dies halfway and its tasks run again."""

import os
import signal
import time

import pytest

pytest.importorskip("dask.dataframe")
pytest.importorskip("distributed")
pa = pytest.importorskip("pyarrow")
if os.environ.get("SQLPARSE_SANITIZED"):
    # The kernel runs under the sanitizers in test_arrow_edges; cluster
    # processes would inherit the preloaded runtime.
    pytest.skip("clusters are not started under the sanitizers", allow_module_level=True)

from cluster_queries import SCHEMA, log_with_edges, sorted_rows  # noqa: E402

from sqlparse_main import Schema  # noqa: E402
from sqlparse_main.dask import lineage_edges  # noqa: E402

pytestmark = pytest.mark.filterwarnings("ignore::FutureWarning", "ignore::DeprecationWarning",
                                        "ignore::ResourceWarning", "ignore::UserWarning")


@pytest.fixture(scope="module")
def query_log(tmp_path_factory):
    return log_with_edges(str(tmp_path_factory.mktemp("dask_log")))


@pytest.fixture(scope="module")
def client():
    from distributed import Client, LocalCluster

    # Worker processes find the package where this process finds it.
    os.environ["PYTHONPATH"] = os.pathsep.join(
        os.path.abspath(p) for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p)
    cluster = LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                           dashboard_address=None, silence_logs=50)
    with Client(cluster) as c:
        yield c
    cluster.close()


def collected(ddf, like):
    frame = ddf.compute() if hasattr(ddf, "compute") else ddf
    table = pa.Table.from_pandas(frame, preserve_index=False)
    return sorted_rows(table.cast(like.schema))


def read_log(directory):
    import dask.dataframe as dd

    ddf = dd.read_parquet(directory, dtype_backend="pyarrow")
    assert ddf.npartitions >= 8
    return ddf


def test_edges_are_those_of_the_kernel(client, query_log):
    directory, want = query_log
    edges = lineage_edges(read_log(directory), "sql", id_cols=["query_id", "user"], schema=SCHEMA)
    assert list(edges.columns) == want.column_names
    got = collected(edges, want)
    assert got.num_rows == want.num_rows > 100_000
    assert got.equals(want)


def test_no_row_is_lost_or_duplicated_when_a_worker_dies(client, query_log):
    directory, want = query_log

    def slowly(frame):  # stretches each task so that the kill lands mid-run
        import time

        time.sleep(0.5)
        return frame

    ddf = read_log(directory)
    ddf = ddf.map_partitions(slowly, meta=ddf._meta)
    edges = lineage_edges(ddf, "sql", id_cols=["query_id", "user"], schema=SCHEMA)
    future = client.compute(edges)
    pids = client.run(os.getpid)
    killed = False
    deadline = time.monotonic() + 120
    while not future.done() and time.monotonic() < deadline:
        if any(client.processing().values()):
            time.sleep(0.7)  # a task or two done
            if not future.done():
                os.kill(next(iter(pids.values())), signal.SIGKILL)
                killed = True
            break
        time.sleep(0.02)
    got = collected(future.result(timeout=300), want)
    assert killed, "the run ended before a kill"
    assert got.num_rows == want.num_rows
    assert got.equals(want)


@pytest.mark.parametrize("kwargs, error, match", [
    ({"sql_col": "query"}, KeyError, "no column 'query'"),
    ({"schema": Schema({"t": ["a"]})}, TypeError, "not a Schema"),
    ({"dialect": "nosuch"}, ValueError, "unknown dialect"),
    ({"id_cols": "id"}, TypeError, "did you mean"),
    ({"sql_col": "id"}, TypeError, "must hold strings"),
])
def test_bad_arguments_raise_on_the_client(kwargs, error, match):
    import dask.dataframe as dd
    import pandas as pd

    ddf = dd.from_pandas(pd.DataFrame({"id": [1], "sql": ["select a from t"]}), npartitions=1)
    with pytest.raises(error, match=match):
        lineage_edges(ddf, **kwargs)
