"""The whole system in a sandbox of its own: the bus broker, the "service"
object, the three daemons and a subscriber on the bus, each followed live.

linetap and the service read their input from FIFOs in the sandbox folder,
so that a second shell can write to them too; the demo keeps a write end
of each, and closing it ends that input.
"""

import json
import os
import signal
import subprocess
from pathlib import Path

import scan_send
from sandbox import DEFAULT_TIMEOUT, UBUS, Sandbox, TimeoutExpired, binary, mount_namespaces, tool

import scenario
from console import notification

TELEMETRY_OBJECTS = ("telemetry_airsift", "telemetry_linetap")
# Stopping order: the listener first, the broker last.
STOP_ORDER = ("subscriber", "linetap", "airsift", "confwatch", "service", "ubusd")


class System:
    def __init__(self, console):
        self.console = console
        self.sandbox = Sandbox(detached=True)
        self.processes = {}
        self._inputs = {}
        self.namespace = None

    @property
    def root(self):
        return self.sandbox.root

    # -- start ---------------------------------------------------------------

    def open(self):
        """The sandbox with its configuration, scan key path and reload script."""
        self.sandbox.start()
        self.namespace = os.readlink(f"/proc/{self.sandbox.holder_pid}/ns/mnt")
        for package in scenario.UCI:
            self.sandbox.write_uci(package, scenario.uci_file(package))
        self.sandbox.create_scan_key_path()
        runs = self.root / "reknit.runs"
        self.sandbox.install_reload_script(scenario.RELOAD_SCRIPT.format(runs=runs))

    def uci_settings(self):
        """package.section.option='value' for every option of the
        configuration, as the uci client shows them."""
        settings = []
        for package in scenario.UCI:
            for line in self.sandbox.uci("show", package).stdout.splitlines():
                if line.split("=", 1)[0].count(".") == 2:
                    settings.append(line)
        return settings

    def start(self):
        """The broker, "service", the daemons and the subscriber, in that order."""
        self._adopt("ubusd", self.sandbox.start_broker())
        service = self._spawn("service", [tool("service-stub")], input_fifo="service")
        service.stdout.wait_for("added\n")
        airsift = self._spawn("airsift", [binary("airsift")])
        airsift.stderr.wait_for("Daemon started. Listening for messages...\n")
        linetap = self._spawn("linetap", [binary("linetap")], input_fifo="logread")
        confwatch = self._spawn("confwatch", [binary("confwatch")], use_pty=True)
        confwatch.stdout.wait_for("ready to receive service events")
        for path in TELEMETRY_OBJECTS:
            self.sandbox.wait_for_object(path)
        self._spawn("subscriber", [UBUS, "subscribe", *TELEMETRY_OBJECTS], render=notification)
        for daemon in (airsift, linetap):
            daemon.stderr.wait_for("(has_subscribers=1)")

    def _spawn(self, label, argv, render=None, input_fifo=None, **kwargs):
        """Start a process under label; input_fifo names the FIFO it reads."""
        stdin = self._fifo(label, input_fifo) if input_fifo else subprocess.DEVNULL
        try:
            process = self.sandbox.spawn(argv, name=label, stdin=stdin, **kwargs)
        finally:
            if input_fifo:
                os.close(stdin)     # the child has its own copy
        return self._adopt(label, process, render)

    def _adopt(self, label, process, render=None):
        self.processes[label] = process
        if process.stdout:
            self.console.follow(label, process.stdout, render)
        self.console.follow(label, process.stderr)
        return process

    def _fifo(self, label, name):
        """A FIFO in the sandbox folder; returns its read end, for the
        standard input of the process under label, and keeps a write end."""
        path = self.root / name
        os.mkfifo(path, 0o600)
        read_end = os.open(path, os.O_RDONLY | os.O_NONBLOCK)
        self._inputs[label] = os.open(path, os.O_WRONLY)
        os.set_blocking(read_end, True)
        return read_end

    # -- drive ---------------------------------------------------------------

    def log(self, line):
        os.write(self._inputs["linetap"], line.encode() + b"\n")

    def tell_service(self, command):
        os.write(self._inputs["service"], command.encode() + b"\n")

    def post_scan(self, message):
        scan_send.post(self.sandbox, message)

    def run_pinrig(self, args, chips):
        """Run pinrig on simulated chips; returns its result and its trace."""
        description, trace = self.root / "gpiochips.json", self.root / "gpio.trace"
        description.write_text(json.dumps(chips))
        env = dict(os.environ, GPIOSIM_CHIPS=str(description), GPIOSIM_TRACE=str(trace))
        result = self.sandbox.run([binary("pinrig-sim"), *args], env=env, capture_output=True,
                                  text=True)
        return result, trace.read_text().splitlines() if trace.exists() else []

    # -- observe -------------------------------------------------------------

    def output(self, label, stream="stdout"):
        """All that the process under label wrote so far ("" if it never started)."""
        process = self.processes.get(label)
        return getattr(process, stream).text if process else ""

    def count(self, label, needle, stream="stdout"):
        return self.output(label, stream).count(needle)

    def wait_count(self, label, needle, count, stream="stdout", timeout=DEFAULT_TIMEOUT):
        getattr(self.processes[label], stream).wait_for(needle, timeout=timeout, count=count)

    def commands_for_a_second_shell(self):
        enter = f"nsenter -t {self.sandbox.holder_pid} -m -i --"
        scan = scan_send.text([scenario.SAMPLE_SCAN]).replace("\n", "\\n")
        return [
            ("post a scan",
             f"printf '{scan}' | "
             f"{enter} {Path(tool('scan-send')).resolve()}"),
            ("add a log line",
             f"echo '{scenario.sample_log_line()}' > {self.root / 'logread'}"),
            ("announce a configuration change",
             f"echo 'notify config.change' > {self.root / 'service'}"),
            ("watch the bus",
             f"{enter} {Path(UBUS).resolve()} subscribe {' '.join(TELEMETRY_OBJECTS)}"),
        ]

    # -- stop and remove -----------------------------------------------------

    def stop(self):
        """Stop every process, listener first; returns their exit statuses."""
        statuses = {label: self._stop(label) for label in STOP_ORDER if label in self.processes}
        self.console.finish()
        return statuses

    def _stop(self, label):
        process = self.processes[label]
        if label in self._inputs:
            self._close_input(label)        # the end of its input stops it
        elif process.running():
            process.signal(signal.SIGTERM)
        try:
            status = process.wait()
        except TimeoutExpired:
            process.kill()
            return "killed"
        if label == "subscriber":
            self._notice_no_subscribers()
        return status

    def _notice_no_subscribers(self):
        """Let the daemons tell that the listener left before they stop."""
        for label in ("airsift", "linetap"):
            try:
                self.processes[label].stderr.wait_for("(has_subscribers=0)", timeout=2)
            except (KeyError, TimeoutExpired):
                pass

    def _close_input(self, label):
        os.close(self._inputs.pop(label))

    def left_running(self):
        """Processes still inside the sandbox, its holder aside."""
        return [pid for pid in processes_in(self.namespace) if pid != self.sandbox.holder_pid]

    def remove(self):
        """Remove the sandbox, with the mount points it had to make on the
        machine unless another sandbox uses them."""
        for label in list(self._inputs):
            self._close_input(label)
        self.sandbox.close()


def processes_in(namespace):
    return [pid for pid, ns in mount_namespaces() if ns == namespace]
