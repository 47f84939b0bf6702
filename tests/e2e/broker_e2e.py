#!/usr/bin/python3
"""The simulators end to end through a real STOMP broker.

Each check runs the terminal simulator (tavrin-terminal --broker ...) as its own process against
a check service in another process, on destinations of its own so that checks never see each
other's traffic:

  scenario FILE   a shipped scenario: tavrin-checkservice plays the scenario's service, the
                  terminal its customer; the terminal's exit code says whether the scenario's
                  expected end was reached; the service is then stopped by its pid (SIGTERM) and
                  must end cleanly
  python-service  the 454 dialogue with python3-stomp as the check service, so that our
                  transport is checked against a client we did not write: headers and bodies of
                  the requests as they arrive, answers built by that client arriving intact
                  (Cyrillic text included), a body that is not JSON before each answer, which
                  the terminal acknowledges and drops, and nothing left on the reply queue after
  duplicate       every answer delivered twice, and the first step's answer once more while the
                  second step is pending: the copies change nothing
  shared          two terminals on one topic as their shared reply destination, with answers for
                  a terminal that does not exist in between: each takes only its own
  servicecheck    tavrin-servicecheck through the broker against tavrin-checkservice, sound
                  (exit 0, PASS) or with --fault NAME (exit 1, naming the rule --rule ID)
  load            tavrin-servicecheck --terminals 3 --dialogues 4 against the service, then
                  --ceiling: every dialogue done, nothing lost, duplicated, late or foreign
  restart         the broker stopped and started again (scripts/broker.sh) while a terminal
                  waits for an answer that the outage lost: the waiting message runs out and
                  the dialogue cancels, nothing crashes, the service reconnects and the next
                  terminal's dialogue completes; the broker is left running
  readme          README's example as a newcomer runs it, ten rounds: one service and two
                  terminals of the same scenario started together, all with default options
                  (the default request destination, the terminal id and reply queue left to
                  the programs): both terminals reach the end every round, no uid repeats
  tls             over the broker's TLS listener (TAVRIN_BROKER_TLS, TAVRIN_BROKER_CA): the
                  service with a client certificate and a terminal trusting the CA file play
                  the 454 dialogue; a terminal without the CA file, and one speaking plain
                  STOMP to the TLS port, end at once with exit code 2 and the reason
  cluster         on a RabbitMQ cluster (TAVRIN_BROKER lists its nodes, scripts/cluster.sh runs
                  it), quorum queues: two services and the checker's load mode (10 terminals,
                  40 dialogues each); ten seconds in, the node all of them reached first is
                  killed. Every dialogue ends, no more fail than there are terminals, nothing
                  is duplicated or foreign, every connection moves on within 15 s; the node
                  is started again after, unless TAVRIN_CLUSTER_DISPOSABLE is set
  idle            service and terminal on a short heart-beat stay idle for longer than three
                  intervals (the terminal waits for an answer that never comes): neither loses
                  its connection, and the service then answers the next terminal

Runs only when a broker is up: TAVRIN_BROKER=HOST:PORT (scripts/broker.sh start prints it), with
TAVRIN_BROKER_VHOST, TAVRIN_BROKER_LOGIN and TAVRIN_BROKER_PASSCODE (default "/", guest, guest).
Without it, or without python3-stomp where a check needs it, a check exits 77, which ctest
reports as skipped.

Usage: broker_e2e.py CHECK --terminal PATH [--service PATH] [--scenario FILE] [--scenarios DIR]
                      [--broker-script PATH] [--checker PATH] [--fault NAME --rule ID]
"""
import argparse
import json
import os
import re
import signal
import subprocess
import sys
import threading
import time
import uuid

SKIP = 77
TIME_SCALE = "0.05"
# Real seconds: a loaded two-core machine is slow to start programs, never this slow.
READY_SECONDS = 30
RUN_SECONDS = 90
STARTED = time.monotonic()
# The idle check's heart-beat, and the scale that makes the terminal's minute of waiting for an
# answer last 7.5 s: longer than three beats, short enough for CI.
IDLE_BEAT_MS = 2000
IDLE_SCALE = "0.125"
JSON_TYPE = "application/json;charset=utf-8"
# What a check started, ended by main() whether the check passed or not.
CLEANUPS = []


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


class Broker:
    def __init__(self, address):
        self.address = address
        host, port = address.rsplit(":", 1)
        self.host, self.port = host.strip("[]"), int(port)
        self.vhost = os.environ.get("TAVRIN_BROKER_VHOST", "/")
        self.login = os.environ.get("TAVRIN_BROKER_LOGIN", "guest")
        self.passcode = os.environ.get("TAVRIN_BROKER_PASSCODE", "guest")

    def arguments(self):
        return ["--broker", self.address, "--vhost", self.vhost,
                "--login", self.login, "--passcode", self.passcode]

    def connect(self, take, errors):
        """A python3-stomp connection that hands each message it gets to take()."""
        import stomp

        class Listener(stomp.ConnectionListener):
            def on_message(self, frame):
                take(frame)

            def on_error(self, frame):
                errors.append(frame.body)

        connection = stomp.Connection12([(self.host, self.port)], heartbeats=(10000, 10000),
                                        vhost=self.vhost)
        connection.set_listener("", Listener())
        connection.connect(self.login, self.passcode, wait=True)
        return connection


def destinations(kind="queue"):
    """Destinations no other check uses, nor an earlier run."""
    tag = uuid.uuid4().hex[:12]
    return ("/queue/tavrin.e2e.%s.requests" % tag,
            lambda name: "/%s/tavrin.e2e.%s.replies.%s" % (kind, tag, name))


class Program:
    """A program whose output lines are echoed with its name and kept to be waited for."""

    def __init__(self, name, argv):
        self.name = name
        self.lines = []
        # (seconds since the check started, line), for timing what happened.
        self.stamped = []
        self.changed = threading.Condition()
        print("%s$ %s" % (name, " ".join(argv)), flush=True)
        self.process = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        stdin=subprocess.DEVNULL)
        self.started, self.ended = time.monotonic(), None
        CLEANUPS.append(self.kill)
        self.readers = [threading.Thread(target=self._read, args=(stream, tag), daemon=True)
                        for stream, tag in ((self.process.stdout, "|"), (self.process.stderr, "!"))]
        for reader in self.readers:
            reader.start()

    def _read(self, stream, tag):
        for raw in iter(stream.readline, b""):
            line = raw.decode("utf-8", "replace").rstrip("\n")
            print("%6.2f %s%s %s" % (time.monotonic() - STARTED, self.name, tag, line), flush=True)
            with self.changed:
                self.lines.append(line)
                self.stamped.append((time.monotonic() - STARTED, line))
                self.changed.notify_all()
        with self.changed:
            self.changed.notify_all()

    def count(self, pattern):
        with self.changed:
            return sum(1 for line in self.lines if re.search(pattern, line))

    def maps(self, tag):
        """The JSON maps the terminal printed on its lines tagged [tag]."""
        with self.changed:
            return [json.loads(line[line.index("{"):]) for line in self.lines
                    if line.startswith("[%s]" % tag)]

    def wait_for(self, pattern, times=1, seconds=READY_SECONDS):
        with self.changed:
            self.changed.wait_for(lambda: self.count(pattern) >= times or self.process.poll() is not None,
                                  seconds)
        check(self.count(pattern) >= times, "%s: no %r (%d time(s)) within %d s"
              % (self.name, pattern, times, seconds))

    def finish(self, seconds=RUN_SECONDS):
        try:
            code = self.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            self.kill()
            raise Failure("%s did not end within %d s and was killed" % (self.name, seconds))
        self.ended = time.monotonic()
        for reader in self.readers:
            reader.join(5)
        return code

    def ends_with(self, wanted=0, why=""):
        code = self.finish()
        check(code == wanted, "%s ended with %r, not %d%s" % (self.name, code, wanted, why))

    def stop(self, seconds=15):
        """SIGTERM by pid; the program must end by itself and cleanly."""
        if self.process.poll() is None:
            os.kill(self.process.pid, signal.SIGTERM)
        return self.finish(seconds)

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def start_service(args, broker, requests, scenario=None, extra=()):
    service = Program("service", [args.service, *broker.arguments(), "--scenario",
                                  scenario or args.scenario, "--time-scale", TIME_SCALE,
                                  "--request-destination", requests, *extra])
    service.wait_for(r"^\[broker\]\s+connected to ")
    return service


def stop_service(service, requests=None):
    code = service.stop()
    check(code == 0, "the service ended with %r on SIGTERM instead of 0" % code)
    if requests is not None:
        taken = service.count(r"^\[request\]\s+#\d+ from ")
        check(taken == requests, "the service took %d request(s), not %d" % (taken, requests))


def start_terminal(args, broker, name, scenario, requests, replies, *extra, scale=TIME_SCALE):
    return Program(name, [args.terminal, "--headless", "--time-scale", scale, "--scenario", scenario,
                          *broker.arguments(), "--request-destination", requests,
                          "--reply-destination", replies, *extra])


def read_scenario(path):
    with open(path, encoding="utf-8") as file:
        return json.load(file)


def scenario_check(args, broker):
    requests, reply = destinations()
    service = start_service(args, broker, requests)
    terminal = start_terminal(args, broker, "terminal", args.scenario, requests, reply("t"))
    terminal.ends_with(0, ": the scenario's end was not reached")
    check(terminal.count(r"^PASS") == 1, "the terminal printed no PASS verdict")
    stop_service(service, read_scenario(args.scenario).get("expected", {}).get("requests"))


class PythonCheckService:
    """The 454 check service written with python3-stomp, from the scenario's service part."""

    def __init__(self, broker, requests, behaviour, on_request=None):
        self.behaviour = behaviour
        self.on_request = on_request or self.answer_normally
        self.received, self.published, self.errors = [], [], []
        self.connection = broker.connect(self._take, self.errors)
        self.connection.subscribe(requests, id="python-service", ack="client-individual")
        CLEANUPS.append(lambda: self.connection.is_connected() and self.connection.disconnect())

    def _take(self, frame):
        try:
            raw = frame.body.encode("utf-8") if isinstance(frame.body, str) else frame.body
            request = json.loads(raw.decode("utf-8"))
            self.received.append((frame.headers, raw, request))
            print("python-service| request #%d %s" % (len(self.received), raw.decode("utf-8")), flush=True)
            self.on_request(self, frame.headers.get("reply-to", ""), request)
        except Exception as error:  # reported by the check, never lost in the listener's thread
            self.errors.append("%s: %s" % (type(error).__name__, error))
        self.connection.ack(frame.headers["ack"])

    @staticmethod
    def read(request):
        checkdata = json.loads(request["params"]["checkdata"])
        values = {p["name"]: p.get("value") for p in checkdata.get("payParamList", [])}
        return int(checkdata["currentStep"]), values

    def answer_for(self, request, uid=None, parameters=None):
        step, _ = self.read(request)
        if parameters is None:
            parameters = self.behaviour["parameters"] if step == 1 else self.behaviour["completion"]
        return {"message": {
            "msgType": request["msgType"], "uid": request["uid"] if uid is None else uid,
            "error": False, "result": 0, "description": "", "resultDescription": "",
            "params": {"isCompleted": True, "isError": False, "statusDescription": "",
                       "currentStep": step, "payParamList": parameters}}}

    def publish(self, destination, answer):
        self.published.append(answer)
        body = json.dumps(answer, ensure_ascii=False)
        print("python-service| answer to %s %s" % (destination, body), flush=True)
        self.connection.send(destination, body, content_type=JSON_TYPE)

    @staticmethod
    def answer_normally(service, reply_to, request):
        step, values = service.read(request)
        check(values.get("msisdn") == service.behaviour["msisdn"],
              "step %d came with msisdn %r" % (step, values.get("msisdn")))
        if step == 2:
            check(values.get("smscode") == service.behaviour["smsCode"],
                  "step 2 came with smscode %r" % values.get("smscode"))
        service.publish(reply_to, service.answer_for(request))


def with_python_service(args, broker, on_request=None, terminals=1, shared=False):
    scenario = read_scenario(args.scenario)
    requests, reply = destinations("topic" if shared else "queue")
    service = PythonCheckService(broker, requests, scenario["service"], on_request)
    programs = [start_terminal(args, broker, "terminal%d" % index if terminals > 1 else "terminal",
                               args.scenario, requests, reply("shared" if shared else "t%d" % index),
                               *(["--terminal-id", str(5001 + index)] if shared else []))
                for index in range(terminals)]
    for terminal in programs:
        terminal.ends_with(0, ": the scenario's end was not reached")
    check(not service.errors, "the python service failed: %s" % "; ".join(map(str, service.errors)))
    wanted = scenario["expected"]["requests"] * terminals
    check(len(service.received) == wanted,
          "the python service got %d request(s), not %d" % (len(service.received), wanted))
    return service, programs


def python_service_check(args, broker):
    def garbage_first(service, reply_to, request):
        service.connection.send(reply_to, "not json", content_type="text/plain")
        service.answer_normally(service, reply_to, request)

    service, (terminal,) = with_python_service(args, broker, garbage_first)
    check([request for _, _, request in service.received] == terminal.maps("request"),
          "the requests changed on the way: %r" % [raw for _, raw, _ in service.received])
    for headers, raw, _ in service.received:
        check(headers.get("content-type") == JSON_TYPE and headers.get("content-length") == str(len(raw))
              and b"\0" not in raw
              and re.fullmatch(r"/queue/tavrin\.e2e\.\w+\.replies\.t0", headers.get("reply-to", "")),
              "a request of %d bytes came with %r: %r" % (len(raw), headers, raw))
    kinds = [(request.get("msgType"), request.get("code"), PythonCheckService.read(request)[0])
             for _, _, request in service.received]
    check(kinds == [("tavrinPluginRequest", "check", 1), ("tavrinPluginRequest", "check", 2)],
          "the requests were not the two check steps: %r" % kinds)
    check(terminal.maps("answer") == service.published,
          "the answers changed on the way, or more came: %r" % terminal.maps("answer"))
    check(terminal.count(r"whose body is not a JSON object") == 2,
          "the terminal did not report both bodies that are not JSON")

    # Every body was acknowledged, so the broker has nothing left for a new consumer.
    leftover = []
    late = broker.connect(leftover.append, [])
    late.subscribe(service.received[0][0]["reply-to"], id="leftover", ack="client-individual")
    time.sleep(1.0)
    late.disconnect()
    check(not leftover, "a message stayed unacknowledged on the terminal's reply queue")


def duplicate_check(args, broker):
    def answer_twice(service, reply_to, request):
        step, _ = service.read(request)
        if step == 2:
            # The first step's answer again, late: its uid is no longer the pending one.
            first = service.received[0][2]
            service.publish(reply_to, service.answer_for(first))
        answer = service.answer_for(request)
        service.publish(reply_to, answer)
        service.publish(reply_to, answer)

    _, (terminal,) = with_python_service(args, broker, answer_twice)
    # The last copy may come while the terminal is already closing the connection.
    check(terminal.count(r"^\[answer\]\s+to #1 ") == 3 and terminal.count(r"^\[answer\]\s+to #2 ") >= 1,
          "the terminal did not receive the copies")


def shared_check(args, broker):
    def answer_with_strangers(service, reply_to, request):
        # An answer for a terminal that is not there, with other values, on the same topic.
        stranger = str((int(request["uid"]) + 7919) % (2 ** 63))
        foreign = [{"name": "surname", "title": "Фамилия", "type": "string", "value": "Чужая",
                    "isEditable": True, "isVisible": True}]
        service.publish(reply_to, service.answer_for(request, uid=stranger, parameters=foreign))
        service.publish(reply_to, service.answer_for(request))

    _, terminals = with_python_service(args, broker, answer_with_strangers, terminals=2, shared=True)
    for terminal in terminals:
        check(terminal.count(r"^\[answer\]\s+to no known request ") >= 2,
              "%s saw no answers for another terminal" % terminal.name)


def broker_script(args, command):
    started = time.monotonic()
    result = subprocess.run([args.broker_script, command], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    said = result.stdout.decode("utf-8", "replace").strip()
    print("%6.2f broker.sh %s (%.1f s): %s" % (time.monotonic() - STARTED, command,
                                               time.monotonic() - started, said), flush=True)
    return result.returncode, said


def unanswered_then_answered(args, broker, scale, extra=(), meanwhile=lambda service: None,
                             between=lambda service: None):
    """terminal1 waits in vain for its first answer, then terminal2's dialogue completes."""
    requests, reply = destinations()
    lost, passport = (os.path.join(args.scenarios, name + ".json")
                      for name in ("service-no-answer", "454-passport"))
    # The service leaves its first request unanswered and answers the others.
    service = start_service(args, broker, requests, lost, extra)
    first = start_terminal(args, broker, "terminal1", lost, requests, reply("t1"), *extra, scale=scale)
    meanwhile(service)
    first.ends_with(0, " after waiting in vain")
    check(first.count(r"^\[message\]\s+\"Превышен интервал ожидания ответа от сервера\"") == 1,
          "terminal1 did not show the waiting message's time-out")
    between(service)
    second = start_terminal(args, broker, "terminal2", passport, requests, reply("t2"), *extra)
    second.ends_with(0, ": the dialogue after it did not complete")
    return service, first, second


def restart_check(args, broker):
    code, said = broker_script(args, "status")
    if code != 0 or ("127.0.0.1:%d" % broker.port) not in said:
        print("skipped: the broker at %s was not started by scripts/broker.sh, so it cannot be "
              "restarted here" % broker.address)
        return SKIP

    def outage(service):
        service.wait_for(r"^\[request\]\s+#1 from ")
        try:
            check(broker_script(args, "stop")[0] == 0, "scripts/broker.sh stop failed")
        finally:
            # The broker is left running for whatever comes next, whatever happened here.
            check(broker_script(args, "start")[0] == 0, "scripts/broker.sh start failed after the stop")

    def reconnected(service):
        # The service's reconnection waits out its back-off, at most 10 s.
        service.wait_for(r"^\[broker\]\s+connected to ", times=2)

    # The first terminal waits 15 s for the answer the outage lost, so that it is still waiting
    # while the broker stops, whatever the broker's pace.
    service, first, _ = unanswered_then_answered(args, broker, "0.25", meanwhile=outage, between=reconnected)
    check(first.count(r"^\[broker\]\s+connection lost") >= 1,
          "terminal1 did not notice the broker going away")
    if first.count(r"^\[broker\]\s+connected again"):
        print("terminal1 was connected again before its dialogue ended")
    stop_service(service, 3)


def idle_check(args, broker):
    service, first, second = unanswered_then_answered(args, broker, IDLE_SCALE,
                                                      ["--heart-beat", str(IDLE_BEAT_MS)])
    idle = first.ended - first.started
    check(idle > 3 * IDLE_BEAT_MS / 1000.0,
          "the idle spell lasted %.1f s, not over three heart-beats" % idle)
    for program in (service, first, second):
        check(program.count(r"connection lost") == 0, "%s lost its connection while idle" % program.name)
    print("idle for %.1f s on a %d ms heart-beat" % (idle, IDLE_BEAT_MS))
    stop_service(service, 3)


def readme_check(args, broker):
    rounds = int(args.rounds or 10)
    service = Program("service", [args.service, "--broker", broker.address, "--scenario", args.scenario])
    service.wait_for(r"^\[broker\]\s+connected to ")
    for round_number in range(1, rounds + 1):
        terminals = [Program("r%d-terminal%d" % (round_number, index),
                             [args.terminal, "--headless", "--broker", broker.address,
                              "--scenario", os.path.splitext(os.path.basename(args.scenario))[0]])
                     for index in (1, 2)]
        for terminal in terminals:
            terminal.ends_with(0, " in round %d: the scenario's end was not reached" % round_number)
        print("round %d of %d passed" % (round_number, rounds), flush=True)
    check(service.count(r"repeats the uid") == 0, "two requests came with one uid")
    stop_service(service, 4 * rounds)


def tls_check(args, broker):
    address, ca = os.environ.get("TAVRIN_BROKER_TLS", ""), os.environ.get("TAVRIN_BROKER_CA", "")
    if not address or not ca:
        print("skipped: no TLS listener (scripts/broker.sh --tls start prints TAVRIN_BROKER_TLS "
              "and TAVRIN_BROKER_CA)")
        return SKIP
    folder = os.path.dirname(ca)
    tls = Broker(address)
    trusting = ["--tls", "--ca-file", ca]
    requests, reply = destinations()
    service = start_service(args, tls, requests, extra=trusting + [
        "--cert", os.path.join(folder, "client.pem"), "--key", os.path.join(folder, "client.key")])
    check(service.count(r"^\[service\]\s+on %s over TLS" % re.escape(address)) == 1,
          "the service did not say it uses TLS")
    terminal = start_terminal(args, tls, "terminal", args.scenario, requests, reply("t"), *trusting)
    terminal.ends_with(0, ": the scenario's end was not reached over TLS")
    stop_service(service, read_scenario(args.scenario)["expected"]["requests"])

    refusals = (("untrusting", ["--tls"], r"its certificate is not trusted"),
                ("plain", ["--connect-timeout", "3"], r"no CONNECTED from %s within 3000 ms" % re.escape(address)))
    for name, extra, reason in refusals:
        refused = start_terminal(args, tls, name, args.scenario, requests, reply(name), *extra)
        refused.ends_with(2, ": %s was not refused" % name)
        check(refused.count(r"^FAIL: .*" + reason) == 1, "%s: no FAIL naming %r" % (name, reason))
        check(refused.ended - refused.started < 15, "%s took %.1f s to give up"
              % (name, refused.ended - refused.started))


CLUSTER_TERMINALS, CLUSTER_DIALOGUES = 10, 40
# Answers after 0.225 s, so that the run lasts well past the kill; a lost answer is given up
# after 9 s.
CLUSTER_SCALE = "0.15"
KILL_AFTER_SECONDS = 10
MOVE_ON_SECONDS = 15


def cluster_script(args, *command):
    started = time.monotonic()
    result = subprocess.run([args.cluster_script, *command], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    print("%6.2f cluster.sh %s (%.1f s): %s" % (time.monotonic() - STARTED, " ".join(command),
                                                time.monotonic() - started,
                                                result.stdout.decode("utf-8", "replace").strip()), flush=True)
    return result.returncode


def longest_move(stamped, killed_at, lost, connected):
    """Seconds from the first loss after the kill to the last new connection, and the counts."""
    losses = [t for t, line in stamped if t >= killed_at and re.search(lost, line)]
    returns = [t for t, line in stamped if t >= killed_at and re.search(connected, line)]
    gap = (max(returns) - min(losses)) if losses and returns else None
    return gap, len(losses), len(returns)


def cluster_check(args, broker):
    if "," not in broker.address or not args.cluster_script:
        print("skipped: TAVRIN_BROKER names one broker, not a cluster (scripts/cluster.sh start)")
        return SKIP
    first = broker.address.split(",")[0]
    requests, reply = destinations()
    quorum = ["--quorum-queues"]
    services = []
    for index in (1, 2):
        service = Program("service%d" % index, [args.service, *broker.arguments(), "--scenario", args.scenario,
                                                "--time-scale", CLUSTER_SCALE, "--request-destination", requests,
                                                *quorum])
        service.wait_for(r"^\[broker\]\s+connected to ")
        check(service.count(r"^\[broker\]\s+connected to %s," % re.escape(first)) == 1,
              "%s did not reach the first node first" % service.name)
        services.append(service)
    report_path = os.path.join(os.environ.get("TMPDIR", "/tmp"), "tavrin-cluster-%s.json" % uuid.uuid4().hex)
    load = Program("load", [args.checker, *broker.arguments(), "--time-scale", CLUSTER_SCALE, "--scenario",
                            args.scenario, "--request-destination", requests, "--reply-destination",
                            reply("load"), "--terminals", str(CLUSTER_TERMINALS),
                            "--dialogues", str(CLUSTER_DIALOGUES), "--json", report_path, *quorum])
    killed = False
    try:
        # Ten seconds into the load, which starts once every terminal has its queue.
        services[0].wait_for(r"^\[request\]\s+#1 from ", seconds=60)
        time.sleep(KILL_AFTER_SECONDS)
        check(load.process.poll() is None, "the load run ended before the kill")
        killed_at = time.monotonic() - STARTED
        check(cluster_script(args, "kill", "1") == 0, "cluster.sh kill 1 failed")
        killed = True
        code = load.finish(240)
        check(code in (0, 1), "the load run ended with %r" % code)
        with open(report_path, encoding="utf-8") as stream:
            report = json.load(stream)
        os.unlink(report_path)
        dialogues, answers, connections = report["dialogues"], report["answers"], report["connections"]
        print("after the kill: dialogues %s, answers %s, connections %s" % (dialogues, answers, connections),
              flush=True)
        total = CLUSTER_TERMINALS * CLUSTER_DIALOGUES
        check(dialogues["total"] == total, "%s of %d dialogues ended" % (dialogues["total"], total))
        # The one dialogue a terminal had in flight when its node went may fail; no other.
        for terminal in report["perTerminal"]:
            check(terminal["failed"] + terminal["lost"] <= 1,
                  "terminal %s: %d failed, %d lost" % (terminal["id"], terminal["failed"], terminal["lost"]))
        failed = dialogues["failed"] + answers["lost"]
        check(answers["duplicated"] == 0 and answers["foreign"] == 0,
              "answers duplicated %s, foreign %s" % (answers["duplicated"], answers["foreign"]))
        check(connections["reconnects"] >= CLUSTER_TERMINALS
              and connections["longestGapMs"] <= MOVE_ON_SECONDS * 1000,
              "the checker's terminals reconnected %d time(s), the longest gap %d ms"
              % (connections["reconnects"], connections["longestGapMs"]))

        # Every connection on the killed node moves on: the checker's terminals say so in its
        # report, the services on their log.
        gap, losses = connections["longestGapMs"] / 1000, connections["reconnects"]
        for service in services:
            service_gap, lost, back = longest_move(service.stamped, killed_at, r"^\[broker\]\s+connection lost",
                                                   r"^\[broker\]\s+connected to ")
            # A node that just took over may drop a connection once more while its queues
            # elect their leaders: each loss must be followed by a new connection.
            check(lost >= 1 and back == lost and service_gap <= MOVE_ON_SECONDS,
                  "%s: %d loss(es), %d new connection(s), %s s" % (service.name, lost, back, service_gap))
            gap = max(gap, service_gap)
            losses += lost
        print("FAIL-OVER failed=%d reconnects=%d longest-gap-ms=%d" % (failed, losses, gap * 1000), flush=True)
        for service in services:
            stop_service(service)
    finally:
        # A cluster about to be stopped (TAVRIN_CLUSTER_DISPOSABLE) is left with two nodes.
        if killed and not os.environ.get("TAVRIN_CLUSTER_DISPOSABLE"):
            cluster_script(args, "start-node", "1")


def start_checker(args, broker, name, requests, *extra):
    return Program(name, [args.checker, *broker.arguments(), "--time-scale", TIME_SCALE,
                          "--scenario", args.scenario, "--request-destination", requests, *extra])


def servicecheck_check(args, broker):
    requests, reply = destinations()
    service = start_service(args, broker, requests, extra=["--fault", args.fault] if args.fault else [])
    checker = start_checker(args, broker, "checker", requests, "--reply-destination", reply("c"))
    if args.fault:
        checker.ends_with(1, " against the fault " + args.fault)
        check(checker.count(r"^  VIOLATION %s:" % re.escape(args.rule)) >= 1,
              "the checker did not name the rule %s" % args.rule)
    else:
        checker.ends_with(0, " against the sound service")
        check(checker.count(r"^PASS") == 1, "the checker printed no PASS")
    stop_service(service)


def load_check(args, broker):
    requests, reply = destinations()
    service = start_service(args, broker, requests)
    for extra in ([], ["--ceiling"]):
        load = start_checker(args, broker, "load", requests, "--reply-destination", reply("load"),
                             "--terminals", "3", "--dialogues", "4", *extra)
        load.ends_with(0, " in the load run " + " ".join(extra))
        check(load.count(r"^RESULT terminals=3 dialogues=12 .* lost=0 duplicated=0 late=0 "
                         r"foreign=0 errors=0$") == 1, "the load run did not do its 12 dialogues cleanly")
    stop_service(service, 24)


# Each NAME_check above is the check NAME on the command line, with "-" for "_".
CHECKS = {name[:-len("_check")].replace("_", "-"): function
          for name, function in list(globals().items()) if name.endswith("_check")}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("check", choices=sorted(CHECKS))
    parser.add_argument("--terminal", required=True)
    for option in ("--service", "--scenario", "--scenarios", "--broker-script", "--checker",
                   "--fault", "--rule", "--rounds", "--cluster-script"):
        parser.add_argument(option)
    args = parser.parse_args()

    address = os.environ.get("TAVRIN_BROKER", "")
    if not address:
        print("skipped: no broker (set TAVRIN_BROKER=HOST:PORT, see scripts/broker.sh)")
        return SKIP
    started = time.monotonic()
    try:
        result = CHECKS[args.check](args, Broker(address))
    except ImportError as error:
        print("skipped: python3-stomp is not installed for /usr/bin/python3 (%s)" % error)
        return SKIP
    except Failure as failure:
        print("FAIL: %s" % failure)
        print("0 passed, 1 failed")
        return 1
    finally:
        for cleanup in reversed(CLEANUPS):
            cleanup()
    if result == SKIP:
        return SKIP
    print("%s took %.1f s" % (args.check, time.monotonic() - started))
    print("1 passed, 0 failed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
