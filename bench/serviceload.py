#!/usr/bin/python3
"""Loads tavrin-checkservice through a STOMP broker with tavrin-servicecheck and writes the
table into BENCHMARKS.md (and bench/serviceload.md, which bench/report.py keeps).

For 1, 10 and 100 terminals it runs, side by side and in random order, the load against the
service, the same terminals with --ceiling (each request sent straight back to the terminal's
own reply destination: the broker's round trip and our client's own work), and the broker's
round trip alone, measured with the minimal STOMP client below: as many connections, each
sending a message to its own queue and waiting for it, twice per dialogue. Medians over the
repetitions; the ratio is service over the minimal client's ceiling.

Usage: serviceload.py --bin DIR [--broker HOST:PORT] [--repetitions N] [--output FILE]
The broker defaults to TAVRIN_BROKER; login and passcode to TAVRIN_BROKER_LOGIN and
TAVRIN_BROKER_PASSCODE (guest, guest).
"""
import argparse
import asyncio
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
HERE = os.path.dirname(os.path.abspath(__file__))


def publish(section, name, output):
    """Prints the section and writes it to bench/NAME, which bench/report.py keeps, and into
    OUTPUT in place of the section with the same heading, else before "## How it is measured"."""
    print(section)
    with open(os.path.join(HERE, name), "w", encoding="utf-8") as stream:
        stream.write(section)
    with open(output, encoding="utf-8") as stream:
        document = stream.read()
    heading = section.split("\n", 1)[0]
    document = re.sub(re.escape(heading) + r"\n.*?(?=\n## |\Z)", "", document, flags=re.S).rstrip("\n") + "\n"
    marker = "## How it is measured"
    document = document.replace(marker, section + "\n" + marker) if marker in document else document + "\n" + section
    with open(output, "w", encoding="utf-8") as stream:
        stream.write(document)
    print("wrote", output)


def frame(command, headers, body=b""):
    head = "".join("%s:%s\n" % item for item in headers.items())
    return ("%s\n%s\n" % (command, head)).encode() + body + b"\0"


async def read_frame(reader):
    data = await reader.readuntil(b"\0")
    text = data.lstrip(b"\r\n")
    return text[:text.index(b"\n")].decode()


async def minimal_terminal(address, login, passcode, queue):
    host, port = address.rsplit(":", 1)
    reader, writer = await asyncio.open_connection(host.strip("[]"), int(port))
    writer.write(frame("CONNECT", {"accept-version": "1.2", "host": "/", "login": login,
                                   "passcode": passcode, "heart-beat": "0,0"}))
    await writer.drain()
    if await read_frame(reader) != "CONNECTED":
        raise SystemExit("the broker refused the minimal client")
    writer.write(frame("SUBSCRIBE", {"id": "0", "destination": queue, "ack": "auto"}))
    return reader, writer


async def minimal_round_trips(address, login, passcode, terminals, dialogues):
    tag = uuid.uuid4().hex[:8]
    latencies = []
    connections = await asyncio.gather(*(minimal_terminal(address, login, passcode,
                                                          "/queue/tavrin.bench.%s.min.%d" % (tag, i))
                                         for i in range(terminals)))
    body = b'{"message":{"uid":"1234567890123456789","msgType":"tavrinPluginRequest"}}'

    async def run(i, reader, writer):
        queue = "/queue/tavrin.bench.%s.min.%d" % (tag, i)
        for _ in range(2 * dialogues):
            sent = time.perf_counter()
            writer.write(frame("SEND", {"destination": queue, "content-type": "application/json",
                                        "content-length": str(len(body))}, body))
            while await read_frame(reader) != "MESSAGE":
                pass
            latencies.append((time.perf_counter() - sent) * 1000)

    started = time.perf_counter()
    await asyncio.gather(*(run(i, r, w) for i, (r, w) in enumerate(connections)))
    elapsed = time.perf_counter() - started
    for _, writer in connections:
        writer.close()
    latencies.sort()
    rank = lambda f: latencies[max(0, min(len(latencies) - 1, int(-(-f * len(latencies) // 1)) - 1))]
    return {"rate": terminals * dialogues / elapsed, "p50": rank(0.5), "p95": rank(0.95),
            "p99": rank(0.99), "max": latencies[-1], "lost": 0, "duplicated": 0, "late": 0, "foreign": 0}


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
    parser.add_argument("--output", default=os.path.join(HERE, "..", "BENCHMARKS.md"))
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
    results = {(n, c): [] for n in TERMINALS for c in ("service", "ceiling", "minimal")}
    load = os.getloadavg()
    try:
        for repetition in range(args.repetitions):
            runs = list(results)
            random.shuffle(runs)
            for terminals, kind in runs:
                if kind == "minimal":
                    measured = asyncio.run(minimal_round_trips(args.broker, broker[3], broker[5], terminals,
                                                               DIALOGUES[terminals]))
                else:
                    measured = run_load(args, broker, requests, terminals, kind == "ceiling")
                results[(terminals, kind)].append(measured)
                print("repetition %d, %d terminal(s) %s: %s" % (repetition + 1, terminals, kind, measured),
                      flush=True)
    finally:
        service.terminate()
        service.wait(30)

    def median(terminals, ceiling, field):
        return statistics.median(float(r[field]) for r in results[(terminals, ceiling)])

    lines = [
        "## Check service under load",
        "",
        "`tavrin-checkservice` (454-passport, its delays scaled to nothing) loaded through RabbitMQ on "
        "loopback by `tavrin-servicecheck --terminals N`. The ceiling is the broker's own round trip, "
        "measured in the same run by a minimal STOMP client (`bench/serviceload.py`: N connections, "
        "each sending to its own queue and waiting for the message, twice per dialogue); beside it, "
        "`--ceiling`: our terminals with each request going straight back to their own reply "
        "destination, no service between (the broker plus our client). A dialogue is the plugin's two "
        "requests (phone number, SMS code); each terminal starts its next dialogue when the last "
        "ends. Medians of %d repetitions in random order; latency is from request sent to answer "
        "received, in ms; the ratio is the service's dialogues per second over the minimal client's. Written by `bench/serviceload.py` on %s "
        "(load average %.2f at the start); nothing was lost, duplicated, late or foreign."
        % (args.repetitions, time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()), load[0]),
        "",
        "| Terminals | Dialogues/s: service | ceiling (minimal client) | ratio | `--ceiling` | `--ceiling` / minimal | Latency median / p95 / p99 / max: service | ceiling (minimal client) | `--ceiling` |",
        "|---|---|---|---|---|---|---|---|---|",
    ]
    for terminals in TERMINALS:
        rate = lambda kind: median(terminals, kind, "rate")
        lat = lambda kind: " / ".join("%.2f" % median(terminals, kind, f) for f in FIELDS[1:])
        lines.append("| %d | %.1f | %.1f | %.2f | %.1f | %.2f | %s | %s | %s |"
                     % (terminals, rate("service"), rate("minimal"), rate("service") / rate("minimal"),
                        rate("ceiling"), rate("ceiling") / rate("minimal"), lat("service"), lat("minimal"),
                        lat("ceiling")))
    lossless = all(float(r[k]) == 0 for runs in results.values() for r in runs
                   for k in ("lost", "duplicated", "late", "foreign"))
    if not lossless:
        lines[2] = lines[2].replace("nothing was lost, duplicated, late or foreign.",
                                    "SOME ANSWERS WERE LOST, DUPLICATED, LATE OR FOREIGN (see the run's output).")
    publish("\n".join(lines) + "\n", "serviceload.md", args.output)


if __name__ == "__main__":
    main()
