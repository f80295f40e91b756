#!/usr/bin/env python3
"""Merges the benchmark rounds of scripts/bench-compare and prints the table.

    scripts/bench_table.py DIR --ref-label L --new-label L [--json OUT]

DIR holds ref_1.json, new_1.json, ref_2.json, ... (linestra-bench
--benchmark_out_format=json). A case's time is the whole frame: the pre-render
and the render command. A benchmark whose JSON context has "case_time"
times both; an older one paused its clock during the pre-render, so its
pre_render_ms counter is added to its time. Per case and build the round
with the lowest frame time counts, with that round's phase counters. OUT
receives the merged result, which scripts/bench-chart draws.
"""

import argparse
import json
import re
import sys
from pathlib import Path

PHASES = ["pre_render_ms", "texture_background_ms", "fine_line_table_ms", "ownership_ms", "drawing_ms"]
TABLE_PHASES = [("pre_render_ms", "pre-render"), ("fine_line_table_ms", "fine line table"),
                ("ownership_ms", "ownership"), ("drawing_ms", "drawing")]
TO_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}


def case_name(name):
    """'circle/8/1-thread/iterations:2/real_time' -> 'circle/8/1-thread'."""
    return re.sub(r"(/(iterations|repeats|min_time|real_time|manual_time|threads)(:[^/]*)?)+$", "", name)


def read_rounds(folder, side):
    """{case: [run, ...]} over the rounds of one build, in case order; and the
    context of its first round."""
    cases, context = {}, None
    files = sorted(folder.glob(f"{side}_*.json"), key=lambda p: int(p.stem.split("_")[1]))
    for path in files:
        data = json.loads(path.read_text())
        context = context or data.get("context")
        times_pre_render = "case_time" in data.get("context", {})
        for b in data.get("benchmarks", []):
            if b.get("run_type", "iteration") != "iteration":
                continue
            if b.get("error_occurred"):
                run = {"error": b.get("error_message", "error")}
            else:
                measured = b["real_time"] * TO_MS[b.get("time_unit", "ns")]
                run = {"frame_ms": measured if times_pre_render else measured + b.get("pre_render_ms", 0.0),
                       **{p: b[p] for p in PHASES if p in b}}
            cases.setdefault(case_name(b["name"]), []).append(run)
    return cases, context, len(files)


def best(runs):
    timed = [r for r in runs if "frame_ms" in r]
    if not timed:
        return {"error": runs[0]["error"]} if runs else None
    result = dict(min(timed, key=lambda r: r["frame_ms"]))
    result["rounds_ms"] = [round(r["frame_ms"], 3) for r in timed]
    return result


def fmt(value, width=0):
    return f"{value:{width}.0f}" if value is not None else " " * width


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--ref-label", required=True)
    parser.add_argument("--new-label", required=True)
    parser.add_argument("--json")
    args = parser.parse_args()

    folder = Path(args.folder)
    ref_cases, ref_context, rounds = read_rounds(folder, "ref")
    new_cases, new_context, _ = read_rounds(folder, "new")
    names = list(ref_cases) + [n for n in new_cases if n not in ref_cases]
    if not names:
        sys.exit("bench-compare: no benchmark ran (check --filter)")

    merged = []
    for name in names:
        merged.append({"name": name, "reference": best(ref_cases.get(name, [])),
                       "new": best(new_cases.get(name, []))})

    width = max(len("case"), max(len(n) for n in names))
    head = f"{'case':<{width}}  {'ref ms':>8}  {'new ms':>8}  {'ratio':>6}"
    for _, title in TABLE_PHASES:
        head += f"  {title + ' ref/new':>{max(len(title) + 8, 13)}}"
    print(f"reference: {args.ref_label}; new: {args.new_label}; best of {rounds} rounds, milliseconds per frame")
    print(head)
    print("-" * len(head))
    for case in merged:
        ref, new = case["reference"] or {}, case["new"] or {}
        rt, nt = ref.get("frame_ms"), new.get("frame_ms")
        ratio = f"{rt / nt:6.2f}" if rt and nt else " " * 6
        line = f"{case['name']:<{width}}  {fmt(rt, 8)}  {fmt(nt, 8)}  {ratio}"
        for key, title in TABLE_PHASES:
            pair = f"{fmt(ref.get(key))}/{fmt(new.get(key))}" if (key in ref or key in new) else ""
            line += f"  {pair:>{max(len(title) + 8, 13)}}"
        for side, result in (("reference", ref), ("new", new)):
            if "error" in result:
                line += f"  ({side}: {result['error']})"
        print(line.rstrip())

    if args.json:
        Path(args.json).write_text(json.dumps({
            "reference": {"label": args.ref_label, "context": ref_context},
            "new": {"label": args.new_label, "context": new_context},
            "rounds": rounds,
            "unit": "ms per frame: frame_ms is the whole frame (pre-render and render command), the phases are parts of it",
            "cases": merged,
        }, indent=1) + "\n")


if __name__ == "__main__":
    main()
