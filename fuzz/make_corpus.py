#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into fuzz/corpus/<target>/.

Run again after changing a target's input format; files of faults found by the
fuzzer (crash-*) are added by hand and kept.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def crc16(data):
    """CRC-16/XMODEM, as the module's frames carry it (high byte first)."""
    crc = 0
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else (crc << 1)
            crc &= 0xFFFF
    return crc


def framed(data):
    return data + struct.pack(">H", crc16(data))


def block(number, data, large):
    size = 1024 if large else 128
    data = data.ljust(size, b"\x1a")[:size]
    return bytes([2 if large else 1, number, 255 - number]) + data + struct.pack(">H", crc16(data))


def announcement(kind, name, size, digest):
    body = b"\x02" + name.ljust(64, b"\0") + struct.pack(">I", size) + digest
    return framed(bytes([1, 0x41, kind, len(body)]) + body)


def record(kind, payload=b""):
    return bytes([kind, len(payload)]) + payload


SHA256_OF_NOTHING = b"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"
SEEDS = {
    "fuzz_replies": {
        "version": framed(bytes.fromhex("010304007d0003")),
        "error": bytes.fromhex("018302"),
        "uart": framed(bytes.fromhex("01030a0001c200000800010000")),
        "fe": framed(bytes.fromhex("01030ec0a80164ffffff00024b52553002")),
        "wifi": framed(bytes([1, 3, 116]) + b"KB-R5530".ljust(64, b"\0") + bytes(52)),
        "small-block": block(0, b"log line\n", False),
        "large-block": block(1, bytes(range(256)) * 4, True),
        "log-reply": announcement(5, b"sys.log", 700, SHA256_OF_NOTHING),
        "start-loading": announcement(1, b"fw.bin", 2500, SHA256_OF_NOTHING[:40]),
    },
    "fuzz_crypto": {
        "cbc-128": bytes([0x04, 16, 16]) + bytes(range(16)) + b"0123456789abcdef" + bytes(64),
        "ecb-256-pkcs7": bytes([0x12, 32, 0]) + bytes(range(32)) + bytes(32),
        "cfb-short": bytes([0x08, 16, 16]) + bytes(32) + b"abc",
        "version-text": b"124",
    },
    "fuzz_module": {
        "read-all-blocks": b"\x01" + b"".join(
            record(1, bytes.fromhex(r)) for r in
            ("010300000002", "010300200005", "01030031003a", "010300710007")),
        "ssid-write": b"\x01" + record(1, bytes.fromhex("011000310002040041420000")),
        "upgrade": b"\x03" + record(1, announcement(1, b"fw.bin", 100, b"0" * 40)[:-2])
        + record(0, b"") + record(5, b"\x01"),
        "log-upload": b"\x01" + record(1, bytes.fromhex("0141050103")) + record(0, b"C")
        + record(0, b"\x06") + record(0, b"\x15") + record(0, b"\x18"),
        "unknown-function-then-read": b"\x01" + record(0, b"\x01\x07") + record(2)
        + record(1, bytes.fromhex("010300000002")),
        "session-timeout": b"\x01" + record(3, bytes(255)) + record(3, bytes(255))
        + record(1, bytes.fromhex("010300000002")),
    },
    "fuzz_transfer": {
        "log-reply": announcement(5, b"sys.log", 700, SHA256_OF_NOTHING),
        "ack": b"\x06",
        "stream": struct.pack(">H", 700) + b"".join(
            bytes([16]) + block(n, b"line %d\n" % n, False) for n in range(6)),
    },
    "fuzz_simfaults": {
        "nak": b"nak:3", "raw": b"raw:01 83 02", "error": b"error:0x12",
        "eot": b"eot-after:4", "bad": b"corrupt-crc:-1",
        "mac-delay": b"mac-write-delay:3000",
    },
}

for target, seeds in SEEDS.items():
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, "seed-" + name), "wb") as out:
            out.write(data)
