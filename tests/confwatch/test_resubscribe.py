"""The "service" object leaves the bus and comes back with a new id, twice."""

import signal
import time

from watch_helpers import (LATENESS, LOOKUP_PERIOD, RELOAD_QUIET, install_recorder, lines,
                           wait_for_runs, watching)


def test_object_leaving_and_coming_back(bus):
    runs = install_recorder(bus)
    service, daemon = watching(bus, use_pty=True)
    ids = {service.id}

    for round in (1, 2):
        service.remove()
        daemon.stdout.wait_for("service disappeared - resubscribing", count=round)
        ids.add(service.add())
        back = time.monotonic()
        daemon.stdout.wait_for("subscribed to service object", count=round + 1)
        assert time.monotonic() - back < LOOKUP_PERIOD + LATENESS
        service.wait_subscribed()
        if round == 1:
            # Notifications come through the new subscription; the reload
            # they arm survives the object's next absence.
            assert service.notify("config.change") == 0
            changed = time.time()
            daemon.stdout.wait_for("config.change event received")
    assert len(ids) == 3

    (ran, argc), = wait_for_runs(runs, 1, timeout=RELOAD_QUIET + 5)
    assert ran - changed >= RELOAD_QUIET - 0.1
    assert argc == 0

    daemon.signal(signal.SIGTERM)
    assert daemon.wait() == 0
    assert lines(daemon.stdout).count("executing reload script") == 1
    # Registering the subscriber again would be refused or would corrupt
    # the library's object tree; the teardown would show either.
    assert daemon.stderr.text == ""
