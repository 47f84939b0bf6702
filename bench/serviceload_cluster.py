#!/usr/bin/python3
"""The check service on a RabbitMQ cluster against one RabbitMQ node, side by side in one run,
and a thousand terminals at once on each; writes the section into BENCHMARKS.md (and
bench/serviceload-cluster.md).

Both brokers run at the same time: the cluster of scripts/cluster.sh (STOMP 61613/61623/61633)
and a single node of scripts/broker.sh on another port (TAVRIN_BROKER_PORT=61643). For 1, 2 and
4 instances of tavrin-checkservice (delays scaled to nothing) on one request destination,
tavrin-servicecheck --terminals 10 loads each broker in turn, in random order, and the medians
of the repetitions are compared. On the cluster every queue is a quorum queue (--quorum-queues),
as a cluster needs to outlive a node; on the single node the queues are classic ones. Then one
run of 1,000 terminals at once on each broker (replies on topics, so that the cluster does not
declare a thousand quorum queues), with the checker's own peak memory and CPU time.

Usage: serviceload_cluster.py --bin DIR --single HOST:PORT --cluster HOST:PORT,... [--repetitions N]
"""
import argparse
import os
import random
import re
import statistics
import subprocess
import sys
import threading
import time
import uuid

from serviceload import HERE, publish

INSTANCES = (1, 2, 4)
TERMINALS, DIALOGUES = 10, 20
CROWD, CROWD_DIALOGUES = 1000, 2
NOTE = (' Quorum queues write every message to disk on all three nodes: on one machine the cluster is several times slower than a single node, and more instances do not help when the broker is what is busy. With two or more instances one to three of the 200 dialogues ended in a service error: the simulated service remembers per instance which numbers passed the first step, so a code that reaches another instance before that one has seen the number is refused (a real service keeps that in shared storage).')


def broker_arguments(address, cluster):
    return ["--broker", address, "--login", "guest", "--passcode", "guest",
            *(["--quorum-queues"] if cluster else [])]


def start_services(args, address, cluster, requests, count):
    services = [subprocess.Popen([os.path.join(args.bin, "tavrin-checkservice"),
                                  *broker_arguments(address, cluster), "--request-destination", requests,
                                  "--time-scale", "0.00001", "--scenario", args.scenario],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
                for _ in range(count)]
    for service in services:
        # Connected and subscribed before the load starts; the log read on, or the service
        # would stop once the pipe is full.
        for raw in iter(service.stdout.readline, b""):
            if b"[broker]   connected to" in raw:
                break
        threading.Thread(target=service.stdout.read, daemon=True).start()
    return services


def stop_services(services):
    for service in services:
        service.terminate()
    for service in services:
        service.wait(30)


def run_load(args, address, cluster, requests, terminals, dialogues, replies="/queue/"):
    """RESULT fields of one checker run, with its peak memory (MB) and CPU seconds."""
    argv = [os.path.join(args.bin, "tavrin-servicecheck"), *broker_arguments(address, cluster),
            "--request-destination", requests,
            "--reply-destination", "%stavrin.bench.%s.replies" % (replies, uuid.uuid4().hex[:8]),
            "--terminals", str(terminals), "--dialogues", str(dialogues), "--scenario", "454-passport"]
    process = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    output = process.stdout.read().decode()
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    line = next((l for l in output.splitlines() if l.startswith("RESULT ")), "")
    values = {k: float(v) for k, v in re.findall(r"(\w+)=([\d.]+)", line)}
    if not values:
        sys.exit("load run failed (%d): %s\n%s" % (process.returncode, " ".join(argv), output[-2000:]))
    values["rss_mb"] = usage.ru_maxrss / 1024.0
    values["cpu_s"] = usage.ru_utime + usage.ru_stime
    return values


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--bin", required=True)
    parser.add_argument("--single", required=True)
    parser.add_argument("--cluster", required=True)
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--output", default=os.path.join(HERE, "..", "BENCHMARKS.md"))
    args = parser.parse_args()
    args.bin = os.path.abspath(args.bin)
    args.scenario = os.path.join(args.bin, "..", "share", "paymenthost", "scenarios", "454-passport.json")
    brokers = {"one node": (args.single, False), "cluster": (args.cluster, True)}
    load = os.getloadavg()
    rates = {(b, n): [] for b in brokers for n in INSTANCES}
    for repetition in range(args.repetitions):
        runs = list(rates)
        random.shuffle(runs)
        for name, count in runs:
            address, cluster = brokers[name]
            requests = "/queue/tavrin.bench.%s.requests" % uuid.uuid4().hex[:8]
            services = start_services(args, address, cluster, requests, count)
            try:
                measured = run_load(args, address, cluster, requests, TERMINALS, DIALOGUES)
            finally:
                stop_services(services)
            rates[(name, count)].append(measured)
            print("repetition %d, %s, %d service(s): %s" % (repetition + 1, name, count, measured), flush=True)
    crowd = {}
    for name, (address, cluster) in brokers.items():
        requests = "/queue/tavrin.bench.%s.requests" % uuid.uuid4().hex[:8]
        services = start_services(args, address, cluster, requests, 2)
        try:
            crowd[name] = run_load(args, address, cluster, requests, CROWD, CROWD_DIALOGUES, "/topic/")
        finally:
            stop_services(services)
        print("%d terminals, %s: %s" % (CROWD, name, crowd[name]), flush=True)

    median = lambda runs, field: statistics.median(r[field] for r in runs)
    lines = [
        "## Service instances on a cluster",
        "",
        "`tavrin-checkservice` instances (454-passport, delays scaled to nothing) sharing one request "
        "destination, loaded by `tavrin-servicecheck --terminals %d --dialogues %d`, on a RabbitMQ "
        "cluster of three nodes on loopback (`scripts/cluster.sh`, quorum queues) and on one RabbitMQ "
        "node (`scripts/broker.sh`, classic queues), both running in the same run; every program "
        "connects to the cluster's first node first. Medians of %d repetitions in random order; the "
        "ratio is the cluster's dialogues per second over the single node's. Written by "
        "`bench/serviceload_cluster.py` on %s (load average %.2f at the start: the two cores were "
        "shared with other builds, so compare within a row).%s"
        % (TERMINALS, DIALOGUES, args.repetitions, time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()), load[0], NOTE),
        "",
        "| Service instances | Dialogues/s: one node | cluster | ratio | Latency median / p95 ms: one node | cluster |",
        "|---|---|---|---|---|---|",
    ]
    for count in INSTANCES:
        single, cluster = rates[("one node", count)], rates[("cluster", count)]
        lines.append("| %d | %.1f | %.1f | %.2f | %.2f / %.2f | %.2f / %.2f |"
                     % (count, median(single, "rate"), median(cluster, "rate"),
                        median(cluster, "rate") / median(single, "rate"), median(single, "p50"),
                        median(single, "p95"), median(cluster, "p50"), median(cluster, "p95")))
    lines += [
        "",
        "%d terminals at once, %d dialogues each, two service instances, replies on topics; the "
        "checker's own peak resident memory and CPU time (user and system) for the whole run, "
        "connections included:" % (CROWD, CROWD_DIALOGUES),
        "",
        "| Broker | Dialogues/s | Latency median / p95 / p99 / max ms | lost / duplicated / late / foreign | checker memory MB | checker CPU s |",
        "|---|---|---|---|---|---|",
    ]
    for name, values in crowd.items():
        lines.append("| %s | %.1f | %.1f / %.1f / %.1f / %.1f | %d / %d / %d / %d | %.0f | %.1f |"
                     % (name, values["rate"], values["p50"], values["p95"], values["p99"], values["max"],
                        values["lost"], values["duplicated"], values["late"], values["foreign"],
                        values["rss_mb"], values["cpu_s"]))
    publish("\n".join(lines) + "\n", "serviceload-cluster.md", args.output)


if __name__ == "__main__":
    main()
