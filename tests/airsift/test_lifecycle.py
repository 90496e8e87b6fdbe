"""Start-up, subscribers, stop and the exit statuses of airsift."""

import signal

import pytest

from airsift_support import (SENT, STARTED, ap, configure, next_report, post, queue_messages,
                             scan, start, stderr_after_start, stop, subscribe)
from sandbox import binary, fd_limit


@pytest.mark.parametrize("signum", [signal.SIGTERM, signal.SIGINT])
def test_stop_signal_ends_the_daemon(bus, signum):
    configure(bus)
    daemon = start(bus)
    assert stop(daemon, signum) == 0
    assert daemon.stderr.text == STARTED + f"Signal {int(signum)} received, stopping daemon...\n"


def test_subscriber_changes_are_logged(bus):
    configure(bus)
    daemon = start(bus)
    subscriber = subscribe(bus, daemon)
    subscriber.process.kill()
    daemon.stderr.wait_for("(has_subscribers=0)\n")
    assert stderr_after_start(daemon) == (
        "UBus airsift_ubus_telemetry: loading subscribers (has_subscribers=1)\n"
        "UBus airsift_ubus_telemetry: loading subscribers (has_subscribers=0)\n")


# With four descriptors the loop gets its epoll descriptor but no pipe.
@pytest.mark.parametrize("prefix, message", [
    ([], "Failed to connect to ubus\n"),
    (fd_limit(4), "Failed to initialize uloop\n")], ids=["no-broker", "no-descriptors"])
def test_start_up_failure(sandbox, prefix, message):
    daemon = sandbox.spawn(prefix + [binary("airsift")])
    assert daemon.wait() == 1
    assert daemon.stderr.text == message


def test_object_name_already_taken(bus):
    configure(bus)
    first = start(bus)
    second = bus.spawn([binary("airsift")])
    # The broker refuses a second object of the same name: invalid argument.
    assert second.wait() == 2
    assert second.stderr.text == "Failed to register the ubus object: Invalid argument\n"
    assert first.running()


def test_queue_that_cannot_be_opened_is_a_failure(bus):
    configure(bus)
    # No queue may be created in this IPC namespace.
    bus.run(["sh", "-c", "echo 0 > /proc/sys/kernel/msgmni"], check=True)
    daemon = bus.spawn([binary("airsift")])
    assert daemon.wait() == 1
    assert daemon.stderr.text == "Failed to connect to IPC queue: No space left on device\n"


@pytest.mark.parametrize("key_path", [True, False], ids=["key-path", "no-key-path"])
def test_daemon_creates_the_queue_for_a_later_producer(bus, key_path):
    configure(bus)
    if not key_path:
        (bus.queue_dir / "vornel_scan_result").unlink()
    daemon = start(bus)
    subscriber = subscribe(bus, daemon)

    (key, (perms, waiting)), = queue_messages(bus).items()
    assert (key == "0xffffffff") == (not key_path)
    assert (perms, waiting) == ("666", 0)

    post(bus, scan([ap("00:00:00:00:00:01")]))
    assert next_report(subscriber)["compatible_ap_count"] == 1
    daemon.stderr.wait_for(SENT)
