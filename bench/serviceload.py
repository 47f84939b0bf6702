#!/usr/bin/python3
"""Loads tavrin-checkservice through a STOMP broker with tavrin-servicecheck and writes the
table into BENCHMARKS.md (and bench/serviceload.md, which bench/report.py keeps).

For 1, 10 and 100 terminals it runs, side by side and in random order, the load against the
service and the ceiling: the same terminals with each request sent straight back to the
terminal's own reply destination, so that only the broker's round trip and the client's own
work remain. Medians over the repetitions; the ratio is service over ceiling.

Usage: serviceload.py --bin DIR [--broker HOST:PORT] [--repetitions N] [--output FILE]
The broker defaults to TAVRIN_BROKER; login and passcode to TAVRIN_BROKER_LOGIN and
TAVRIN_BROKER_PASSCODE (guest, guest).
"""
import argparse
import os
import random
import re
import statistics
import subprocess
import sys
import time
import uuid

TERMINALS = (1, 10, 100)
# Dialogues per terminal: enough for a stable median without a long run at 100 terminals.
DIALOGUES = {1: 200, 10: 30, 100: 5}
FIELDS = ("rate", "p50", "p95", "p99", "max")


def run_load(args, broker, requests, terminals, ceiling):
    argv = [os.path.join(args.bin, "tavrin-servicecheck"), *broker, "--request-destination", requests,
            "--reply-destination", "/queue/tavrin.bench.%s.replies" % uuid.uuid4().hex[:8],
            "--terminals", str(terminals), "--dialogues", str(DIALOGUES[terminals]),
            "--scenario", "454-passport"]
    if ceiling:
        argv.append("--ceiling")
    result = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=600)
    line = next((l for l in result.stdout.decode().splitlines() if l.startswith("RESULT ")), "")
    values = dict(re.findall(r"(\w+)=([\d.]+)", line))
    if result.returncode != 0 or not values:
        sys.exit("load run failed (%d): %s" % (result.returncode, " ".join(argv)))
    return values


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--bin", required=True)
    parser.add_argument("--broker", default=os.environ.get("TAVRIN_BROKER", ""))
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--output", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "BENCHMARKS.md"))
    args = parser.parse_args()
    args.bin = os.path.abspath(args.bin)
    if not args.broker:
        sys.exit("no broker: give --broker HOST:PORT or set TAVRIN_BROKER")
    broker = ["--broker", args.broker, "--login", os.environ.get("TAVRIN_BROKER_LOGIN", "guest"),
              "--passcode", os.environ.get("TAVRIN_BROKER_PASSCODE", "guest")]
    requests = "/queue/tavrin.bench.%s.requests" % uuid.uuid4().hex[:8]
    # The service's own delay scaled to nothing: what is measured is its handling.
    service = subprocess.Popen([os.path.join(args.bin, "tavrin-checkservice"), *broker,
                                "--request-destination", requests, "--time-scale", "0.00001",
                                "--scenario", "454-passport.json"],
                               cwd=os.path.join(args.bin, "..", "share", "paymenthost", "scenarios"),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(2)
    results = {(n, c): [] for n in TERMINALS for c in (False, True)}
    load = os.getloadavg()
    try:
        for repetition in range(args.repetitions):
            runs = list(results)
            random.shuffle(runs)
            for terminals, ceiling in runs:
                results[(terminals, ceiling)].append(run_load(args, broker, requests, terminals, ceiling))
                print("repetition %d, %d terminal(s)%s: %s" % (repetition + 1, terminals,
                      " ceiling" if ceiling else "", results[(terminals, ceiling)][-1]), flush=True)
    finally:
        service.terminate()
        service.wait(30)

    def median(terminals, ceiling, field):
        return statistics.median(float(r[field]) for r in results[(terminals, ceiling)])

    lines = [
        "## Check service under load",
        "",
        "`tavrin-checkservice` (454-passport, its delays scaled to nothing) loaded through RabbitMQ on "
        "loopback by `tavrin-servicecheck --terminals N`; the ceiling is the same terminals with "
        "`--ceiling`, each request going straight back to the terminal's own reply destination "
        "with no service between, measured in the same run. A dialogue is the plugin's two "
        "requests (phone number, SMS code); each terminal starts its next dialogue when the last "
        "ends. Medians of %d repetitions in random order; latency is from request sent to answer "
        "received, in ms; ratio is service over ceiling. Written by `bench/serviceload.py` on %s "
        "(load average %.2f at the start); nothing was lost, duplicated, late or foreign."
        % (args.repetitions, time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()), load[0]),
        "",
        "| Terminals | Dialogues/s (service) | Dialogues/s (ceiling) | Ratio | Latency median / p95 / p99 / max (service) | Latency median / p95 / p99 / max (ceiling) |",
        "|---|---|---|---|---|---|",
    ]
    for terminals in TERMINALS:
        service_rate = median(terminals, False, "rate")
        ceiling_rate = median(terminals, True, "rate")
        lat = lambda c: " / ".join("%.2f" % median(terminals, c, f) for f in FIELDS[1:])
        lines.append("| %d | %.1f | %.1f | %.2f | %s | %s |" % (terminals, service_rate, ceiling_rate,
                                                             service_rate / ceiling_rate, lat(False), lat(True)))
    lossless = all(float(r[k]) == 0 for runs in results.values() for r in runs
                   for k in ("lost", "duplicated", "late", "foreign"))
    if not lossless:
        lines[2] = lines[2].replace("nothing was lost, duplicated, late or foreign.",
                                    "SOME ANSWERS WERE LOST, DUPLICATED, LATE OR FOREIGN (see the run's output).")
    section = "\n".join(lines) + "\n"
    print(section)
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "serviceload.md"), "w", encoding="utf-8") as stream:
        stream.write(section)
    with open(args.output, encoding="utf-8") as stream:
        document = stream.read()
    document = re.sub(r"## Check service under load\n.*?(?=\n## |\Z)", "", document, flags=re.S).rstrip("\n") + "\n"
    marker = "## How it is measured"
    document = document.replace(marker, section + "\n" + marker) if marker in document else document + "\n" + section
    with open(args.output, "w", encoding="utf-8") as stream:
        stream.write(document)
    print("wrote", args.output)


if __name__ == "__main__":
    main()
