"""Repair of the parser dependency's installed file, run only when the parser
cannot be imported.

An old release of the parser's dependency ``mo_parsing`` imports ``Iterable``
from ``collections``, which fails on current Pythons. The repair rewrites that
import in the file infix.py of the ``mo_parsing`` installed beside ``ply``.
"""

from __future__ import annotations

import re

ANCHOR_PATH = "\\ply\\__init__.py"
REPAIRED_PATH = "\\mo_parsing\\infix.py"
OLD_IMPORT = "from collections import Iterable"
NEW_IMPORT = "from collections.abc import Iterable"
WINDOWS_PLATFORM = "nt"
ENCODING = "utf-8"


def repaired_file_path(os_name: str, ply_file: str) -> str:
    """The file to repair, derived from the file name of the installed ``ply``."""
    if os_name == WINDOWS_PLATFORM:
        old, new = "/", "\\"
    else:
        old, new = "\\", "/"
    old_path = ANCHOR_PATH.replace(old, new)
    new_path = REPAIRED_PATH.replace(old, new)
    return ply_file.replace(old_path, new_path)


def repair_parser_dependency() -> None:
    """Rewrites the old ``Iterable`` import in mo_parsing's infix.py.

    The new text goes to a temporary file in the same folder, which then
    replaces the original in one rename, so a failed write (a full disk, say)
    never leaves the file short or empty. Every error propagates.
    """
    import os

    import ply  # noqa: F401  (an import error here ends the load, as it should)

    path = repaired_file_path(os.name, ply.__file__)
    with open(path, encoding=ENCODING) as f:
        text = f.read()
    text = re.sub(OLD_IMPORT, NEW_IMPORT, text)

    import shutil
    import tempfile

    folder = os.path.dirname(path) or "."
    fd, tmp = tempfile.mkstemp(dir=folder, prefix=".infix-", suffix=".tmp")
    try:
        with open(fd, "w", encoding=ENCODING, newline="") as f:
            f.write(text)
        shutil.copymode(path, tmp)
        os.replace(tmp, path)
    except BaseException:
        try:
            os.unlink(tmp)
        except OSError:
            pass
        raise
