"""Replays the inputs kept in tests/regressions/ through the Python API.

Each sub-folder is named after the fuzz target (fuzz/<target>.cc) that found
its inputs; a file there is one input as the target received it:

* fuzz_re_hint, fuzz_parser, fuzz_pipeline: query text (bytes; invalid UTF-8
  is read with surrogateescape, so every byte still reaches the core);
* fuzz_analyze: a parse tree as JSON text (inputs the target decoded from
  raw bytes are kept as the JSON of the tree it built).

Every input must give a result or one of the documented errors, never a
crash (a crash takes the test process down, which fails the run) or any
other exception; the properties the fuzz target checked are checked again.
"""

import io
import json
import sys
from pathlib import Path

import pytest

import _sqlparse_core
import sqlparse_main
import sql_parser

ROOT = Path(__file__).resolve().parent / "regressions"

# What the analysis may raise (Overview "Conventions"): the host's ordinary
# errors, RuntimeError for unsupported FROM shapes, RecursionError for cycles
# and nesting past the limits.
ANALYSIS_ERRORS = (TypeError, AttributeError, KeyError, ValueError, RecursionError, RuntimeError)


def _inputs(target):
    folder = ROOT / target
    if not folder.is_dir():
        return []
    return [pytest.param(p, id="%s/%s" % (target, p.name)) for p in sorted(folder.iterdir())
            if p.is_file() and not p.name.startswith(".")]


def _text(path):
    return path.read_bytes().decode("utf-8", "surrogateescape")


def _assert_clean(out):
    assert not out.endswith("\n")
    for line in out.split("\n") if out else []:
        assert line.strip()


@pytest.fixture
def quiet_stdout(monkeypatch):
    monkeypatch.setattr(sys, "stdout", io.StringIO())


def test_there_are_regression_inputs():
    assert any(ROOT.glob("*/*")), "tests/regressions/ holds no inputs"


@pytest.mark.parametrize("path", _inputs("fuzz_re_hint") + _inputs("fuzz_parser") + _inputs("fuzz_pipeline"))
def test_text_input(path, quiet_stdout):
    text = _text(path)
    clean = sqlparse_main.VarnelParseMain._re_hint(text)
    _assert_clean(clean)
    assert _sqlparse_core.re_hint(clean) == _sqlparse_core.re_hint(clean)
    try:
        tree = sql_parser.parse(text)
    except sql_parser.ParseError as exc:
        assert str(exc).startswith("Expecting ") and "\n" not in str(exc)
    else:
        assert isinstance(tree, (dict, list, str, int, float, bool, type(None)))
    try:
        records = sqlparse_main.VarnelParseMain()._parse_sql(text)
    except (sql_parser.ParseError,) + ANALYSIS_ERRORS:
        pass
    else:
        assert all(hasattr(r, "tgt") for r in records)


@pytest.mark.parametrize("path", _inputs("fuzz_analyze"))
def test_tree_input(path, quiet_stdout):
    tree = json.loads(path.read_text(encoding="utf-8"))
    before = json.dumps(tree, sort_keys=True)
    outcomes = []
    for _ in range(2):
        try:
            outcomes.append(("ok", sqlparse_main.Analyze(tree).analyze_sql()))
        except ANALYSIS_ERRORS as exc:
            outcomes.append((type(exc).__name__, str(exc)))
    assert outcomes[0] == outcomes[1]
    assert json.dumps(tree, sort_keys=True) == before
