"""The README's Python examples run as doctests, so the docs cannot drift."""

import doctest
from pathlib import Path

README = Path(__file__).resolve().parents[1] / "README.md"


def test_readme_examples():
    result = doctest.testfile(str(README), module_relative=False, optionflags=doctest.ELLIPSIS)
    assert result.attempted > 0
    assert result.failed == 0


def test_readme_gives_exactly_two_commands():
    text = README.read_text()
    section = text.split("## Two commands", 1)[1].split("\n## ", 1)[0]
    commands = [line.strip() for line in section.splitlines() if line.startswith("    ")]
    assert commands[0].startswith("pip install . && ")
    assert commands[1] == "pip install '.[test]' && python -m pytest"
    assert len(commands) == 2
