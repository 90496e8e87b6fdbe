"""Start-up failures and stop signals."""

import signal
import subprocess

import pytest

from linetap_helpers import start_linetap, start_on_bus
from sandbox import binary, fd_limit


@pytest.mark.parametrize("signum", [signal.SIGTERM, signal.SIGINT])
def test_stop_signal(bus, signum):
    daemon = start_on_bus(bus)
    daemon.signal(signum)
    assert daemon.wait() == 0
    assert daemon.stderr.text == f"Signal {int(signum)} reçu, arrêt du daemon...\n"


def test_stop_signal_during_start_up_is_kept(bus):
    # Raised right after standard input joined the loop, before the loop runs;
    # the input stays open, so only the signal can end the daemon.
    daemon = start_linetap(bus, faults={"STDIN_WATCH_SIGNAL": int(signal.SIGTERM)})
    assert daemon.wait() == 0
    assert daemon.stderr.text == "Signal 15 reçu, arrêt du daemon...\n"


@pytest.mark.parametrize("prefix, message", [
    ([], "Échec de connexion à UBus\n"),
    (fd_limit(4), "Erreur: impossible d'initialiser uloop\n")], ids=["no-broker", "no-descriptors"])
def test_start_up_failure(sandbox, prefix, message):
    daemon = sandbox.spawn(prefix + [binary("linetap")], stdin=subprocess.PIPE, name="linetap")
    assert daemon.wait() == 1
    assert daemon.stderr.text == message


def test_object_name_taken(bus):
    first = start_on_bus(bus)
    second = start_linetap(bus)
    assert second.wait() == 1
    assert second.stderr.text == "Échec de l'enregistrement de l'objet UBus: Invalid argument\n"
    assert first.running()


def test_input_the_loop_cannot_watch(bus, tmp_path):
    regular = tmp_path / "log.txt"
    regular.write_text("[1.0] 1|2| never read\n")
    with open(regular, "rb") as stdin:
        daemon = start_linetap(bus, stdin=stdin)
        assert daemon.wait() == 1
    assert daemon.stderr.text == "Erreur: impossible d'ajouter le FD de log à uloop\n"
