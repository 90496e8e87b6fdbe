#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/.

The seeds are well-formed inputs of each kind, so that the fuzzer starts
from what the programs really receive; run again after changing a format.
"""

import struct
from pathlib import Path

HERE = Path(__file__).resolve().parent


def pad4(data):
    return data + b"\0" * (-len(data) % 4)


# ---- scan-result messages: the 10504-byte text after the type word ----

def ap_entry(frequency, rank, compat, bssid, ifname, a=6, b=-95, c=20, d=300):
    return struct.pack("<iiiiIiB32s6s101s", frequency, a, b, rank, d, c, compat, b"",
                       bytes(bssid), ifname)


def scan_text(ifname, records, count=None):
    entries = [ap_entry(*r, ifname=ifname) for r in records]
    entries += [b"\0" * 164] * (64 - len(entries))
    count = len(records) if count is None else count
    return struct.pack("<I", count) + b"".join(entries) + b"\0" * 4


def scan_seeds():
    three = [(2412, -48, 1, [0x3c, 0x22, 0xfb, 0x10, 0xaa, 0x01]),
             (5180, -55, 3, [0xf4, 0x92, 0xbf, 0x0a, 0x77, 0x10]),
             (2484, -71, 0, [0xa0, 0x04, 0x60, 0x5e, 0x11, 0xc2])]
    full = [(2407 + 5 * (i % 14), (-1) ** i * i * 1000, i % 6, [i] * 6) for i in range(64)]
    return {
        "three_on_wlan0": scan_text(b"wlan0", three),
        "sixty_four_on_wlan1": scan_text(b"wlan1", full),
        "list_option_wlan2": scan_text(b"wlan2", three),
        "unknown_interface": scan_text(b"wlan9", three),
        "dotted_interface": scan_text(b"wlan0.x", three),
        "count_zero": scan_text(b"wlan0", [], count=0),
        "count_beyond_text": scan_text(b"wlan0", three, count=100)[:4 + 2 * 164],
        "channels_6ghz": scan_text(b"wlan1", [(5955, 1, 2, [1] * 6), (7115, 2, 4, [2] * 6),
                                             (4920, 3, 1, [3] * 6), (0, -2**31, 1, [4] * 6)]),
    }


# ---- log streams: lines of the logread stream; the last bytes set read sizes ----

def log_seeds():
    return {
        "accepted_and_rejected": b"[1234.567] 3|4| some text\n[10.5] 1|5| up\n",
        "no_severity": b"hello\n    Call trace: wifi_rx_complete+0x2c/0x40\n",
        "stamps": b"[12] up\n[1.2.3] up\n[abc] up\n[.] up\n[] 1|2| up\n[1.5]xy\n[1.5] \n[1.5]\n",
        "quotes": b'[1.0] 3|2| GET "/cgi-bin/x" \\"kept\\"\n' + b'"' * 300 + b"\n",
        "long_line": b"[99999999999999999999999.1] 0|0| " + b"x" * 2100 + b"\n",
        "crlf_and_nul": b"[1.0]3|2|x\r\n\0[2.0] 3|2\n\n\n",
        "long_stamp": b"[" + b"1" * 29 + b"] 1|1| a\n[" + b"1" * 30 + b"] 1|1| b\n",
    }


def main():
    for target, seeds in [("fuzz_scan_message", scan_seeds()), ("fuzz_log_stream", log_seeds())]:
        folder = HERE / "corpus" / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in seeds.items():
            (folder / name).write_bytes(data)


if __name__ == "__main__":
    main()
