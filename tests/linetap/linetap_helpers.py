"""linetap in a sandbox, fed through its standard input."""

import fcntl
import os
import struct
import subprocess
import termios

from sandbox import binary, helper, preloaded, wait_until

OBJECT = "telemetry_linetap"
END = "Fin du flux logread, arrêt...\n"
# Printed on every readiness event while the section exists without the option.
DEFAULT_THRESHOLD = ("[uci_get_int] Option min_severity introuvable ou invalide, "
                     "retour valeur par défaut: 4")


def set_min_severity(sb, value=None):
    """The daemon's uci section, with "min_severity" set to value unless None."""
    text = "config linetap 'linetap_ubus_telemetry'\n"
    if value is not None:
        text += f"\toption min_severity '{value}'\n"
    sb.write_uci("luci_statistics", text)


def start_linetap(sb, stdin=subprocess.PIPE, faults=None):
    """Start linetap; faults (a dict of variables) preloads the stdin fault shim."""
    argv = [binary("linetap")]
    if faults is not None:
        argv = preloaded(helper("stdin_faults.so"), **faults) + argv
    return sb.spawn(argv, stdin=stdin, name="linetap")


def start_on_bus(sb, **kwargs):
    daemon = start_linetap(sb, **kwargs)
    sb.wait_for_object(OBJECT)
    return daemon


def send(daemon, data):
    daemon.stdin.write(data.encode() if isinstance(data, str) else data)
    daemon.stdin.flush()


def wait_read(daemon):
    """Wait until the daemon has read all that was sent to it."""
    def unread():
        count = fcntl.ioctl(daemon.stdin.fileno(), termios.FIONREAD, b"\0" * 4)
        return struct.unpack("i", count)[0]
    wait_until(lambda: unread() == 0, what="linetap to read its input")


def closed_pipe_holding(data):
    """Read end of a pipe already holding data, its writer gone."""
    read_end, write_end = os.pipe()
    os.write(write_end, data)
    os.close(write_end)
    return read_end


def judged(line, severity, threshold=4):
    """What linetap prints for one line it reads."""
    if severity == -1:
        text = f"Could not extract severity from log: {line}\n"
    else:
        text = f"Extracted severity: {severity} from log: {line}\n"
    if threshold < severity:
        return text + f"Log rejected: severity {severity}, min required {threshold})\n"
    return text + f"Log accepted: {line} (severity {severity}, min required {threshold})\n"


def numbered_lines(count):
    """Lines of varied length, each naming its number, severity 0 to 7."""
    return [f"[{i}.{i % 1000:03d}] 0|{i % 8}| line {i} " + "x" * (i * 37 % 300)
            for i in range(count)]
