#!/usr/bin/env python3
"""Runs a command in a pseudo-terminal, where wine gives a Windows program a
console, and prints what the console showed, its escape sequences left out:

    console.py [--type TEXT --after SHOWN] COMMAND [ARGUMENT...]

With --type, TEXT and Enter are typed once SHOWN has appeared and the
console reads the terminal: wine's console takes the terminal out of its
line mode when the program first reads, and drops what was typed before.
The command must end within the bound; the exit status is the command's
(124 when it did not end in time).
"""
import os
import pty
import re
import select
import signal
import sys
import termios
import time

BOUND = 240  # seconds: a bound on a busy machine, not a wait
ESCAPES = re.compile(rb"\x1b(\[[0-9;?]*[ -/]*[@-~]|\][^\x07\x1b]*(\x07|\x1b\\)|[@-Z\\-_])")


def shown(raw):
    return ESCAPES.sub(b"", raw).replace(b"\r", b"")


def main(arguments):
    typed = after = None
    while arguments and arguments[0] in ("--type", "--after"):
        if arguments[0] == "--type":
            typed = arguments[1].encode()
        else:
            after = arguments[1].encode()
        arguments = arguments[2:]
    pid, terminal = pty.fork()
    if pid == 0:
        os.execvp(arguments[0], arguments)
    raw = b""
    deadline = time.monotonic() + BOUND
    status = None
    while status is None and time.monotonic() < deadline:
        ready, _, _ = select.select([terminal], [], [], 0.1)
        chunk = b""
        if ready:
            try:
                chunk = os.read(terminal, 65536)
            except OSError:  # every other side closed
                pass
        raw += chunk
        if typed is not None and after in shown(raw) and not termios.tcgetattr(terminal)[3] & termios.ICANON:
            os.write(terminal, typed + b"\r")
            typed = None
        if not chunk:
            finished, exit_status = os.waitpid(pid, os.WNOHANG)
            if finished:
                status = os.waitstatus_to_exitcode(exit_status)
    if status is None:
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
        status = 124
    sys.stdout.buffer.write(shown(raw))
    return status

if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
