"""The reload script starts with the signal state of a fresh process, not the daemon's."""

import signal
from pathlib import Path

from watch_helpers import RELOAD_QUIET, lines, watching
from sandbox import signals_blocked, wait_until

# Changed by the event loop or the daemon: ignored, or caught.
CHANGED = (signal.SIGPIPE, signal.SIGCHLD, signal.SIGINT, signal.SIGTERM)


def signal_mask(process):
    """The signals a process has blocked. Under qemu-user too: the emulator
    gives the kernel its program's mask while it waits in a system call, as
    the daemon does in its loop."""
    for line in Path(f"/proc/{process.pid}/status").read_text().splitlines():
        if line.startswith("SigBlk:"):
            return int(line.split()[1], 16)
    raise AssertionError("no SigBlk line")


def test_script_gets_default_signals_and_an_empty_mask(bus):
    state = bus.root / "signals"
    pipeline = bus.root / "pipeline"
    # The state is read first, by the shell itself (builtins only): later,
    # or by a child, it would show the masks the shell sets around forks.
    # The writer stops at its first write after head has gone, by SIGPIPE;
    # with SIGPIPE ignored it would go on (for ever, without the bound).
    bus.install_reload_script(f"""#!/bin/sh
while read -r key value; do
  case $key in SigIgn:|SigBlk:) echo "$key $value";; esac
done < /proc/self/status > {state}
{{ i=0; while [ $i -lt 100000 ]; do echo x || break; i=$((i+1)); done
  echo "writer went on" >> {pipeline}; }} | head -1 > /dev/null
echo "pipeline ended" >> {pipeline}
""")
    # Started with signals blocked, as by a parent that blocked them: the
    # script gets an empty mask all the same, not what the daemon inherited.
    with signals_blocked(signal.SIGHUP, signal.SIGUSR1):
        service, daemon = watching(bus)
    held = 1 << signal.SIGHUP - 1 | 1 << signal.SIGUSR1 - 1
    assert signal_mask(daemon) & held == held
    assert service.notify("config.change") == 0

    wait_until(lambda: pipeline.exists() and "ended" in pipeline.read_text(),
               timeout=RELOAD_QUIET + 10, what="the script's pipeline to end")
    assert pipeline.read_text() == "pipeline ended\n"
    masks = dict(line.split() for line in state.read_text().splitlines())
    ignored, blocked = int(masks["SigIgn:"], 16), int(masks["SigBlk:"], 16)
    assert [s.name for s in CHANGED if ignored & 1 << (s - 1)] == []
    assert blocked == 0

    daemon.signal(signal.SIGTERM)
    assert daemon.wait() == 0
    assert lines(daemon.stdout)[-3:] == ["executing reload script",
                                         "signal received - exiting",
                                         "stopping to receive service events"]
