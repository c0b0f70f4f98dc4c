#!/usr/bin/env python3
"""Writes the placeholder firmware images and release texts under update/images/.

Each image starts with a valid header (magic, version, build text) followed by
a deterministic pseudo-random payload, so that a verify of the wrong bytes
fails. A real image replaces its placeholder file without any code change.
"""
import pathlib
import struct

IMAGES = [
    # file stem, size, major, minor, build text, release text length, line end
    ("arm_standard", 112408, 2, 16, "Build: 2416 (placeholder)", 1802, "\n"),
    ("arm_basic", 37124, 1, 5, "Build: 1105 (placeholder)", 1447, "\n"),
    ("max", 349968, 3, 2, "Build: 3302 (placeholder)", 761, "\n"),
    ("flex", 57932, 1, 9, "Build: 1909 (placeholder)", 570, "\n"),
    ("msp430_standard", 15668, 4, 1, "Build: 4401 (placeholder)", 586, "\r\n"),
]

MAGIC = 0xCAFEF00D
HEADER_SIZE = 64


def image_bytes(size, major, minor, build, seed):
    header = bytearray(HEADER_SIZE)
    struct.pack_into("<I", header, 0, MAGIC)
    struct.pack_into("<I", header, 4, size)
    struct.pack_into("<HH", header, 20, major, minor)
    text = build.encode("ascii")
    assert len(text) < 40
    header[24:24 + len(text)] = text
    payload = bytearray(size - HEADER_SIZE)
    state = seed
    for i in range(len(payload)):
        state = (state * 1103515245 + 12345) & 0xFFFFFFFF
        payload[i] = (state >> 16) & 0xFF
    return bytes(header + payload)


def release_text(name, major, minor, length, eol):
    lines = [f"{name} release history", ""]
    version = (major, minor)
    n = 0
    while True:
        entry = [
            f"Version {version[0]}.{version[1]}",
            f"  - Placeholder entry {n + 1}: improved JTAG clock stability.",
            f"  - Placeholder entry {n + 1}: faster flash programming.",
            "",
        ]
        candidate = eol.join(lines + entry) + eol
        if len(candidate.encode("ascii")) + len(eol) > length:
            break
        lines += entry
        n += 1
        version = (version[0], version[1] - 1) if version[1] > 0 else (version[0] - 1, 9)
    body = eol.join(lines)
    # Pad with a closing rule line to the exact length; the text then
    # ends with an empty line.
    pad = length - len((body + eol + eol).encode("ascii"))
    assert pad >= 0
    text = body + "-" * pad + eol + eol
    data = text.encode("ascii")
    assert len(data) == length
    return data


def main():
    folder = pathlib.Path(__file__).resolve().parent.parent / "update" / "images"
    folder.mkdir(parents=True, exist_ok=True)
    for seed, (stem, size, major, minor, build, notes, eol) in enumerate(IMAGES, start=1):
        (folder / f"{stem}.bin").write_bytes(image_bytes(size, major, minor, build, seed * 7919))
        (folder / f"{stem}.txt").write_bytes(release_text(stem.replace("_", " ").title(), major, minor, notes, eol))


if __name__ == "__main__":
    main()
