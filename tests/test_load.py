"""The load step: binding the parser, and the repair of the parser's dependency.

Every repair test works on a fake site folder in a temporary directory and
runs the import in a subprocess, so no real installation is ever touched.
"""

import os
import subprocess
import sys
import textwrap
import types

import pytest

import sqlparse_main
from sqlparse_main import _repair

OLD = "from collections import Iterable"
NEW = "from collections.abc import Iterable"


@pytest.mark.parametrize(
    "os_name, ply_file, expected",
    [
        ("posix", "/site/ply/__init__.py", "/site/mo_parsing/infix.py"),
        ("nt", "C:\\site\\ply\\__init__.py", "C:\\site\\mo_parsing\\infix.py"),
        # On posix a back-slash path holds no anchor and is left as it is.
        ("posix", "C:\\site\\ply\\__init__.py", "C:\\site\\ply\\__init__.py"),
        ("posix", "/site/ply.py", "/site/ply.py"),
    ],
)
def test_repaired_file_path(os_name, ply_file, expected):
    assert _repair.repaired_file_path(os_name, ply_file) == expected


def _run(code, site, extra_env=None):
    # The fake site comes first, then whatever the test process itself uses.
    path = os.pathsep.join([str(site)] + sys.path)
    env = dict(os.environ, PYTHONPATH=path, **(extra_env or {}))
    return subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True)


def _fake_site(tmp_path, infix_text, ply_as_module=False):
    site = tmp_path / "site"
    (site / "mo_parsing").mkdir(parents=True)
    (site / "mo_parsing" / "__init__.py").write_text("")
    (site / "mo_parsing" / "infix.py").write_text(infix_text, encoding="utf-8")
    if ply_as_module:
        (site / "ply.py").write_text(f"# {OLD}\n", encoding="utf-8")
    else:
        (site / "ply").mkdir()
        (site / "ply" / "__init__.py").write_text("")
    # A stand-in parser package whose import fails until infix.py is repaired.
    (site / "sql_parser").mkdir()
    (site / "sql_parser" / "__init__.py").write_text(
        textwrap.dedent(
            """
            import mo_parsing.infix
            class ParseError(ValueError):
                pass
            def parse(text):
                return {"fake": text}
            """
        )
    )
    return site


def test_clean_import_runs_no_repair():
    code = "import sys, sqlparse_main; print('sqlparse_main._repair' in sys.modules, 'ply' in sys.modules)"
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.split() == ["False", "False"]


def test_repair_rewrites_every_old_import_and_retries(tmp_path):
    infix = f"{OLD}\nx = 1\n{OLD}  # twice\n"
    site = _fake_site(tmp_path, infix)
    out = _run("import sqlparse_main; print(sqlparse_main.parse('q'))", site)
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() == "{'fake': 'q'}"
    assert (site / "mo_parsing" / "infix.py").read_text() == f"{NEW}\nx = 1\n{NEW}  # twice\n"
    assert sorted(p.name for p in (site / "mo_parsing").iterdir() if p.suffix == ".tmp") == []
    # A repaired file stays as it is on the next load.
    again = _run("import sqlparse_main", site)
    assert again.returncode == 0, again.stderr
    assert (site / "mo_parsing" / "infix.py").read_text().count(NEW) == 2


def test_ply_without_anchor_rewrites_its_own_file_and_load_fails(tmp_path):
    site = _fake_site(tmp_path, f"{OLD}\n", ply_as_module=True)
    out = _run("import sqlparse_main", site)
    assert out.returncode != 0
    assert "ImportError" in out.stderr
    # ply.py itself was read and written back with the replacement applied.
    assert (site / "ply.py").read_text() == f"# {NEW}\n"
    assert (site / "mo_parsing" / "infix.py").read_text() == f"{OLD}\n"


def test_missing_ply_ends_the_load_with_an_import_error(tmp_path):
    site = _fake_site(tmp_path, f"{OLD}\n")
    (site / "ply" / "__init__.py").unlink()
    (site / "ply").rmdir()
    # Hide any real ply as well.
    (site / "ply.py").write_text("raise ImportError('no ply here')\n")
    out = _run("import sqlparse_main", site)
    assert out.returncode != 0
    assert "ImportError" in out.stderr


def test_failed_write_leaves_the_file_whole(tmp_path, monkeypatch):
    site = _fake_site(tmp_path, f"{OLD}\nrest\n")
    fake_ply = types.ModuleType("ply")
    fake_ply.__file__ = str(site / "ply" / "__init__.py")
    monkeypatch.setitem(sys.modules, "ply", fake_ply)

    def failing_replace(src, dst):
        raise OSError(28, "No space left on device")

    monkeypatch.setattr(os, "replace", failing_replace)
    with pytest.raises(OSError, match="No space left"):
        _repair.repair_parser_dependency()
    infix = site / "mo_parsing" / "infix.py"
    assert infix.read_text() == f"{OLD}\nrest\n"
    assert [p.name for p in infix.parent.iterdir() if p.suffix == ".tmp"] == []


def test_missing_target_file_raises_file_not_found(tmp_path, monkeypatch):
    fake_ply = types.ModuleType("ply")
    fake_ply.__file__ = str(tmp_path / "ply" / "__init__.py")
    monkeypatch.setitem(sys.modules, "ply", fake_ply)
    with pytest.raises(FileNotFoundError):
        _repair.repair_parser_dependency()


def test_module_bindings():
    import json
    import re

    import sql_parser
    import varnel_var

    assert sqlparse_main.re is re
    assert sqlparse_main.json is json
    assert sqlparse_main.parse is sql_parser.parse
    assert sqlparse_main.VarnelVar is varnel_var.VarnelVar


@pytest.mark.parametrize("module", ["sqlparse_main", "varnel_var", "sql_parser", "_sqlparse_core"])
def test_each_package_imports_alone(module):
    subprocess.run([sys.executable, "-c", f"import {module}"], check=True)
