"""Reading the logread stream: lines, the severity filter and the end of input."""

import errno
import os

import libc
from linetap_helpers import (DEFAULT_THRESHOLD, END, closed_pipe_holding, judged,
                             numbered_lines, send, set_min_severity, start_linetap,
                             start_on_bus, wait_read)


def test_lines_across_and_within_writes(bus):
    # With the option missing, every readiness event announces itself.
    set_min_severity(bus)
    daemon = start_on_bus(bus)
    send(daemon, "[1.0] 1|2| split")
    wait_read(daemon)
    send(daemon, " line\n\n[2.0] 1|2| a\n[3.0] 1|2| b\n")
    daemon.stderr.wait_for("Log accepted: [3.0] 1|2| b")
    send(daemon, "[4.0] 1|2| c\n[5.0] 1|2| d\n[6.0] 1|2| e\n")
    daemon.stderr.wait_for("Log accepted: [6.0] 1|2| e")
    daemon.close_stdin()
    assert daemon.wait() == 0
    # One lookup per event, the last one for the closed pipe; every line of
    # a write judged against that write's lookup.
    assert daemon.stderr.text == (
        DEFAULT_THRESHOLD
        + DEFAULT_THRESHOLD + judged("[1.0] 1|2| split line", 2)
        + judged("[2.0] 1|2| a", 2) + judged("[3.0] 1|2| b", 2)
        + DEFAULT_THRESHOLD + judged("[4.0] 1|2| c", 2)
        + judged("[5.0] 1|2| d", 2) + judged("[6.0] 1|2| e", 2)
        + DEFAULT_THRESHOLD + END)


def test_threshold_follows_the_configuration(bus):
    daemon = start_on_bus(bus)
    expected = ""
    for value, lines in [(None, [("[10.5] 1|4| up", 4), ("[10.5] 1|5| up", 5), ("hello", -1)]),
                         (-2, [("hello", -1), ("[10.5] 1|-2| up", -2)]),
                         (5, [("[10.5] 1|5| up", 5), ("[10.5] 1|6| up", 6)]),
                         ("abc", [("[1] 0|0| zero", 0), ("[1] 0|1| one", 1)])]:
        threshold = 4
        if value is not None:
            set_min_severity(bus, value)
            threshold = value if isinstance(value, int) else 0
        send(daemon, "".join(line + "\n" for line, _ in lines))
        for line, severity in lines:
            expected += judged(line, severity, threshold)
        daemon.stderr.wait_for(expected)
    daemon.close_stdin()
    assert daemon.wait() == 0
    assert daemon.stderr.text == expected + END


def test_kilobytes_left_in_a_closed_pipe_are_all_read(bus):
    # The writer is gone before the daemon starts: all of it, and the
    # partial last line, wait in the pipe when the loop first looks.
    lines = numbered_lines(40)
    data = "".join(line + "\n" for line in lines).encode()
    assert len(data) > 4096
    stdin = closed_pipe_holding(data + b"[9.9] 0|0| no newline")
    daemon = start_linetap(bus, stdin=stdin)
    os.close(stdin)
    assert daemon.wait() == 0
    assert daemon.stderr.text == "".join(judged(line, i % 8) for i, line in enumerate(lines)) + END


def test_cut_short_stamps_read_as_the_c_library_reads_them(bus):
    # C libraries' scanf differ on a number cut short in its exponent: one
    # takes "1e" or "0x1p" for a number, another refuses the whole stamp.
    lines = ["[1e] 1|2| exponent without digits", "[0x1p] 1|3| hex without its power",
             "[1.e] 1|1| dot then exponent", "[1e3] 1|2| whole", "[0x] 1|2| no hex digits"]
    stdin = closed_pipe_holding("".join(line + "\n" for line in lines).encode())
    daemon = start_linetap(bus, stdin=stdin)
    os.close(stdin)
    assert daemon.wait() == 0
    expected = ""
    for line in lines:
        converted, _, severity = libc.stamp_scan(line)
        expected += judged(line, severity if converted == 2 else -1)
    assert daemon.stderr.text == expected + END


def test_interrupted_or_empty_reads_are_not_the_end(bus):
    faults = {"STDIN_READ_ERRNOS": f"{errno.EAGAIN},{errno.EINTR},{errno.EWOULDBLOCK}"}
    daemon = start_on_bus(bus, faults=faults)
    send(daemon, "[1.0] 1|2| after the retries\n")
    daemon.stderr.wait_for("Log accepted")
    assert daemon.running()
    daemon.close_stdin()
    assert daemon.wait() == 0
    assert daemon.stderr.text == judged("[1.0] 1|2| after the retries", 2) + END


def test_interrupted_read_of_a_closed_pipe_reads_on(bus):
    lines = numbered_lines(3)
    stdin = closed_pipe_holding("".join(line + "\n" for line in lines).encode())
    daemon = start_linetap(bus, stdin=stdin, faults={"STDIN_READ_ERRNOS": str(errno.EINTR)})
    os.close(stdin)
    assert daemon.wait() == 0
    assert daemon.stderr.text == "".join(judged(line, i % 8) for i, line in enumerate(lines)) + END


def test_other_read_errors_stop(bus):
    daemon = start_on_bus(bus, faults={"STDIN_READ_ERRNOS": str(errno.EIO)})
    send(daemon, "[1.0] 1|2| never read\n")
    assert daemon.wait() == 0
    assert daemon.stderr.text == f"Erreur de lecture du flux logread: {libc.strerror(errno.EIO)}\n"
