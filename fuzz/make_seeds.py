#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora into fuzz/corpus/<target>/: valid inputs first, then a
few near misses. Run it again after changing an input format; findings are added by hand (see
scripts/fuzz.sh)."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
STX, ETX = 0x02, 0x03


def frame(payload):
    check = STX ^ len(payload) ^ ETX
    for b in payload:
        check ^= b
    return bytes([STX, len(payload)]) + bytes(payload) + bytes([check, ETX])


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def chunk(data):
    return bytes([len(data)]) + data


# What a healthy tester answers.
HELLO = frame([0x01, 0x15, 0x07])
SETTINGS = [frame([0xE1, 0x01]), frame([0xE1, 0x34, 0x12]), frame([0xE1, 0x01]),
            frame([0xE1, 0x78, 0x56])]
CONNECTION = frame([0x0A, 0x01, 0x03, 0x05, 0x00, 0x88, 0x13, 0xB8, 0x0B, 0x98, 0x3A, 0, 0])
STATS = frame([0x0C, 0x00, 0x19, 0x88, 0x13, 0xE8, 0x03, 0xE6, 0x03, 0x00, 0x00])
PROFILES = frame(([0x0B, 0x02, 0x00, 0x51, 0, 0, 0, 0x88, 0x13, 0xB8, 0x0B,
                   0x52, 0x03, 0xE4, 0x0C, 0xF8, 0x2A, 0x88, 0x13] + [0] * 59)[:59])
NOTIFY = frame([0x20])


def receive_parser():
    def deliveries(*parts):
        return b"".join(chunk(p) for p in parts)
    write("receive_parser", "reply_whole", deliveries(HELLO))
    write("receive_parser", "reply_byte_by_byte", deliveries(*[bytes([b]) for b in CONNECTION]))
    write("receive_parser", "reply_as_asked", deliveries(HELLO[:1], HELLO[1:2], HELLO[2:]))
    write("receive_parser", "notification_then_reply", deliveries(NOTIFY + STATS))
    write("receive_parser", "timeout_mid_frame", deliveries(STATS[:5], b"", STATS[5:], HELLO))
    write("receive_parser", "wrong_end_byte", deliveries(HELLO[:-1] + b"\x04", HELLO))
    write("receive_parser", "empty_payload", deliveries(bytes([STX, 0, 0x01, ETX]), HELLO))
    write("receive_parser", "longest_frame", deliveries(*[frame([0x0B] + [7] * 254)[i:i + 200]
                                                          for i in range(0, 259, 200)]))
    write("receive_parser", "noise_before", deliveries(b"\x00\xff\x03" + PROFILES))


def options():
    def argv(count, *args):
        return bytes([count]) + b"\0".join(a.encode() for a in args)
    cases = {
        "stats": argv(2, "-s"),
        "device_stats": argv(2, "-d", "KORA0001X", "-s"),
        "device_any": argv(1, "--device", "any", "-p"),
        "index_connection": argv(3, "-i", "2", "-c"),
        "set_profile": argv(2, "-v", "3,9000"),
        "set_profile_spaces": argv(2, "--setprofile", " 2 , 5000"),
        "set_profile_too_large": argv(2, "-v", "5,99999999999"),
        "load": argv(2, "-l", "1000"),
        "defvolt": argv(2, "-n", "21000"),
        "defload": argv(2, "-M", "500"),
        "maxload": argv(2, "--MaxLoad", "5000"),
        "too_large": argv(2, "-n", "70000"),
        "help": argv(0, "-h"),
        "find": argv(0, "--find"),
        "missing_argument": argv(2, "-d"),
        "unknown": argv(2, "-x", "-s"),
        "full_list": argv(32, "-i", "31", "-s"),
    }
    for name, data in cases.items():
        write("options", name, data)


def bench_file():
    benches = os.path.join(HERE, "..", "sim", "benches")
    for name in sorted(os.listdir(benches)):
        with open(os.path.join(benches, name), "rb") as f:
            text = f.read()
        # The fuzz target keeps nothing on disk anyway; the state key only names a file.
        write("bench_file", name, text)
    write("bench_file", "empty.toml", b"")
    write("bench_file", "one_device.toml", b'[[device]]\nserial = "A1"\n')
    write("bench_file", "tester_table.toml",
          b'[[device]]\nserial = "KORA1"\n[device.tester]\nversion_level = 21\n')
    write("bench_file", "duplicate.toml",
          b'[[device]]\nserial = "A1"\n[[device]]\nserial = "A1"\n')
    write("bench_file", "bad_words.toml", b'[[device]]\nserial = "A1"\neeprom_words = 100\n')


def tester_link():
    opening = b"".join(chunk(f) for f in [HELLO] + SETTINGS)
    write("tester_link", "open_only", opening)
    write("tester_link", "stats", opening + b"\x02" + chunk(STATS))
    write("tester_link", "connection_profiles",
          opening + b"\x00" + chunk(CONNECTION) + b"\x01" + chunk(PROFILES))
    write("tester_link", "set_profile",
          opening + b"\x03\x02\x28\x23" + chunk(frame([0x0D])))
    write("tester_link", "set_values", opening + b"\x04\x88\x13" + chunk(frame([0x0E])) +
          b"\x05\xe8\x03" + chunk(frame([0x0F])) + b"\x06\xf4\x01" + chunk(frame([0x10])) +
          b"\x07\x88\x13" + chunk(frame([0xE2])))
    write("tester_link", "notification_first",
          opening + b"\x02" + chunk(NOTIFY + STATS))
    write("tester_link", "noise_between",
          opening + b"\x08" + chunk(b"\x00\x02\x05\x0c") + b"\x02" + chunk(STATS))
    write("tester_link", "cut_reply", opening + b"\x02" + chunk(STATS[:6]) + b"\x02" +
          chunk(STATS))
    write("tester_link", "reread_settings", opening + b"\x09" +
          b"".join(chunk(f) for f in SETTINGS))
    write("tester_link", "no_greeting", chunk(frame([0x02])) + b"\x02" + chunk(STATS))


CHIPS = ["BM", "AM", "100AX", "2232C", "232R", "2232H", "4232H", "232H", "X_SERIES", "4222H_0",
         "4222H_1_2", "4222H_3", "4222_PROG", "900", "930", "UMFTPD3A", "UNKNOWN"]


def eeprom_decode():
    for index, name in enumerate(CHIPS):
        write("eeprom_decode", f"blank_{name}", bytes([index, 0x0F]))
        texts = b"".join(chunk(t) for t in [b"Ralvex", b"RX", b"Load Bridge", b"RX000123"])
        fields = struct.pack("<HHHH", 90, 1, 0, 1) + bytes(range(1, 41))
        write("eeprom_decode", f"programmed_{name}",
              bytes([index, 0x8F]) + texts + fields + b"user area bytes")
    write("eeprom_decode", "raw_232R_words", bytes([4, 0x0F]) + bytes(range(256)))
    write("eeprom_decode", "raw_2232H_small", bytes([5, 0x01]) + b"\x00\x01" * 64)
    write("eeprom_decode", "no_eeprom_232H", bytes([7, 0x00]))


def ft_calls():
    # Call byte, then its handle slot and arguments (see fuzz/ft_calls.cpp).
    open_index = lambda i: bytes([0, 0, i + 1, 0])
    write("ft_calls", "open_close", open_index(0) + bytes([0, 3, 0, 1, 0]))
    write("ft_calls", "loopback_write_read",
          open_index(0) + bytes([3, 0, 16, 0, 0, 3, 0, 16, 1, 0]))
    write("ft_calls", "list_all",
          bytes([1, 0, 0, 0, 1, 1, 0, 1, 1, 2, 2, 0, 1, 4, 4, 1, 0, 1, 0, 5, 1, 3, 0]))
    write("ft_calls", "open_by_serial", bytes([0, 1, 1, 1, 0, 0, 1, 9, 2, 0]))
    write("ft_calls", "configure", open_index(0) + bytes([2, 0, 0, 0x00, 0xC2, 0x01, 0x00, 0,
                                                          2, 0, 2, 8, 0, 0, 0, 2, 0, 7, 3, 0]))
    write("ft_calls", "eeprom_reads", open_index(4) + bytes([5, 0, 0, 5, 0, 0, 3, 0, 0, 0,
                                                             0, 0, 5, 0, 4, 0, 0, 0, 0, 0]))
    write("ft_calls", "eeprom_record", open_index(4) + bytes([5, 0, 5, 44, 0, 0]))
    write("ft_calls", "stale_handle", open_index(0) + bytes([0, 3, 0, 1, 0, 2, 0, 0, 0, 0x25, 0,
                                                             0, 0]))
    write("ft_calls", "foreign_handles", bytes([2, 9, 0, 0x80, 0, 3, 10, 1, 0x80, 8, 1]))
    write("ft_calls", "comm_state", open_index(2) + bytes([4, 0, 0, 0x80, 0x25, 0, 0, 8, 0, 0,
                                                           0, 4, 0, 2, 0, 0]))


if __name__ == "__main__":
    receive_parser()
    options()
    bench_file()
    tester_link()
    eeprom_decode()
    ft_calls()
