"""The command line with its stderr on a pseudo-terminal, as a user sees it."""

import os
import subprocess


def screen(raw):
    """The lines a terminal shows for ``raw``: a carriage return goes back to
    the start of the line, later characters overwrite earlier ones."""
    lines, column = [[]], 0
    for ch in raw:
        if ch == "\r":
            column = 0
        elif ch == "\n":
            lines.append([])
            column = 0
        else:
            line = lines[-1]
            if column < len(line):
                line[column] = ch
            else:
                line.append(ch)
            column += 1
    return ["".join(line).rstrip() for line in lines]


def run_with_terminal_stderr(argv, stdout_path, env, timeout=120):
    """Runs argv with stdout to a file and stderr on a pseudo-terminal; gives
    the exit status and everything written to the terminal."""
    import pty

    master, slave = pty.openpty()
    with open(stdout_path, "wb") as out:
        proc = subprocess.Popen(argv, stdout=out, stderr=slave, env=env)
    os.close(slave)
    raw = b""
    while True:
        try:
            chunk = os.read(master, 4096)
        except OSError:  # the other side closed
            break
        if not chunk:
            break
        raw += chunk
    os.close(master)
    return proc.wait(timeout=timeout), raw.decode()
