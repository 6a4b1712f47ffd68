"""sqlparse_main.spark on a real cluster: Spark in local-cluster mode starts
two executor processes. The edges must be exactly those of the single-process
kernel, also when an executor dies halfway and its tasks run again."""

import os
import shutil
import sys
import threading
import time

import pytest

pytest.importorskip("pyspark")
pa = pytest.importorskip("pyarrow")
if os.environ.get("SQLPARSE_SANITIZED"):
    # The kernel runs under the sanitizers in test_arrow_edges; cluster
    # processes would inherit the preloaded runtime.
    pytest.skip("clusters are not started under the sanitizers", allow_module_level=True)
psutil = pytest.importorskip("psutil")
if shutil.which("java") is None and not os.environ.get("JAVA_HOME"):
    pytest.skip("Spark needs a Java runtime", allow_module_level=True)

from cluster_queries import SCHEMA, log_with_edges, sorted_rows  # noqa: E402

from sqlparse_main import Schema  # noqa: E402
from sqlparse_main.spark import lineage_edges  # noqa: E402

pytestmark = pytest.mark.filterwarnings("ignore::FutureWarning", "ignore::DeprecationWarning",
                                        "ignore::ResourceWarning")


@pytest.fixture(scope="module")
def query_log(tmp_path_factory):
    return log_with_edges(str(tmp_path_factory.mktemp("spark_log")))


@pytest.fixture(scope="module")
def spark():
    from pyspark.sql import SparkSession

    # Executors run this interpreter and find the package where this process
    # finds it; all traffic stays on loopback.
    os.environ["PYSPARK_PYTHON"] = sys.executable
    os.environ["SPARK_LOCAL_IP"] = "127.0.0.1"
    path = os.pathsep.join(os.path.abspath(p) for p in
                           os.environ.get("PYTHONPATH", "").split(os.pathsep) if p)
    builder = (SparkSession.builder.master("local-cluster[2,1,1024]")
               .appName("sqlparse_main-tests")
               .config("spark.driver.host", "127.0.0.1")
               .config("spark.driver.bindAddress", "127.0.0.1")
               .config("spark.ui.enabled", "false")
               .config("spark.sql.files.maxPartitionBytes", str(256 << 10))
               .config("spark.sql.files.openCostInBytes", "0")
               .config("spark.executorEnv.PYTHONPATH", path))
    session = builder.getOrCreate()
    session.sparkContext.setLogLevel("ERROR")
    yield session
    session.stop()


def to_arrow(df):
    return df.toArrow() if hasattr(df, "toArrow") else df._collect_as_arrow()


def collected(df, like):
    got = to_arrow(df)
    table = got if isinstance(got, pa.Table) else pa.Table.from_batches(got)
    return sorted_rows(table.cast(like.schema))


def test_edges_are_those_of_the_kernel(spark, query_log):
    directory, want = query_log
    df = spark.read.parquet(directory)
    assert df.rdd.getNumPartitions() >= 8
    edges = lineage_edges(df, "sql", id_cols=["query_id", "user"], schema=SCHEMA)
    assert edges.columns == want.column_names
    got = collected(edges, want)
    assert got.num_rows == want.num_rows > 100_000
    assert got.equals(want)


def executor_processes(spark):
    app = spark.sparkContext.applicationId
    found = []
    for p in psutil.process_iter(["cmdline"]):
        cmd = p.info["cmdline"] or []
        if "org.apache.spark.executor.CoarseGrainedExecutorBackend" in cmd and app in cmd:
            found.append(p)
    return found


def test_no_row_is_lost_or_duplicated_when_an_executor_dies(spark, query_log):
    directory, want = query_log

    def slowly(batches):  # nested: pickled by value, not by a module name
        # Stretches each task so that the kill lands while the stage runs.
        import time

        for batch in batches:
            time.sleep(0.4)
            yield batch

    df = spark.read.parquet(directory)
    df = df.mapInArrow(slowly, df.schema)
    edges = lineage_edges(df, "sql", id_cols=["query_id", "user"], schema=SCHEMA)
    result = {}

    def run():
        try:
            result["table"] = collected(edges, want)
        except BaseException as e:  # pragma: no cover - reported below
            result["error"] = e

    worker = threading.Thread(target=run)
    worker.start()
    tracker = spark.sparkContext.statusTracker()
    killed = None
    deadline = time.monotonic() + 120
    while worker.is_alive() and killed is None and time.monotonic() < deadline:
        for stage in tracker.getActiveStageIds():
            info = tracker.getStageInfo(stage)
            if info and info.numCompletedTasks >= 1 and info.numActiveTasks >= 1:
                victims = executor_processes(spark)
                if victims:
                    victims[0].kill()
                    killed = (info.numCompletedTasks, info.numTasks)
                    break
        time.sleep(0.02)
    worker.join(timeout=300)
    assert killed is not None and killed[0] < killed[1], "the run ended before a kill"
    assert "error" not in result, result.get("error")
    got = result["table"]
    assert got.num_rows == want.num_rows
    assert got.equals(want)


@pytest.mark.parametrize("kwargs, error, match", [
    ({"sql_col": "query"}, KeyError, "no column 'query'"),
    ({"id_cols": ["edge"]}, KeyError, "no column 'edge'"),
    ({"schema": Schema({"t": ["a"]})}, TypeError, "not a Schema"),
    ({"schema": {"t": 3}}, TypeError, "expected a list of columns"),
    ({"dialect": "nosuch"}, ValueError, "unknown dialect"),
    ({"sql_col": "id"}, TypeError, "must hold strings"),
])
def test_bad_arguments_raise_on_the_driver(spark, kwargs, error, match):
    df = spark.createDataFrame([(1, "select a from t")], "id long, sql string")
    with pytest.raises(error, match=match):
        lineage_edges(df, **kwargs)
