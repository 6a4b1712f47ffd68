"""``python -m sqlparse_main``: the ``sqlparse-main`` command."""

import sys

from .cli import main

sys.exit(main())
