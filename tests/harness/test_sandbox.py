"""The sandbox hides the machine's fixed paths and IPC from what runs inside."""

import os
import subprocess
import sys
from pathlib import Path

from sandbox import DEFAULT_TIMEOUT, MOUNT_POINTS, MSGMAX, MSGMNB, Sandbox


def test_fixed_paths_are_the_tests_own(sandbox):
    sandbox.write_uci("luci_statistics", "config x 'y'\n")
    sandbox.create_scan_key_path()
    out = sandbox.run(["sh", "-c", "ls /etc/config /collectd; touch /var/run/ubus/probe"],
                      capture_output=True, text=True, check=True).stdout
    assert out.split() == ["/collectd:", "vornel_scan_result", "/etc/config:", "luci_statistics"]
    assert (sandbox.bus_dir / "probe").exists()
    assert not os.path.exists("/run/ubus/probe")


def test_reload_script_lives_only_inside(sandbox):
    assert sandbox.run(["test", "-e", "/sbin/reknit"]).returncode == 1
    sandbox.install_reload_script("#!/bin/sh\necho reloaded\n")
    result = sandbox.run(["/sbin/reknit"], capture_output=True, text=True)
    assert result.stdout == "reloaded\n"
    assert not os.path.exists("/sbin/reknit")
    sandbox.remove_reload_script()
    assert sandbox.run(["test", "-e", "/sbin/reknit"]).returncode == 1


# Run on a machine of its own: the sandbox's checks of /sbin/reknit.
ON_A_MACHINE_WITH_RELOAD_SCRIPT = """
import sys
sys.path.insert(0, sys.argv[1])
from sandbox import Sandbox
with Sandbox(sys.argv[2]) as sb:
    print(sb.run(["test", "-e", "/sbin/reknit"]).returncode)
    sb.install_reload_script("#!/bin/sh\\necho reloaded\\n")
    print(sb.run(["/sbin/reknit"], capture_output=True, text=True).stdout.strip())
    sb.remove_reload_script()
    print(sb.run(["test", "-e", "/sbin/reknit"]).returncode)
"""


def test_machine_reload_script_stays_hidden(tmp_path):
    # A machine (target image, developer's box) may have a reknit of its
    # own. Made up here in a mount namespace: /usr/sbin holds only one.
    machine_sbin = tmp_path / "machine-sbin"
    machine_sbin.mkdir()
    (machine_sbin / "reknit").write_text("#!/bin/sh\necho the machine's own\n")
    (machine_sbin / "reknit").chmod(0o755)
    result = subprocess.run(
        ["unshare", "--mount", "--propagation", "private", "--", "sh", "-c",
         'mount --bind "$1" /usr/sbin && test -x /sbin/reknit && shift && exec "$@"', "sh",
         machine_sbin, sys.executable, "-c", ON_A_MACHINE_WITH_RELOAD_SCRIPT,
         Path(__file__).parent, tmp_path / "sandbox"],
        capture_output=True, text=True, timeout=DEFAULT_TIMEOUT)
    assert result.stdout.split() == ["1", "reloaded", "1"], result.stderr


# Run on a machine of its own without the mount points: what is there while
# one of two sandboxes is closed, and after the second.
TWO_SANDBOXES = """
import os, sys
sys.path.insert(0, sys.argv[1])
from sandbox import MADE_MOUNT_POINTS, MOUNT_POINTS, Sandbox
def present():
    return [p for p in (*MOUNT_POINTS, str(MADE_MOUNT_POINTS)) if os.path.exists(p)]
a, b = Sandbox(), Sandbox()
a.start()
b.start()
a.close()
print(len(present()), b.run(["touch", "/etc/config/x", "/collectd/x"]).returncode)
b.close()
print(len(present()))
"""
# A root of its own (/usr and the harness the machine's) in a PID namespace
# of its own, so that no sandbox of the machine counts as a user.
OWN_ROOT = """set -e
mount -t tmpfs root "$1"
cd "$1"
mkdir -p usr proc dev etc run tmp tests/harness old
ln -s usr/bin bin && ln -s usr/lib lib && ln -s usr/lib64 lib64 && ln -s usr/sbin sbin
mount --rbind /usr usr && mount --rbind /dev dev && mount -t proc proc proc
mount --bind "$2" tests/harness
pivot_root . old
umount -l old
exec /usr/bin/python3 -c "$3" /tests/harness
"""


def test_mount_points_made_stay_while_used_and_go_with_the_last(tmp_path):
    result = subprocess.run(
        ["unshare", "--mount", "--pid", "--fork", "--propagation", "private", "--",
         "sh", "-c", OWN_ROOT, "sh", tmp_path, Path(__file__).parent, TWO_SANDBOXES],
        capture_output=True, text=True, timeout=DEFAULT_TIMEOUT)
    assert result.stdout.split() == [str(len(MOUNT_POINTS) + 1), "0", "0"], result.stderr


def test_ipc_is_private_with_raised_limits(sandbox):
    limits = sandbox.run(["cat", "/proc/sys/kernel/msgmax", "/proc/sys/kernel/msgmnb"],
                         capture_output=True, text=True, check=True).stdout.split()
    assert limits == [str(MSGMAX), str(MSGMNB)]
    sandbox.run(["ipcmk", "-Q"], capture_output=True, check=True)
    keys_inside = queue_keys(sandbox.run(["ipcs", "-q"], capture_output=True, text=True).stdout)
    keys_outside = queue_keys(subprocess.run(["ipcs", "-q"], capture_output=True, text=True).stdout)
    assert len(keys_inside) == 1
    assert not keys_inside & keys_outside


def queue_keys(ipcs_output):
    return {line.split()[0] for line in ipcs_output.splitlines() if line.startswith("0x")}


def test_two_sandboxes_do_not_meet(tmp_path):
    with Sandbox(tmp_path / "a") as a, Sandbox(tmp_path / "b") as b:
        a.write_uci("only_a", "")
        assert b.run(["test", "-e", "/etc/config/only_a"]).returncode == 1
        assert a.run(["test", "-e", "/etc/config/only_a"]).returncode == 0


def test_close_stops_what_was_started(tmp_path):
    sb = Sandbox(tmp_path / "c")
    sb.start()
    proc = sb.spawn(["sleep", "1000"])
    sb.close()
    assert not proc.running()


def test_uci_changes_not_yet_committed_stay_inside(tmp_path):
    with Sandbox(tmp_path / "a") as a, Sandbox(tmp_path / "b") as b:
        for sb in (a, b):
            sb.write_uci("apsuite_probe", "config x 'y'\n")
        a.uci("set", "apsuite_probe.y.v=1")
        assert a.uci("get", "apsuite_probe.y.v").stdout == "1\n"
        assert (a.uci_save_dir / "apsuite_probe").exists()
        assert b.uci("get", "apsuite_probe.y.v", check=False).returncode != 0
        assert not os.path.exists("/tmp/.uci/apsuite_probe")
