"""The type stubs of the compiled module list exactly what it exports, with
the same parameter names, and every Python package ships its py.typed marker."""

import ast
import inspect
import re
from pathlib import Path

import pytest

import _sqlparse_core

STUB = Path(__file__).resolve().parents[1] / "python" / "_sqlparse_core.pyi"


def _stub_definitions():
    tree = ast.parse(STUB.read_text())
    defs = {}
    for node in tree.body:
        if isinstance(node, ast.FunctionDef):
            defs[node.name] = [a.arg for a in node.args.posonlyargs + node.args.args + node.args.kwonlyargs]
        elif isinstance(node, ast.ClassDef):
            defs[node.name] = None
    return defs


# Exported by developer builds only (-DSQLPARSE_CLASSIC_REFERENCE=ON); the
# stub describes the installed module.
DEVELOPER_ONLY = {"_classic_reference_parse", "_classic_reference_tree_only"}


def _module_exports():
    return {
        name
        for name in dir(_sqlparse_core)
        if not (name.startswith("__") and name.endswith("__")) and name not in DEVELOPER_ONLY
    }


def test_stub_names_match_the_module():
    assert set(_stub_definitions()) == _module_exports()


def _runtime_parameters(func):
    # nanobind writes the signature as the first line of the docstring.
    first = (func.__doc__ or "").splitlines()[0] if func.__doc__ else ""
    m = re.match(r"\w+\((.*)\)", first)
    if not m:
        return None
    params = []
    depth = 0
    current = ""
    for ch in m.group(1):
        if ch in "([{":
            depth += 1
        elif ch in ")]}":
            depth -= 1
        if ch == "," and depth == 0:
            params.append(current)
            current = ""
        else:
            current += ch
    if current.strip():
        params.append(current)
    names = []
    for p in params:
        p = p.strip()
        if p in ("/", "*"):
            continue
        names.append(p.lstrip("*").split(":")[0].split("=")[0].strip())
    return names


@pytest.mark.parametrize("name", sorted(n for n, v in _stub_definitions().items() if v is not None))
def test_stub_parameters_match(name):
    runtime = _runtime_parameters(getattr(_sqlparse_core, name))
    if runtime is None:
        pytest.skip(f"{name} has no readable signature")
    assert _stub_definitions()[name] == runtime


@pytest.mark.parametrize("package", ["sqlparse_main", "varnel_var", "sql_parser"])
def test_packages_are_marked_typed(package):
    module = __import__(package)
    assert (Path(inspect.getfile(module)).parent / "py.typed").is_file()
