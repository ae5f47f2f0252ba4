#!/usr/bin/env python3
"""Writes the malformed fixtures under malformed/, each named by its fault.

Run again after changing a case; the files are committed so that tests and
fuzzers need no Python.
"""
import io
import os
import struct
import zipfile
import zlib

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "malformed")


def abm(width=2, height=1, f=2, g=0, margins=(0, 0, 1, 0), palette=b"\x00\xf8", alphas=b"", stream=b"\x01\x00"):
    # margins are (left, top, right, bottom); defaults give the 2 x 1 red dot without its right pixel
    left, top, right, bottom = margins
    head = struct.pack("<HHHHBBBB", width, height, f, g, left, top, right, bottom)
    body = head + palette + alphas
    if len(body) % 2:
        body += b"\xff"
    return body + stream


def ab2(width=2, height=1, margins=(0, 0, 1, 0), ptype=1, coding=1, n1=1, n2=0, entries=b"\x00\xf8", stream=b"\x00\x01"):
    left, top, right, bottom = margins
    word = width | height << 12 | left << 24
    head = struct.pack("<IBBBB", word, top, right, bottom, ptype | coding << 4)
    return head + struct.pack("<HH", n1, n2) + entries + stream


def seq(frames, table_count=None, cut=None):
    count = len(frames) if table_count is None else table_count
    out = bytes([0x3C, count, 0, 0, 0, 1, 0x10, 0])
    offset = 8
    for frame in frames:
        out += struct.pack("<IIi", offset, len(frame), 10)
        offset += len(frame)
    out += b"".join(frames)
    return out if cut is None else out[:cut]


def zip_entry_lying_about_its_data(extra_size, crc_flip):
    # one deflated entry whose size and CRC, in the local header and the central directory alike,
    # are changed by the given amounts, so that the archive itself stays coherent
    data = b"plugin library " * 64
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("N70.so", date_time=(2010, 1, 1, 0, 0, 0)), data, zipfile.ZIP_DEFLATED)
    raw = bytearray(out.getvalue())
    crc = zlib.crc32(data) ^ crc_flip
    local = raw.index(b"PK\x03\x04")
    central = raw.index(b"PK\x01\x02")
    struct.pack_into("<I", raw, local + 14, crc)
    struct.pack_into("<I", raw, local + 22, len(data) + extra_size)
    struct.pack_into("<I", raw, central + 16, crc)
    struct.pack_into("<I", raw, central + 24, len(data) + extra_size)
    return bytes(raw)


CASES = {
    "abm_shorter_than_header.abm": abm()[:11],
    "abm_width_over_1024.abm": abm(width=1025, margins=(0, 0, 0, 0)),
    "abm_height_over_1024.abm": abm(height=1025 | 0x8000),
    "abm_palette_past_end.abm": abm(f=40)[:20],
    "abm_alpha_table_past_end.abm": abm(f=2, g=3, palette=b"\x00\xf8" * 4, alphas=b"", stream=b""),
    "abm_margins_cover_width.abm": abm(margins=(1, 0, 1, 0)),
    "abm_margins_cover_height.abm": abm(height=2, margins=(0, 1, 0, 1)),
    "abm_opaque_limit_zero.abm": abm(f=0, g=2, palette=b"\x00\xf8", alphas=b"\x00\x00"),
    "ab2_shorter_than_header.ab2": ab2()[:11],
    "ab2_width_over_1024.ab2": ab2(width=1025, margins=(0, 0, 0, 0)),
    "ab2_height_over_1024.ab2": ab2(height=4095),
    "ab2_opaque_entries_past_end.ab2": ab2(n1=9, entries=b"\x00\xf8", stream=b""),
    "ab2_translucent_entries_past_end.ab2": ab2(ptype=3, n1=1, n2=2, entries=b"\x00\xf8\x1f\x00\x7f", stream=b""),
    "ab2_margins_cover_width.ab2": ab2(margins=(1, 0, 1, 0)),
    "ab2_unknown_palette_type.ab2": ab2(ptype=5),
    "ab2_more_colours_than_indices_hold.ab2": ab2(n1=65535, n2=1),
    "seq_table_past_end.seq": seq([b"A" * 10, b"B" * 20], cut=20),
    "seq_frame_past_end.seq": seq([b"A" * 10, b"B" * 20], cut=50),
    "zip_entry_longer_than_its_data.zip": zip_entry_lying_about_its_data(1000, 0x5A5A5A5A),
}


def main():
    os.makedirs(HERE, exist_ok=True)
    cases = dict(CASES)
    # an entry whose offset points far beyond the file
    bad = bytearray(seq([b"A" * 10]))
    bad[8:12] = struct.pack("<I", 0xFFFFFFF0)
    cases["seq_frame_offset_past_end.seq"] = bytes(bad)
    for name, data in cases.items():
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
