#!/usr/bin/env python3
"""Whether two image files hold the same pixels, bit for bit.

    scripts/same_pixels.py A B      exit status 0: same pixels, 1: different, 2: unreadable

Used by scripts/compare-builds on frames written by linestra-render.

- Byte-identical files hold the same pixels.
- OpenEXR files that differ only in their capture date header attribute
  (the writer stamps the time) hold the same pixels: everything else, the
  compressed pixel data included, must be byte-identical.
- Otherwise both files are decoded by oiiotool with straight alpha kept as
  written (no premultiplication on reading, which would hide differences in
  transparent pixels) and written again as uncompressed TIFF; the pixels are
  the same exactly when the TIFF files' image layout and raw strip bytes are,
  signed zeros and NaN payloads included. (The TIFF files' own metadata
  holds the time of writing, so the files themselves are not compared.)
"""

import os
import struct
import subprocess
import sys
import tempfile

EXR_MAGIC = b"\x76\x2f\x31\x01"
EXR_TIME_ATTRIBUTES = (b"capDate", b"DateTime")


def without_exr_datetime(data):
    """The file's bytes with the time attributes left out of its header,
    or None if it is not a single-part OpenEXR file we can walk."""
    if data[:4] != EXR_MAGIC:
        return None
    pos = 8
    kept = bytearray(data[:8])
    try:
        while True:
            if data[pos] == 0:  # end of header
                return bytes(kept) + data[pos:]
            name_end = data.index(b"\0", pos)
            type_end = data.index(b"\0", name_end + 1)
            (size,) = struct.unpack_from("<i", data, type_end + 1)
            end = type_end + 5 + size
            if data[pos:name_end] not in EXR_TIME_ATTRIBUTES:
                kept += data[pos:end]
            pos = end
    except (IndexError, ValueError, struct.error):
        return None


# TIFF tags that describe the pixels.
TIFF_LAYOUT_TAGS = {256: "width", 257: "height", 258: "bits per sample", 277: "samples per pixel",
                    284: "planar configuration", 338: "extra samples", 339: "sample format"}
TIFF_STRIP_OFFSETS, TIFF_STRIP_BYTE_COUNTS, TIFF_COMPRESSION = 273, 279, 259


def tiff_pixels(data):
    """(layout, raw pixel bytes) of an uncompressed TIFF file's first image."""
    order = {b"II": "<", b"MM": ">"}[data[:2]]
    (ifd,) = struct.unpack_from(order + "I", data, 4)
    (count,) = struct.unpack_from(order + "H", data, ifd)
    sizes = {1: ("B", 1), 3: ("H", 2), 4: ("I", 4)}
    tags = {}
    for i in range(count):
        tag, kind, n, _ = struct.unpack_from(order + "HHII", data, ifd + 2 + 12 * i)
        if kind not in sizes:
            continue
        code, size = sizes[kind]
        at = ifd + 2 + 12 * i + 8
        if n * size > 4:
            (at,) = struct.unpack_from(order + "I", data, at)
        tags[tag] = struct.unpack_from(order + code * n, data, at)
    if tags.get(TIFF_COMPRESSION, (1,)) != (1,):
        raise ValueError("compressed TIFF")
    layout = {name: tags.get(tag) for tag, name in TIFF_LAYOUT_TAGS.items()}
    pixels = b"".join(data[o:o + n] for o, n in zip(tags[TIFF_STRIP_OFFSETS], tags[TIFF_STRIP_BYTE_COUNTS]))
    return layout, pixels


def canonical(path, folder):
    out = os.path.join(folder, os.path.basename(path) + ".tif")
    subprocess.run(["oiiotool", "--iconfig", "oiio:UnassociatedAlpha", "1", path,
                    "--compression", "none", "-o", out], check=True, capture_output=True)
    with open(out, "rb") as f:
        return tiff_pixels(f.read())


def same_pixels(a, b):
    with open(a, "rb") as f:
        data_a = f.read()
    with open(b, "rb") as f:
        data_b = f.read()
    if data_a == data_b:
        return True
    stripped_a, stripped_b = without_exr_datetime(data_a), without_exr_datetime(data_b)
    if stripped_a is not None and stripped_a == stripped_b:
        return True
    with tempfile.TemporaryDirectory() as folder:
        os.makedirs(os.path.join(folder, "a"))
        os.makedirs(os.path.join(folder, "b"))
        return canonical(a, os.path.join(folder, "a")) == canonical(b, os.path.join(folder, "b"))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().splitlines()[2])
    try:
        sys.exit(0 if same_pixels(sys.argv[1], sys.argv[2]) else 1)
    except (OSError, subprocess.CalledProcessError, ValueError, KeyError, struct.error) as e:
        print(f"same_pixels: {e}", file=sys.stderr)
        sys.exit(2)


if __name__ == "__main__":
    main()
