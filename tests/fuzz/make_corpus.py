#!/usr/bin/env python3
"""Writes the fuzzer's seed corpus into tests/fuzz/corpus/.

Each seed is a sequence of records: kind (1 byte), length (2 bytes,
big-endian), payload. kind % 8: 0 datagram from the client, 3 from another
port, 4 from another address, 5 ticks (1 + kind >> 3), 6 handle_timeout,
7 arm a failure of the next send or read ((kind >> 3) % 6: would-block,
error, error without code, short send, read error, read error without code).
Run it again after changing the seeds; the files are committed.
"""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "corpus")


def rec(kind, payload=b""):
    return struct.pack(">BH", kind, len(payload)) + payload


def rrq(name, mode=b"octet", extra=b""):
    return struct.pack(">H", 1) + name + b"\0" + mode + b"\0" + extra


def wrq(name, mode=b"octet"):
    return struct.pack(">H", 2) + name + b"\0" + mode + b"\0"


def ack(block, tail=b""):
    return struct.pack(">HH", 4, block) + tail


def client(p):
    return rec(0, p)


def ticks(n):
    # one record gives 1 + (kind >> 3) ticks, at most 32
    out = b""
    while n > 0:
        k = min(n, 32)
        out += rec(5 | ((k - 1) << 3))
        n -= k
    return out


def fail(which):
    return rec(7 | (which << 3))


seeds = {
    # whole downloads
    "rrq_small": client(rrq(b"small.txt")) + client(ack(1)),
    "rrq_two_blocks": client(rrq(b"two.bin")) + client(ack(1)) + client(ack(2)),
    "rrq_exact_blocks": client(rrq(b"three.bin")) + client(ack(1)) + client(ack(2)) + client(ack(3)),
    "rrq_empty": client(rrq(b"empty")) + client(ack(1)),
    "rrq_block": client(rrq(b"block.bin", b"NETASCII")) + client(ack(1)) + client(ack(2)),
    "rrq_subfolder": client(rrq(b"/sub/x.bin")) + client(ack(1)) + client(ack(2)),
    "rrq_backslash": client(rrq(b"\\sub\\x.bin", b"OcTeT")) + client(ack(1)) + client(ack(2)),
    "rrq_options": client(rrq(b"two.bin", b"octet", b"blksize\x001428\x00tsize\x000\x00")) + client(ack(1)),
    # duplicates, out-of-sequence ACKs, timeouts and retransmission
    "ack_duplicate": client(rrq(b"two.bin")) + client(ack(1)) + client(ack(1)) + client(ack(0)) + client(ack(2)),
    "ack_long": client(rrq(b"small.txt")) + client(ack(1, b"trailing bytes")),
    "timeouts": client(rrq(b"two.bin")) + ticks(25) + ticks(25) + client(ack(1)) + ticks(25) + ticks(25) + ticks(25),
    "timeout_direct": client(rrq(b"small.txt")) + rec(6) + rec(6) + rec(6),
    # strays on the transfer's port
    "stray_port": client(rrq(b"two.bin")) + rec(3, ack(1)) + client(ack(1)) + rec(4, ack(2)) + client(ack(2)),
    # refusals
    "wrq": client(wrq(b"upload.bin")),
    "wrq_outside": client(wrq(b"../secret")),
    "data": client(struct.pack(">HH", 3, 1) + b"x" * 20),
    "error": client(struct.pack(">HH", 5, 0) + b"boom\0"),
    "opcode_zero": client(b"\0\0abc"),
    "opcode_high": client(b"\xff\xff"),
    "one_byte": client(b"\x00"),
    "empty_datagram": client(b""),
    "ack_first": client(ack(1)) + client(rrq(b"small.txt")) + client(ack(1)),
    "ack_short": client(rrq(b"small.txt")) + client(b"\x00\x04\x00"),
    "rrq_no_zero": client(b"\x00\x01small.txt"),
    "rrq_no_mode_zero": client(b"\x00\x01small.txt\x00octet"),
    "rrq_mail": client(rrq(b"small.txt", b"mail")),
    "rrq_missing": client(rrq(b"missing.bin")),
    "rrq_folder": client(rrq(b"sub")),
    "rrq_root": client(rrq(b"")),
    "rrq_again": client(rrq(b"two.bin")) + client(rrq(b"small.txt")),
    # traversal
    "dotdot": client(rrq(b"../secret")),
    "dotdot_backslash": client(rrq(b"..\\secret")),
    "dotdot_mixed": client(rrq(b"sub/..\\../secret")),
    "dotdot_deep": client(rrq(b"sub/../../Root/../secret")),
    "dots_three": client(rrq(b".../secret")),
    "dots_four": client(rrq(b"....//secret")),
    "dots_mixed": client(rrq(b"..././secret")),
    "double_slash": client(rrq(b"//etc/passwd")),
    "absolute": client(rrq(b"/etc/passwd")),
    "sibling_prefix": client(rrq(b"../Root2/x.bin")),
    "sibling_case": client(rrq(b"../root/x.bin")),
    "control_chars": client(rrq(b"a\x01b\x7f\x1b[0m")),
    "long_name": client(rrq(b"a/" * 200 + b"x")),
    "long_dotdot": client(rrq(b"sub/" * 60 + b"../" * 62 + b"secret")),
    # failures of sends and reads
    "send_would_block": fail(0) + client(rrq(b"two.bin")),
    "send_error": client(rrq(b"two.bin")) + fail(1) + client(ack(1)),
    "send_error_no_code": fail(2) + client(rrq(b"missing.bin")),
    "send_short": client(rrq(b"two.bin")) + fail(3) + client(ack(1)),
    "read_error": fail(4) + client(rrq(b"two.bin")),
    "read_error_no_code": client(rrq(b"two.bin")) + fail(5) + client(ack(1)),
    "stray_send_fails": client(rrq(b"two.bin")) + fail(1) + rec(3, ack(1)),
}

os.makedirs(out, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
print(f"{len(seeds)} seeds in {out}")
