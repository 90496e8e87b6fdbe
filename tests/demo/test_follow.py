"""--follow: the printed commands reach the running system, and Ctrl-C ends
it in order with a summary that counts what they did."""

import os
import re
import signal
import subprocess

from demo_output import COMMAND, PROCESSES, exit_statuses, sandbox_root, summary
from sandbox import DEFAULT_TIMEOUT, Stream

RELOAD_QUIET = 10


def test_second_shell_commands_then_ctrl_c():
    demo = subprocess.Popen([*COMMAND, "--follow"], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, start_new_session=True)
    out, err = Stream(demo.stdout), Stream(demo.stderr)
    try:
        out.wait_for("running until Ctrl-C", timeout=RELOAD_QUIET + 3 * DEFAULT_TIMEOUT)
        commands = dict(re.findall(r"^   ([a-z ]+):\n     (.+)$", out.text, re.M))
        for what in ("post a scan", "add a log line", "announce a configuration change"):
            subprocess.run(["sh", "-c", commands[what]], check=True, timeout=DEFAULT_TIMEOUT)
        out.wait_for(re.compile(r"^subscriber \| airsift  phy1: 1 compatible", re.M))
        out.wait_for(re.compile(r"^subscriber \| syslog .* dhcp6d\[1702\]", re.M))
        out.wait_for("reknit: reloading services (run 2)",
                     timeout=RELOAD_QUIET + DEFAULT_TIMEOUT)
        os.killpg(demo.pid, signal.SIGINT)     # what Ctrl-C at its terminal does
        assert demo.wait(3 * DEFAULT_TIMEOUT) == 0, out.text[-3000:] + err.text
    finally:
        if demo.poll() is None:
            demo.kill()
            demo.wait()
    out.wait_closed()

    found = summary(out.text)
    assert found["scans reported"] == "4"
    assert found["lines accepted"] == "6 (published: 6)"
    assert found["reloads run"] == "2 (changes announced: 4)"
    assert exit_statuses(found) == dict.fromkeys(PROCESSES, "0")
    assert not sandbox_root(out.text).exists()
