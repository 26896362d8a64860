#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the multimedia test's MIDI file: a short, friendly tune of about three seconds on
a vibraphone over a soft string chord, as a Standard MIDI File of format 0 that the
General MIDI synthesizers of Windows 95 sound cards play. Standard library only."""
import struct
import sys

TICKS = 96  # per quarter note
TEMPO = 500000  # microseconds per quarter note: 120 beats per minute


def var_len(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, (n & 0x7F) | 0x80)
        n >>= 7
    return bytes(out)


def track():
    events = []  # (tick, order, bytes); note-offs sort before note-ons at the same tick

    def note(channel, start, length, key, velocity):
        events.append((start, 1, bytes([0x90 | channel, key, velocity])))
        events.append((start + length, 0, bytes([0x80 | channel, key, 0])))

    events.append((0, 0, b"\xff\x51\x03" + TEMPO.to_bytes(3, "big")))
    events.append((0, 0, bytes([0xC0, 11])))  # channel 1: vibraphone
    events.append((0, 0, bytes([0xC1, 48])))  # channel 2: string ensemble
    events.append((0, 0, bytes([0xB1, 7, 70])))  # strings a little quieter
    # C major, eighth notes up and a held high C.
    eighth = TICKS // 2
    melody = [60, 64, 67, 72, 71, 67, 69, 72]
    for i, key in enumerate(melody):
        note(0, i * eighth, eighth, key, 96)
    end_melody = len(melody) * eighth
    note(0, end_melody, TICKS * 2, 72, 100)
    for key in (48, 55, 60, 64):
        note(1, 0, end_melody + TICKS * 2, key, 64)
    end = end_melody + TICKS * 2 + TICKS // 4
    events.append((end, 2, b"\xff\x2f\x00"))
    events.sort(key=lambda e: (e[0], e[1]))
    data, last = b"", 0
    for tick, _, payload in events:
        data += var_len(tick - last) + payload
        last = tick
    return data


def main(path):
    body = track()
    with open(path, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, TICKS))
        f.write(b"MTrk" + struct.pack(">I", len(body)) + body)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "test.mid")
