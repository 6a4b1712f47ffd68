"""Deep input on a thread with a small stack ends with a Python error, never a
crash: every recursive walk also checks the room left on its thread's stack.
Each case runs in a subprocess so that a crash would fail the test, not the run."""

import subprocess
import sys
import textwrap

import pytest

CASES = {
    "parse nested sub-queries": (
        "q = 'select a from t'\n"
        "for i in range(1000): q = f'select a from ({q}) s{i}'\n"
        "import sql_parser\n"
        "try:\n    sql_parser.parse(q)\nexcept sql_parser.ParseError as e:\n    print('ParseError', 'nested levels' in str(e))\n"
        "else:\n    print('parsed')\n"
    ),
    "convert a deep Python tree": (
        "import sqlparse_main\n"
        "tree = 'x'\n"
        "for _ in range(15000): tree = {'v': [tree]}\n"
        "try:\n    sqlparse_main.Analyze(tree).analyze_sql()\nexcept RecursionError:\n    print('RecursionError')\n"
        "else:\n    print('analysed')\n"
    ),
    "analyse deep sub-queries": (
        "import sqlparse_main\n"
        "tree = {'select': {'value': 'a'}, 'from': 't'}\n"
        "for i in range(900): tree = {'select': {'value': 'a'}, 'from': {'value': tree, 'name': f's{i}'}}\n"
        "try:\n    r = sqlparse_main.Analyze(tree).analyze_sql()\nexcept RecursionError:\n    print('RecursionError')\n"
        "else:\n    print(r)\n"
    ),
}


@pytest.mark.parametrize("name", sorted(CASES))
@pytest.mark.parametrize("stack_kib", [256, 512])
def test_deep_input_on_a_small_stack(name, stack_kib):
    body = textwrap.indent(CASES[name], "    ")
    code = (
        "import threading\n"
        f"threading.stack_size({stack_kib} * 1024)\n"
        "def work():\n" + body + "\n"
        "t = threading.Thread(target=work)\nt.start()\nt.join()\n"
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120)
    assert out.returncode == 0, out.stderr[-2000:]
    assert out.stdout.strip() in {
        "ParseError True",
        "parsed",
        "RecursionError",
        "analysed",
        "[('t', 'a', 'a')]",
    }, out.stdout
