#!/usr/bin/env python3
"""Makes the files of the sample saver "Aquarium": a preview picture, a
licence, a document, a stand-in engine, three further files, the saver's data
files and its 1240-byte settings record. Every byte is computed here, so a
second run writes the same files. The results are committed; run this again
only to change them."""

import math
import struct
from pathlib import Path

HERE = Path(__file__).resolve().parent


def write(relative, data):
    path = HERE / relative
    path.parent.mkdir(parents=True, exist_ok=True)
    if isinstance(data, str):
        data = data.replace("\n", "\r\n").encode("ascii")
    path.write_bytes(data)


def bmp(width, height, pixel):
    """A 24-bit bottom-up BMP; pixel(x, y) gives (r, g, b) with y = 0 at the top."""
    row_size = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += bytes(row_size - len(row))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


def water(x, y, height):
    depth = y / height
    return (int(20 + 30 * (1 - depth)), int(90 + 80 * (1 - depth)), int(140 + 100 * (1 - depth)))


def in_fish(x, y, cx, cy, size):
    dx, dy = (x - cx) / size, (y - cy) / (size * 0.5)
    body = dx * dx + dy * dy <= 1.0
    tail = -1.9 <= dx <= -0.9 and abs(dy) <= (-0.9 - dx) * 1.1
    return body or tail


def preview(x, y):
    w, h = 96, 72
    if y > h - 8 - 3 * math.sin(x / 7.0):
        return (194, 178, 128)  # sand
    for cx, cy, size, colour in ((30, 24, 9, (255, 128, 0)), (64, 44, 7, (250, 220, 40)),
                                 (46, 56, 5, (230, 60, 90))):
        if in_fish(x, y, cx, cy, size):
            stripe = abs(x - cx) < 1.2 and colour[0] > 240
            return (255, 255, 255) if stripe else colour
    if (x - 80) ** 2 + (y - (12 + x % 5)) ** 2 < 4:
        return (220, 240, 255)  # a bubble
    return water(x, y, h)


def fish_picture(colour, stripes):
    def pixel(x, y):
        if in_fish(x, y, 20, 8, 10):
            if stripes and (x // 4) % 3 == 0:
                return (255, 255, 255)
            return colour
        return water(x, y, 16)
    return bmp(32, 16, pixel)


def wav_bubbles():
    rate, samples = 8000, 4000
    frames = bytearray()
    for n in range(samples):
        t = n / rate
        phase = (t * 6) % 1.0  # six bubbles a second, each a rising chirp that fades
        value = math.sin(2 * math.pi * (400 + 900 * phase) * t) * math.exp(-6 * phase)
        frames += struct.pack("<h", int(9000 * value))
    fmt = struct.pack("<4sIHHIIHH", b"fmt ", 16, 1, 1, rate, rate * 2, 2, 16)
    data = struct.pack("<4sI", b"data", len(frames)) + frames
    return struct.pack("<4sI4s", b"RIFF", 4 + len(fmt) + len(data), b"WAVE") + fmt + data


def stand_in_engine():
    # An MZ header with a DOS message; the rest is a recognisable pattern. The
    # installer only places this file: it never runs it.
    message = b"Aquarium stand-in engine: not a program.\r\n$"
    header = bytearray(64)
    header[0:2] = b"MZ"
    struct.pack_into("<HHHHHHHHH", header, 2, 0x90, 3, 0, 4, 0, 0xFFFF, 0, 0xB8, 0)
    struct.pack_into("<I", header, 60, 0)
    body = bytearray()
    for n in range(1536):
        body.append((n * 37 + (n >> 5) * 11) & 0xFF)
    return bytes(header) + message + bytes(body)


def settings():
    record = bytearray(1240)
    # The saver's own settings; the installer copies them as they are into
    # saver.dat (fileCount at 212 and saverKind at 1208 are set by saverpack).
    struct.pack_into("<iiii", record, 0, 12, 3, 60, 1)  # fish, plants, frame rate, bubbles
    name = b"Reef at dusk"
    record[16:16 + len(name)] = name
    for n in range(24):
        struct.pack_into("<i", record, 32 + 4 * n, (n * n * 7) % 251)  # a colour ramp
    return bytes(record)


def main():
    write("files/preview.bmp", bmp(96, 72, preview))
    write("files/licence.rtf",
          "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20\n"
          "{\\b Aquarium screen saver: licence}\\par\\par\n"
          "You may install and use this screen saver on any number of your own computers.\\par\n"
          "You may give away the unchanged installer, free of charge.\\par\n"
          "It comes without any warranty.\\par\n"
          "}\n")
    write("files/Aquarium.txt",
          "Aquarium screen saver\n"
          "=====================\n\n"
          "Fish swim across a reef while bubbles rise.\n\n"
          "Settings: open the Display Properties, choose Aquarium on the Screen Saver page\n"
          "and press Settings to change the number of fish and plants.\n\n"
          "To remove the saver, use Add or Remove Programs.\n")
    write("files/Aquarium.scr", stand_in_engine())
    write("files/Aquarium.ini", "[Aquarium]\nFish=12\nPlants=3\nBubbles=1\nScene=reef\n")
    write("files/bubbles.wav", wav_bubbles())
    write("files/credits.txt", "Aquarium\n\nPictures, sounds and text made by a small program.\n")
    write("files/settings.bin", settings())
    write("data/fish/angelfish.bmp", fish_picture((250, 220, 40), False))
    write("data/fish/clownfish.bmp", fish_picture((255, 128, 0), True))
    write("data/plants.txt", "".join(f"plant {n}: kelp, height {20 + n * 7} cm\n" for n in range(40)))
    write("data/scenes/reef.txt", "scene reef\nwater 20 90 140\nsand 194 178 128\nfish 12\n")
    write("data/scenes/lagoon.txt", "scene lagoon\nwater 30 140 170\nsand 220 205 160\nfish 6\n")


if __name__ == "__main__":
    main()
