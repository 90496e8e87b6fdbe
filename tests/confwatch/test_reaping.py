"""Finished runs of the reload script never stay behind as zombies."""

import signal

from sandbox import wait_until
from watch_helpers import RELOAD_QUIET, children, install_recorder, wait_for_runs, watching


def test_runs_of_the_script_are_reaped(bus):
    runs = install_recorder(bus)
    service, daemon = watching(bus)

    for count in (1, 2, 3):
        assert service.notify("config.change") == 0
        wait_for_runs(runs, count, timeout=RELOAD_QUIET + 10)
        # The script has done its work; its process must go away entirely.
        wait_until(lambda: children(daemon.pid) == [],
                   what=f"no children left after run {count}: {children(daemon.pid)}")

    daemon.signal(signal.SIGTERM)
    assert daemon.wait() == 0
    assert daemon.stderr.text == ""
