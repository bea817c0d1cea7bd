#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Finds the bars of a rendered kestrel-csv chart in its PNG and checks that
each stands where its task's dates say.

Usage: chart_bars.py PNG EXPECTED

EXPECTED has one line per task with a bar, top to bottom:
START FINISH PERCENT, dates as YYYY-MM-DD. A bar is a run of pixels in the
two colours that only bars use (the completed share, the part to do); text
is never looked at, since its fonts vary. The scale is taken from the pixels
themselves: the first start and the last finish fix the origin and the pixels
a day, so that every bar is checked against them.
"""
import datetime
import struct
import sys
import zlib

DONE = (0x08, 0x51, 0x9C)
TODO = (0x9E, 0xCA, 0xE1)


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG file")
    at, idat, header = 8, b"", None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        at += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace != 0:
        sys.exit(f"{path}: PNG of depth {depth}, colour type {colour}: not read here")
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous, at = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                pred = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[i] = (line[i] + pred) & 0xFF
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        previous = line
    return rows


def bars(rows):
    """(top, left, done_end, right) of each bar, top to bottom: a band of
    rows holding bar colours, measured on its middle row."""
    found, y = [], 0
    while y < len(rows):
        if not any(p in (DONE, TODO) for p in rows[y]):
            y += 1
            continue
        top = y
        while y < len(rows) and any(p in (DONE, TODO) for p in rows[y]):
            y += 1
        row = rows[(top + y) // 2]
        xs = [x for x, p in enumerate(row) if p in (DONE, TODO)]
        done = [x for x in xs if row[x] == DONE]
        left, right = xs[0], xs[-1] + 1
        if len(xs) != right - left:
            sys.exit(f"bar at row {top}: not one run of bar colour")
        found.append((top, left, done[-1] + 1 if done else left, right))
    return found


def main():
    rows = read_png(sys.argv[1])
    expected = []
    with open(sys.argv[2]) as f:
        for line in f:
            start, finish, percent = line.split()
            expected.append((datetime.date.fromisoformat(start),
                             datetime.date.fromisoformat(finish), int(percent)))
    found = bars(rows)
    if len(found) != len(expected):
        sys.exit(f"{len(found)} bars in the picture, {len(expected)} tasks with dates")
    # The scale from the two bars whose ends lie furthest apart: the first
    # start and the last finish; the origin from the first start.
    first = min(e[0] for e in expected)
    last = max(e[1] for e in expected)
    left_most = min(f[1] for f in found)
    right_most = max(f[3] for f in found)
    per_day = (right_most - left_most) / ((last - first).days + 1)
    origin = left_most
    failures = 0
    for i, ((start, finish, percent), (top, left, done, right)) in enumerate(zip(expected, found)):
        want_left = origin + (start - first).days * per_day
        want_right = origin + ((finish - first).days + 1) * per_day
        want_done = left + (right - left) * percent / 100
        if abs(left - want_left) > 1.5 or abs(right - want_right) > 1.5 or abs(done - want_done) > 1.5:
            print(f"bar {i + 1} (row {top}): pixels {left}..{right}, done to {done}; "
                  f"its dates say {want_left:.1f}..{want_right:.1f}, done to {want_done:.1f}")
            failures += 1
    if top_order := [b[0] for b in found]:
        if top_order != sorted(top_order):
            print("bars are not in task order")
            failures += 1
    print(f"{len(found)} bars checked, {per_day:.2f} pixels a day")
    sys.exit(1 if failures else 0)


main()
