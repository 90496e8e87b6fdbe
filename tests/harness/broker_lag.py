"""A broker that lags behind its clients, held still with SIGSTOP.

While the broker is stopped, what a client sends waits unread in its
socket. The broker stops reading a client once it has seen the end of that
client's stream, and drops whatever is still unread then: a client that
closed its connection while the broker lagged loses its last messages,
unless it waited for an answer to one sent after them.
"""

import signal
from contextlib import contextmanager
from pathlib import Path

from sandbox import wait_until


@contextmanager
def broker_stopped(broker):
    """The broker stopped for the duration of the block, then continued."""
    broker.signal(signal.SIGSTOP)
    try:
        yield
    finally:
        broker.signal(signal.SIGCONT)


def asleep_or_gone(process):
    """True once process has exited or sleeps, e.g. waiting for an answer
    of the broker. A process that is busy shows as running."""
    if not process.running():
        return True
    try:
        stat = Path(f"/proc/{process.pid}/stat").read_text()
    except OSError:
        return True
    return stat.rsplit(")", 1)[1].split()[0] in ("S", "Z")


def wait_asleep_or_gone(process):
    wait_until(lambda: asleep_or_gone(process), what=f"{process.name} to sleep or exit")
