#!/usr/bin/env python3
"""Turns the results of bench/run.sh into the table it prints and into BENCHMARKS.md."""

import argparse
import datetime
import json
import os
import platform
import re
import subprocess
import sys


def command_output(*command):
    try:
        return subprocess.run(command, capture_output=True, text=True, check=False).stdout.strip()
    except OSError:
        return ""


def read_pairs(path):
    values = {}
    with open(path, encoding="utf-8") as stream:
        for line in stream:
            key, sep, value = line.strip().partition("=")
            if sep:
                values[key] = int(value)
    return values


def callgrind_total(path):
    with open(path, encoding="utf-8", errors="replace") as stream:
        for line in stream:
            if line.startswith("totals:") or line.startswith("summary:"):
                return int(line.split()[1])
    raise SystemExit(f"{path}: no instruction total")


def read_timings(path):
    """Median and coefficient of variation per benchmark, in microseconds.

    Manually timed benchmarks report the thread's CPU time of the timed step as their real
    time; the others are read from their CPU time."""
    with open(path, encoding="utf-8") as stream:
        data = json.load(stream)
    medians, spreads, errors, counters = {}, {}, {}, {}
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}
    for entry in data["benchmarks"]:
        run_name = entry.get("run_name", entry["name"])
        key = "/".join(run_name.split("/")[:2])
        if entry.get("error_occurred"):
            errors[key] = entry.get("error_message", "failed")
            continue
        if entry.get("run_type") != "aggregate":
            continue
        field = "real_time" if "manual_time" in run_name else "cpu_time"
        if entry["aggregate_name"] == "median":
            medians[key] = entry[field] * scale[entry["time_unit"]]
            if "host_part_us" in entry:
                counters[key + ":host_part"] = entry["host_part_us"]
        elif entry["aggregate_name"] == "cv":
            spreads[key] = entry[field]
    medians.update(counters)
    return data.get("context", {}), medians, spreads, errors


def fmt_us(value):
    if value >= 1000:
        return f"{value / 1000:.2f} ms"
    if value >= 10:
        return f"{value:.1f} µs"
    return f"{value:.2f} µs"


def fmt_count(value):
    return f"{value:,.0f}".replace(",", " ")


def machine_lines(context):
    model = ""
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as stream:
            for line in stream:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    distro = ""
    try:
        with open("/etc/os-release", encoding="utf-8") as stream:
            for line in stream:
                if line.startswith("PRETTY_NAME="):
                    distro = line.split("=", 1)[1].strip().strip('"')
    except OSError:
        pass
    qt = command_output("pkg-config", "--modversion", "Qt5Core")
    compiler = command_output("c++", "--version").splitlines()
    load = context.get("load_avg", [])
    return [
        f"- Date: {datetime.datetime.now().astimezone().strftime('%Y-%m-%d %H:%M %Z')}",
        f"- CPU: {model or 'unknown'}, {context.get('num_cpus', os.cpu_count())} cores"
        f" at {context.get('mhz_per_cpu', '?')} MHz as reported",
        f"- System: {distro or platform.system()}, kernel {platform.release()}",
        f"- Qt {qt or '?'}, {compiler[0] if compiler else 'unknown compiler'}, Release build",
        "- Load average when the timings started: "
        + (", ".join(f"{x:.2f}" for x in load) if load else "unknown")
        + " (a shared machine: other builds ran beside these benchmarks)",
    ]


def verdict(ratio, goal):
    return "met" if ratio <= goal else "**missed**"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--results", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("--repetitions", type=int, required=True)
    parser.add_argument("--callgrind-dialogues", type=int, required=True)
    args = parser.parse_args()

    context, t, cv, errors = read_timings(os.path.join(args.results, "timings.json"))
    if errors:
        for name, message in errors.items():
            print(f"{name}: {message}", file=sys.stderr)
        raise SystemExit("some benchmarks failed; no report written")

    def cell(name):
        spread = cv.get(name)
        return fmt_us(t[name]) + (f" (cv {spread * 100:.0f}%)" if spread is not None else "")

    rows = []
    for size, label in (("typical", "typical first step (6 parameters, a choice with 3 details)"),
                        ("large", "large first step (200 parameters)")):
        read, decode = t[f"answer_read/{size}"], t[f"answer_json_decode/{size}"]
        rows.append((f"1a. Reading the answer into records, {label}",
                     cell(f"answer_read/{size}"), "JSON decoding of the same answer: "
                     + cell(f"answer_json_decode/{size}"),
                     f"{read / decode:.2f}", "≤ 0.50", verdict(read / decode, 0.5)))
    for size in ("typical", "large"):
        whole, host = t[f"dispatch/{size}"], t[f"dispatch/{size}:host_part"]
        plugin = whole - host
        rows.append((f"1b. Dispatch, {size} answer: incomingMessage to the first parameter shown",
                     cell(f"dispatch/{size}"), "the host's part of it (account screen off, new"
                     f" input screen, setParameter), same iterations: {fmt_us(host)}",
                     f"plugin {plugin / whole * 100:.0f}% ({fmt_us(plugin)}),"
                     f" host {host / whole * 100:.0f}%", "recorded", ""))
    request, primitives = t["request/prepare_and_send"], t["request/primitives"]
    rows.append(("2. Request building: prepareStompMessage and the send",
                 cell("request/prepare_and_send"),
                 "compact JSON + QDataStream of map and date-time + id generator: "
                 + cell("request/primitives") + f"; the host's send alone: {fmt_us(t['request/host_send'])}",
                 f"{request / primitives:.2f}", "≤ 1.30", verdict(request / primitives, 1.3)))
    dialogue = t["dialogue/whole"]
    rows.append(("3. Whole dialogue, start to payment details (CPU time)", cell("dialogue/whole"),
                 "", f"{1e6 / dialogue:.0f} dialogues/s", "recorded", ""))
    load, minimal = t["plugin_load/tavrin"], t["plugin_load/minimal"]
    rows.append(("4. Plugin load: QPluginLoader::load + instance(), fresh process",
                 cell("plugin_load/tavrin"), "minimal pay plugin built the same way: "
                 + cell("plugin_load/minimal"),
                 f"{load / minimal:.2f}", "≤ 1.50", verdict(load / minimal, 1.5)))

    base = callgrind_total(os.path.join(args.results, "callgrind.base.out"))
    first = callgrind_total(os.path.join(args.results, "callgrind.first.out"))
    second = callgrind_total(os.path.join(args.results, "callgrind.second.out"))
    n = args.callgrind_dialogues
    per_first, per_second = (first - base) / n, (second - base) / n

    heap = read_pairs(os.path.join(args.results, "heap.txt"))
    soak = read_pairs(os.path.join(args.results, "soak.txt"))
    hn = heap["dialogues"]
    peak = max(soak["peak_resident_kib"], soak["resident_end_kib"])

    table = ["| Measure | Plugin (median) | Against (median) | Ratio | Goal | |",
             "|---|---|---|---|---|---|"]
    table += ["| " + " | ".join(row) + " |" for row in rows]

    callgrind = [
        f"Instructions per dialogue under `valgrind --tool=callgrind`: **{fmt_count(per_first)}**"
        f" (a second run: {fmt_count(per_second)};"
        f" difference {abs(per_first - per_second) / per_first * 100:.3f}%).",
        f"Counted as (I(N) − I(0)) / N with N = {n} and Qt's hash seed fixed"
        " (`QT_HASH_SEED=0`): both runs start the program, load the"
        " plugin and run one dialogue first, so that what only the first dialogue pays"
        " (fonts, caches and the like) falls out.",
    ]
    memory = [
        f"- Heap per dialogue: **{fmt_count(heap['heap_requested_bytes'] / hn)} bytes** in"
        f" {fmt_count(heap['heap_allocations'] / hn)} allocations (every malloc, calloc, realloc"
        f" and aligned allocation of the process, {hn} dialogues after the first).",
        f"- Heap still held after those {hn} dialogues, beyond what the first left:"
        f" {fmt_count(heap['heap_live_growth_bytes'])} bytes in total.",
        f"- Peak resident memory of {fmt_count(soak['dialogues'])} dialogues in a row:"
        f" **{fmt_count(peak / 1024)} MiB** ({fmt_count(peak)} KiB); resident after the first"
        f" dialogue {fmt_count(soak['resident_after_first_kib'])} KiB, at the end"
        f" {fmt_count(soak['resident_end_kib'])} KiB.",
    ]

    print()
    print("\n".join(table))
    print()
    print("\n".join(callgrind))
    print()
    print("\n".join(memory))

    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "report-notes.md"),
              encoding="utf-8") as stream:
        notes = stream.read().strip()

    # The check service's load table comes from bench/serviceload.py, which needs a broker.
    service_load = os.path.join(os.path.dirname(os.path.abspath(__file__)), "serviceload.md")
    if os.path.exists(service_load):
        with open(service_load, encoding="utf-8") as stream:
            notes = stream.read().strip() + "\n\n" + notes

    document = [
        "# Benchmarks",
        "",
        "What the plugin costs beside what Qt and the host must spend anyway on the same work."
        " Written by `bench/run.sh`; run it again to refresh this file.",
        "",
        "## Machine",
        "",
        *machine_lines(context),
        "",
        "## Results",
        "",
        f"Medians of {args.repetitions} repetitions, run interleaved in random order in one"
        " process, each pair side by side; ratios are plugin over yardstick. Times are CPU"
        " time of the benchmark thread, which other processes on the two shared cores disturb"
        " less than wall time; cv is the coefficient of variation over the repetitions.",
        "",
        *table,
        "",
        "## Instructions per dialogue",
        "",
        *callgrind,
        "",
        "## Memory",
        "",
        *memory,
        "",
        notes,
        "",
    ]
    with open(args.output, "w", encoding="utf-8") as stream:
        stream.write("\n".join(document))
    print(f"\nwrote {args.output}")


if __name__ == "__main__":
    main()
