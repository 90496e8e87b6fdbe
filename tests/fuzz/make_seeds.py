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


# ---- uci package files ----

def uci_seeds():
    return {
        "sections_and_lists": b"#@fz.lan.proto\npackage fz\nconfig iface 'lan'\n\toption proto static\n"
                              b"config iface wan\n\toption proto dhcp\nconfig t\n\tlist v a\n\tlist v 'b c'\n",
        "quoting": b"config t s\n\toption v \"say \\\"hi\\\"\"\n\toption w 'a'\"b\"c\n\toption x split\\\nword\n",
        "anonymous": b"config t\n\toption v 1\nconfig t\n\toption v 1\nconfig t ''\nconfig other x\n",
        "merged": b"config t s\n\toption v 1\nconfig t s\n\toption v 2\n\tlist w 3\n",
        "malformed": b"config t s\n\toption v 'open\n",
        "short_keywords": b"c t s; o v 1; l w 2 # comment\n",
        "lookup_by_place": b"#@fz.@t[-1].v\nconfig t a\n\toption v 1\nconfig t b\n\toption v 2\n",
    }


# ---- blobmsg messages: the root attribute first ----

BLOB_EXTENDED = 0x80000000
T_ARRAY, T_TABLE, T_STRING, T_INT64, T_INT32, T_INT16, T_INT8, T_DOUBLE = range(1, 9)


def blob(id_, payload, extended=False):
    word = (BLOB_EXTENDED if extended else 0) | id_ << 24 | (4 + len(payload))
    return pad4(struct.pack(">I", word) + payload)


def field(type_, name, value):
    name = name.encode()
    header = pad4(struct.pack(">H", len(name)) + name + b"\0")
    return blob(type_, header + value, extended=True)


def string(name, text):
    return field(T_STRING, name, text.encode() + b"\0")


def table(name, *members, array=False):
    return field(T_ARRAY if array else T_TABLE, name, b"".join(members))


def message(*members):
    return blob(0, b"".join(members))


def blobmsg_seeds():
    return {
        "status_log": message(string("msg_type", "status"),
                              table("data", table("log", field(T_INT64, "timestamp",
                                                               struct.pack(">Q", 1234567)),
                                                  string("message", "3|4| some text")))),
        "object_add_event": message(field(T_INT32, "id", struct.pack(">I", 7)),
                                    string("path", "telemetry_airsift")),
        "every_type": message(field(T_INT8, "flag", b"\1"), field(T_INT16, "s", b"\xff\xfe"),
                              field(T_INT32, "i", b"\xff\xff\xff\xfd"),
                              field(T_INT64, "w", b"\x80" + b"\0" * 7),
                              field(T_DOUBLE, "d", struct.pack(">d", 1.5)),
                              field(0, "u", b""), string("any", "x\n\"\\\x01\xc3\xa9"),
                              table("list", string("", "a"), field(T_INT32, "", b"\0\0\0\1"),
                                    array=True),
                              table("data", table("t"), table("a", array=True))),
        "nested_arrays": message(table("", table("", table("", string("", "deep"), array=True),
                                                 array=True), array=True)),
    }


# ---- broker input: writes of [client | hang-up bit, length, bytes] ----

W_LOOKUP, W_ADD, W_REMOVE, W_SUBSCRIBE, W_UNSUBSCRIBE, W_INVOKE, W_NOTIFY = range(4, 11)
W_EVENT_REGISTER, W_EVENT_SEND = 13, 14
A_STATUS, A_OBJPATH, A_OBJID, A_OBJTYPE, A_SIGNATURE, A_METHOD, A_TARGET, A_CLIENT, A_DATA, \
    A_NO_REPLY, A_ACTIVE, A_COUNT, A_PATTERN = range(1, 14)


def frame(type_, seq, *attrs):
    body = b"".join(attrs)
    return struct.pack(">BBHI", type_, 0, 0, seq) + struct.pack(">I", 4 + len(body)) + body


def u32(attr, value):
    return blob(attr, struct.pack(">I", value))


def u8(attr, value):
    return blob(attr, bytes([value]))


def text(attr, value):
    return blob(attr, value.encode() + b"\0")


def write(client, data, hang_up=False):
    return bytes([client | (4 if hang_up else 0)]) + struct.pack(">H", len(data)) + data


def broker_seeds():
    status = message(string("msg_type", "status"))
    signature = message(table("get", field(T_INT32, "name", struct.pack(">I", T_STRING))))
    # Object ids count from 1 per run: the first object added is 1.
    publish = [
        write(0, frame(W_ADD, 1, text(A_OBJPATH, "telemetry_airsift"), blob(A_SIGNATURE, signature))),
        write(1, frame(W_ADD, 1)),  # a subscriber: no path, object 2
        write(1, frame(W_LOOKUP, 2, text(A_OBJPATH, "telemetry_*"))),
        write(1, frame(W_SUBSCRIBE, 3, u32(A_OBJID, 2), u32(A_TARGET, 1))),
        write(0, frame(W_NOTIFY, 2, u32(A_OBJID, 1), text(A_METHOD, "airsift"),
                       blob(A_DATA, status), u8(A_NO_REPLY, 1))),
        write(1, frame(W_UNSUBSCRIBE, 4, u32(A_OBJID, 2), u32(A_TARGET, 1))),
    ]
    call = [
        write(0, frame(W_ADD, 1, text(A_OBJPATH, "service"))),
        write(1, frame(W_INVOKE, 5, u32(A_OBJID, 1), text(A_METHOD, "get"), blob(A_DATA, status))),
        write(0, frame(2, 5, u32(A_STATUS, 0), u32(A_CLIENT, 2), u32(A_OBJID, 1))),
        write(0, frame(W_REMOVE, 2, u32(A_OBJID, 1))),
    ]
    events = [
        write(2, frame(W_ADD, 1)),
        write(2, frame(W_EVENT_REGISTER, 2, u32(A_OBJID, 1), text(A_PATTERN, "ubus.object.*"))),
        write(0, frame(W_ADD, 1, text(A_OBJPATH, "x"))),
        write(1, frame(W_EVENT_SEND, 9, text(A_METHOD, "ubus.object.add"), blob(A_DATA, status))),
        write(0, b"", hang_up=True),
    ]
    split = frame(W_LOOKUP, 1, text(A_OBJPATH, "service"))
    return {
        "publish_and_subscribe": b"".join(publish),
        "invoke_and_answer": b"".join(call),
        "events_and_hang_up": b"".join(events),
        "frame_in_two_writes": write(0, split[:5]) + write(0, split[5:]),
    }


def main():
    for target, seeds in [("fuzz_scan_message", scan_seeds()), ("fuzz_log_stream", log_seeds()),
                          ("fuzz_uci_file", uci_seeds()), ("fuzz_blobmsg", blobmsg_seeds()),
                          ("fuzz_broker", broker_seeds())]:
        folder = HERE / "corpus" / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in seeds.items():
            (folder / name).write_bytes(data)


if __name__ == "__main__":
    main()
