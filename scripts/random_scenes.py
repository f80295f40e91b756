#!/usr/bin/env python3
"""Writes random scene files for scripts/compare-builds.

    scripts/random_scenes.py --describe DESCRIBE.txt --out DIR [--count N] [--seed S] [--threads 1,2]

DESCRIBE.txt is the output of `linestra-render --describe`; the controls,
their ranges and popup entries are read from its parameter table, so new
controls get random values without changes here. The same seed always gives
the same scenes. DIR receives scene_NNNN.json, a few texture pictures
(PAM files with partial alpha) and jobs.txt: one line per render,
"NAME<TAB>SCENE<TAB>BIT_DEPTH<TAB>THREADS".

Frames are small (64 to 400 pixels a side) so several hundred scenes render
in a few minutes; To Edge, whose drawing pass costs far more per pixel, is
kept to smaller frames.
"""

import argparse
import json
import math
import random
import re
import struct
import sys
from pathlib import Path

# ---------------------------------------------------------------------------
# The parameter table of `linestra-render --describe`
# ---------------------------------------------------------------------------


def read_controls(text):
    """Returns [{name, type, range, state}] from the describe text's table."""
    lines = text.splitlines()
    header = next((i for i, l in enumerate(lines) if re.match(r"\s+#\s+name\s+type", l)), None)
    if header is None:
        sys.exit("random_scenes: no parameter table in the describe text")
    head = lines[header]
    cols = {key: head.index(key) for key in ("name", "type", "disk ID", "default", "range", "state")}

    def cell(line, start, end):
        return line[cols[start]:cols[end] if end else None].strip()

    controls = []
    for line in lines[header + 1:]:
        if not line.strip() or not re.match(r"\s+\d+\s", line):
            break
        controls.append({
            "name": cell(line, "name", "type"),
            "type": cell(line, "type", "disk ID"),
            "range": cell(line, "range", "state"),
            "state": cell(line, "state", None),
        })
    return controls


def slider_range(text):
    """'-5000 to 5000, precision 2, percent' -> (-5000.0, 5000.0, 2)."""
    m = re.match(r"(-?[\d.e+-]+) to (-?[\d.e+-]+)(?:, precision (\d+))?", text)
    if not m:
        return None
    return float(m.group(1)), float(m.group(2)), int(m.group(3) or 0)


def popup_entries(text):
    """'2 choices: Specified Layer|Original Frame' -> ['Specified Layer', 'Original Frame']."""
    m = re.match(r"\d+ choices?: (.*)$", text)
    return m.group(1).split("|") if m else []


# ---------------------------------------------------------------------------
# Values
# ---------------------------------------------------------------------------

# Typical values of the known sliders, as (low, high, log scale); a value is
# drawn from here most of the time, otherwise from the whole range or at its
# ends. Sliders not listed use the whole range.
TYPICAL = {
    "Expand/Contract Path": (-40.0, 40.0, False),
    "Scale X": (0.05, 20.0, True),
    "Scale Y": (0.05, 20.0, True),
    "Scale X Start": (0.05, 20.0, True),
    "Scale X End": (0.05, 20.0, True),
    "Stroke Length": (-250.0, 250.0, False),
    "Fade In": (0.0, 100.0, False),
    "Fade Out": (0.0, 100.0, False),
}


def frame_scale(name, width, height):
    """Lengths in pixels scale with the frame; the table holds them for 200 px."""
    if name in ("Stroke Length", "Expand/Contract Path"):
        return max(width, height) / 200.0
    return 1.0


def slider_value(rng, name, lo, hi, precision, width, height):
    roll = rng.random()
    if roll < 0.06:
        value = rng.choice([lo, hi])
    elif roll < 0.12 and lo <= 0.0 <= hi:
        value = 0.0
    elif roll < 0.2 or name not in TYPICAL:
        # Anywhere in the range, on a log scale for wide ranges so that
        # small magnitudes come up as well.
        if hi - lo > 1000 and lo < 0 < hi:
            magnitude = math.exp(rng.uniform(0.0, math.log(min(-lo, hi))))
            value = magnitude if rng.random() < 0.5 else -magnitude
        elif hi / max(lo, 1e-9) > 1000 and lo > 0:
            value = math.exp(rng.uniform(math.log(lo), math.log(hi)))
        else:
            value = rng.uniform(lo, hi)
    else:
        tlo, thi, log = TYPICAL[name]
        scale = frame_scale(name, width, height)
        value = math.exp(rng.uniform(math.log(tlo), math.log(thi))) if log else rng.uniform(tlo, thi) * scale
    # Mostly on the slider's precision, as the control would give it;
    # sometimes a value with more digits.
    if rng.random() < 0.8:
        value = round(value, precision)
    return min(max(value, lo), hi)


def picture(rng, textures):
    roll = rng.random()
    if roll < 0.35 and textures:
        return rng.choice(textures)[0]
    spec = {"pattern": rng.choice(["gradient", "checker"])}
    if rng.random() < 0.4:
        spec["cell"] = rng.randint(1, 40)
    if rng.random() < 0.5:
        spec["size"] = [rng.randint(1, 300), rng.randint(1, 300)]
    return spec


def control_value(rng, control, width, height, textures):
    kind = control["type"]
    if kind == "float slider":
        lo, hi, precision = slider_range(control["range"])
        return slider_value(rng, control["name"], lo, hi, precision, width, height)
    if kind == "angle":
        return round(rng.uniform(-720.0, 720.0), rng.choice([0, 1, 3]))
    if kind == "checkbox":
        return rng.random() < 0.5
    if kind == "popup":
        entries = popup_entries(control["range"])
        index = rng.randrange(len(entries))
        return entries[index] if rng.random() < 0.7 else index + 1
    if kind == "point":
        return [round(rng.uniform(-0.2, 1.2) * width, 2), round(rng.uniform(-0.2, 1.2) * height, 2)]
    if kind == "layer":
        return None if rng.random() < 0.3 else picture(rng, textures)
    return None  # path, groups: not set by value


def keyframed(rng, control, value, width, height, textures):
    """A two-key version of a control's value, or None if it takes none."""
    if control["type"] not in ("float slider", "angle", "point", "checkbox", "popup"):
        return None
    other = control_value(rng, control, width, height, textures)
    return {"keys": [[0.0, value], [round(rng.uniform(0.05, 1.0), 3), other]]}


# ---------------------------------------------------------------------------
# Masks
# ---------------------------------------------------------------------------


def coord(rng, extent, spill=0.15):
    return round(rng.uniform(-spill, 1.0 + spill) * extent, rng.choice([0, 1, 2]))


def random_point(rng, w, h, spill=0.15):
    return [coord(rng, w, spill), coord(rng, h, spill)]


def svg_path(rng, w, h):
    """Path data with every kind of command, absolute and relative."""
    def num(v):
        return f"{v:.2f}".rstrip("0").rstrip(".")

    def pt():
        return f"{num(coord(rng, w, 0.1))} {num(coord(rng, h, 0.1))}"

    def rel():
        return f"{num(rng.uniform(-0.3, 0.3) * w)} {num(rng.uniform(-0.3, 0.3) * h)}"

    parts = [f"M {pt()}"]
    subpaths = 1
    commands = rng.randint(1, 7)
    for i in range(commands):
        kind = rng.choice("LHVCSQTACSQTA")
        relative = rng.random() < 0.3
        p = rel if relative else pt
        letter = kind.lower() if relative else kind
        if kind == "L":
            parts.append(f"{letter} {p()}")
        elif kind == "H":
            parts.append(f"{letter} {num(coord(rng, w, 0.1) if not relative else rng.uniform(-0.3, 0.3) * w)}")
        elif kind == "V":
            parts.append(f"{letter} {num(coord(rng, h, 0.1) if not relative else rng.uniform(-0.3, 0.3) * h)}")
        elif kind == "C":
            parts.append(f"{letter} {p()}, {p()}, {p()}")
        elif kind == "S":
            parts.append(f"{letter} {p()}, {p()}")
        elif kind == "Q":
            parts.append(f"{letter} {p()}, {p()}")
        elif kind == "T":
            parts.append(f"{letter} {p()}")
        elif kind == "A":
            rx = num(rng.uniform(0.0, 0.6) * w)
            ry = num(rng.uniform(0.0, 0.6) * h)
            parts.append(f"{letter} {rx} {ry} {num(rng.uniform(-180, 180))} "
                         f"{rng.randint(0, 1)} {rng.randint(0, 1)} {p()}")
        if i + 1 < commands and rng.random() < 0.08:
            parts.append(f"M {pt()}")
            subpaths += 1
    if rng.random() < 0.5:
        parts.append("Z")
    mask = {"svg": " ".join(parts)}
    if subpaths > 1:
        mask["subpath"] = rng.randrange(subpaths)
    return mask


def random_mask(rng, w, h):
    roll = rng.random()
    if roll < 0.2:
        n = rng.choice([1, 2, 2, 3, 3, 4, 5, 6, 8, 12])
        points = [random_point(rng, w, h) for _ in range(n)]
        if n > 2 and rng.random() < 0.15:
            points.insert(rng.randrange(n), list(points[rng.randrange(n)]))  # a repeated point
        mask = {"points": points, "closed": rng.random() < 0.6}
    elif roll < 0.3:
        n = rng.randint(2, 6)
        handle = lambda: [round(rng.uniform(-0.3, 0.3) * w, 1), round(rng.uniform(-0.3, 0.3) * h, 1)]
        mask = {"vertices": [random_point(rng, w, h) for _ in range(n)],
                "in": [handle() for _ in range(n)], "out": [handle() for _ in range(n)],
                "closed": rng.random() < 0.6}
    elif roll < 0.45:
        mask = {"circle": [coord(rng, w), coord(rng, h), round(rng.uniform(0.5, 0.6 * min(w, h)), 1)]}
    elif roll < 0.55:
        mask = {"ellipse": [coord(rng, w), coord(rng, h),
                            round(rng.uniform(0.0, 0.6) * w, 1), round(rng.uniform(0.0, 0.6) * h, 1)]}
    elif roll < 0.65:
        mask = {"rect": [coord(rng, w), coord(rng, h),
                         round(rng.uniform(0.002, 0.8) * w, 1) + 0.1, round(rng.uniform(0.002, 0.8) * h, 1) + 0.1]}
    else:
        mask = svg_path(rng, w, h)
    if rng.random() < 0.2:
        angle = rng.uniform(0.0, 2.0 * math.pi)
        sx, sy = rng.uniform(0.3, 1.8), rng.uniform(0.3, 1.8)
        shear = rng.uniform(-0.5, 0.5) if rng.random() < 0.3 else 0.0
        a, b = sx * math.cos(angle), sx * math.sin(angle)
        c, d = -sy * math.sin(angle) + shear, sy * math.cos(angle)
        # Keep the frame's centre where it was.
        e = w / 2 - (a * w / 2 + c * h / 2)
        f = h / 2 - (b * w / 2 + d * h / 2)
        mask["transform"] = [round(v, 4) for v in (a, b, c, d, e, f)]
    return mask


# ---------------------------------------------------------------------------
# Texture pictures with partial alpha, as PAM files: compare-builds builds
# the stand-in host with its own image files, which read no PNG
# ---------------------------------------------------------------------------


def write_pam(path, width, height, depth, pixel):
    """An RGBA PAM file of 8 or 16 bits; pixel(x, y) returns four values 0..1."""
    top = (1 << depth) - 1
    fmt = ">4H" if depth == 16 else "4B"
    data = bytearray(f"P7\nWIDTH {width}\nHEIGHT {height}\nDEPTH 4\nMAXVAL {top}\nTUPLTYPE RGB_ALPHA\nENDHDR\n"
                     .encode())
    for y in range(height):
        for x in range(width):
            data += struct.pack(fmt, *(int(round(c * top)) for c in pixel(x, y)))
    Path(path).write_bytes(bytes(data))


def write_textures(rng, folder):
    names = []
    for i, depth in enumerate((8, 16, 8)):
        w, h = rng.randint(8, 160), rng.randint(8, 160)
        phase = rng.uniform(0, 6.3)

        def pixel(x, y, w=w, h=h, phase=phase):
            return ((x / max(w - 1, 1)), 0.5 + 0.5 * math.sin(0.3 * y + phase),
                    (x * y) % 7 / 6.0, (0.0 if (x + y) % 11 == 0 else (y / max(h - 1, 1))))

        name = f"texture_{i}_{depth}.pam"
        write_pam(folder / name, w, h, depth, pixel)
        names.append((name, w, h))
    return names


# ---------------------------------------------------------------------------
# Scenes
# ---------------------------------------------------------------------------


def random_scene(rng, controls, textures):
    w, h = rng.randint(64, 400), rng.randint(64, 400)
    scene = {"size": [w, h]}
    if rng.random() < 0.1 and textures:
        # A picture file sets the layer size.
        scene["input"], w, h = rng.choice(textures)
        del scene["size"]
    else:
        scene["input"] = {"pattern": rng.choice(["gradient", "checker"])}
        if rng.random() < 0.3:
            scene["input"]["cell"] = rng.randint(1, 50)
    if rng.random() < 0.97:
        scene["mask"] = random_mask(rng, w, h)

    params = {}
    settable = [c for c in controls
                if c["type"] not in ("path", "group start", "group end") and c["name"] and not c["name"].startswith("(")]
    for control in settable:
        if rng.random() < 0.25:
            continue  # leave the default
        params[control["name"]] = control_value(rng, control, w, h, textures)
    animated = rng.random() < 0.15
    if animated:
        for control in rng.sample(settable, k=min(len(settable), rng.randint(1, 3))):
            value = params.get(control["name"], control_value(rng, control, w, h, textures))
            keys = keyframed(rng, control, value, w, h, textures)
            if keys is not None:
                params[control["name"]] = keys
    # To Edge walks far more pixels per line: keep its frames small, its
    # runs short, and its path no longer than a few frame sizes
    # (Expand/Contract Path -5000 makes a path so long that one small frame
    # takes 15 s).
    # A large scale costs in proportion (Scale Y 250 takes 12 s on a
    # 112 x 373 frame): keep such frames smaller still.
    def largest(name):
        value = params.get(name)
        values = [key[1] for key in value["keys"]] if isinstance(value, dict) else [value]
        return max([v for v in values if isinstance(v, (int, float))] or [0.0])

    def shrink(most):
        nonlocal w, h
        if w * h > most * most and "size" in scene:
            s = math.sqrt(most * most / (w * h))
            w, h = max(48, int(w * s)), max(48, int(h * s))
            scene["size"] = [w, h]

    to_edge = params.get("To Edge")
    if isinstance(to_edge, dict):
        to_edge = any(key[1] is True for key in to_edge["keys"])
    if max(largest(name) for name in ("Scale X", "Scale Y", "Scale X Start", "Scale X End")) > 25:
        shrink(80)
    if to_edge is True:
        shrink(160)
        expand = params.get("Expand/Contract Path")
        if isinstance(expand, (int, float)) and abs(expand) > max(w, h):
            params["Expand/Contract Path"] = round(rng.uniform(-1.0, 1.0) * max(w, h), 2)
        elif isinstance(expand, dict):
            del params["Expand/Contract Path"]
    scene["params"] = params

    render = {}
    render["downsample"] = rng.choice([[1, 1]] * 5 + [[1, 2], [1, 2], [1, 3], [2, 3], [1, 2, 1, 3], [3, 4, 1, 1]])
    render["time"] = round(rng.uniform(0.0, 1.0), 3) if rng.random() < 0.3 else 0.0
    if animated:
        render["fps"] = rng.choice([2, 4, 24])
        render["frames"] = [0, 1 if to_edge else rng.randint(1, 2)]
    if rng.random() < 0.15:
        render["app"] = "PrMr"
    scene["render"] = render
    return scene


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--describe", required=True, help="output of linestra-render --describe")
    parser.add_argument("--out", required=True, help="folder for the scenes and jobs.txt")
    parser.add_argument("--count", type=int, default=300)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--threads", default="1,2", help="comma-separated thread counts to draw from")
    args = parser.parse_args()

    controls = read_controls(Path(args.describe).read_text())
    threads = [int(t) for t in args.threads.split(",") if t]
    out = Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    rng = random.Random(args.seed)
    textures = write_textures(rng, out)
    jobs = []
    for i in range(args.count):
        scene = random_scene(rng, controls, textures)
        name = f"scene_{i:04d}"
        (out / f"{name}.json").write_text(json.dumps(scene) + "\n")
        bits = rng.choice([8, 16, 32])
        jobs.append(f"random/{name}\t{out / (name + '.json')}\t{bits}\t{threads[i % len(threads)]}")
    (out / "jobs.txt").write_text("\n".join(jobs) + "\n")


if __name__ == "__main__":
    main()
