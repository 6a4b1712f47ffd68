"""The ``threads`` argument of the batch calls."""

import os
from typing import Optional


def thread_count(threads: Optional[int]) -> int:
    """``threads`` checked, or one per core when None."""
    if threads is None:
        return os.cpu_count() or 1
    if isinstance(threads, bool) or not isinstance(threads, int):
        raise TypeError(f"threads must be an int, not {type(threads).__name__}")
    if threads < 1:
        raise ValueError(f"threads must be at least 1, not {threads}")
    return threads
