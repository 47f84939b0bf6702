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
                  the requests as they arrive, answers built by that client
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
  idle            service and terminal on a short heart-beat stay idle for longer than three
                  intervals (the terminal waits for an answer that never comes): neither loses
                  its connection, and the service then answers the next terminal

Runs only when a broker is up: TAVRIN_BROKER=HOST:PORT (scripts/broker.sh start prints it), with
TAVRIN_BROKER_VHOST, TAVRIN_BROKER_LOGIN and TAVRIN_BROKER_PASSCODE (default "/", guest, guest).
Without it a check exits 77, which ctest reports as skipped.

Usage: broker_e2e.py CHECK --terminal PATH [--service PATH] [--scenario FILE] [--scenarios DIR]
                      [--broker-script PATH] [--checker PATH] [--fault NAME --rule ID]
"""
import argparse
import json
import os
import queue
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


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


class Broker:
    def __init__(self, address):
        self.address = address
        self.host, port = address.rsplit(":", 1)
        self.host = self.host.strip("[]")
        self.port = int(port)
        self.vhost = os.environ.get("TAVRIN_BROKER_VHOST", "/")
        self.login = os.environ.get("TAVRIN_BROKER_LOGIN", "guest")
        self.passcode = os.environ.get("TAVRIN_BROKER_PASSCODE", "guest")

    def arguments(self):
        return ["--broker", self.address, "--vhost", self.vhost,
                "--login", self.login, "--passcode", self.passcode]


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
        self.changed = threading.Condition()
        print("%s$ %s" % (name, " ".join(argv)), flush=True)
        self.process = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        stdin=subprocess.DEVNULL)
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
                self.changed.notify_all()

    def count(self, pattern):
        with self.changed:
            return sum(1 for line in self.lines if re.search(pattern, line))

    def wait_for(self, pattern, times=1, seconds=READY_SECONDS):
        deadline = time.monotonic() + seconds
        with self.changed:
            while sum(1 for line in self.lines if re.search(pattern, line)) < times:
                left = deadline - time.monotonic()
                if left <= 0 or self.process.poll() is not None:
                    break
                self.changed.wait(min(left, 0.2))
        check(self.count(pattern) >= times, "%s: no %r (%d time(s)) within %d s"
              % (self.name, pattern, times, seconds))

    def finish(self, seconds=RUN_SECONDS):
        try:
            code = self.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise Failure("%s did not end within %d s and was killed" % (self.name, seconds))
        for reader in self.readers:
            reader.join(5)
        return code

    def stop(self, seconds=15):
        """SIGTERM by pid; the program must end by itself and cleanly."""
        if self.process.poll() is None:
            os.kill(self.process.pid, signal.SIGTERM)
        return self.finish(seconds)

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def start_service(args, broker, scenario, requests):
    service = Program("service", [args.service, *broker.arguments(), "--scenario", scenario,
                                  "--time-scale", TIME_SCALE, "--request-destination", requests])
    service.wait_for(r"^\[broker\]\s+connected to ")
    return service


def terminal_argv(args, broker, scenario, requests, replies, *extra, scale=TIME_SCALE):
    return [args.terminal, "--headless", "--time-scale", scale, "--scenario", scenario,
            *broker.arguments(), "--request-destination", requests, "--reply-destination", replies,
            *extra]


def stop_service(service, requests=None):
    code = service.stop()
    check(code == 0, "the service ended with %r on SIGTERM instead of 0" % code)
    if requests is not None:
        taken = service.count(r"^\[request\]\s+#\d+ from ")
        check(taken == requests, "the service took %d request(s), not %d" % (taken, requests))


def read_scenario(path):
    with open(path, encoding="utf-8") as file:
        return json.load(file)


def scenario_check(args, broker):
    scenario = read_scenario(args.scenario)
    requests, reply = destinations()
    service = start_service(args, broker, args.scenario, requests)
    try:
        terminal = Program("terminal", terminal_argv(args, broker, args.scenario, requests, reply("t")))
        code = terminal.finish()
        check(code == 0, "the terminal ended with %r: the scenario's end was not reached" % code)
        check(terminal.count(r"^PASS") == 1, "the terminal printed no PASS verdict")
        stop_service(service, scenario.get("expected", {}).get("requests"))
    finally:
        service.kill()


class PythonCheckService:
    """The 454 check service written with python3-stomp, from the scenario's service part."""

    def __init__(self, broker, requests, behaviour, on_request=None):
        import stomp

        self.behaviour = behaviour
        self.on_request = on_request or self.answer_normally
        self.received = []
        self.errors = []
        self.incoming = queue.Queue()
        service = self

        class Listener(stomp.ConnectionListener):
            def on_message(self, frame):
                service.incoming.put(frame)

            def on_error(self, frame):
                service.errors.append(frame.body)

        self.connection = stomp.Connection12([(broker.host, broker.port)], heartbeats=(10000, 10000),
                                             vhost=broker.vhost)
        self.connection.set_listener("", Listener())
        self.connection.connect(broker.login, broker.passcode, wait=True)
        self.connection.subscribe(requests, id="python-service", ack="client-individual")
        self.worker = threading.Thread(target=self._serve, daemon=True)
        self.running = True
        self.worker.start()

    def _serve(self):
        while self.running:
            try:
                frame = self.incoming.get(timeout=0.1)
            except queue.Empty:
                continue
            try:
                raw = frame.body.encode("utf-8") if isinstance(frame.body, str) else frame.body
                request = json.loads(raw.decode("utf-8"))
                self.received.append((frame.headers, raw, request))
                print("python-service| request #%d %s" % (len(self.received), raw.decode("utf-8")), flush=True)
                self.on_request(self, frame.headers.get("reply-to", ""), request)
            except Exception as error:  # reported by the check, never lost in the thread
                self.errors.append("%s: %s" % (type(error).__name__, error))
            self.connection.ack(frame.headers["ack"])

    def close(self):
        self.running = False
        self.worker.join(5)
        if self.connection.is_connected():
            self.connection.disconnect()

    @staticmethod
    def read(request):
        checkdata = json.loads(request["params"]["checkdata"])
        values = {p["name"]: p.get("value") for p in checkdata.get("payParamList", [])}
        return int(checkdata["currentStep"]), values

    def answer_for(self, request, uid=None, step=None, parameters=None, completed=True):
        number, _ = self.read(request)
        step = step or number
        if parameters is None:
            parameters = self.behaviour["parameters"] if step == 1 else self.behaviour["completion"]
        return {"message": {
            "msgType": request["msgType"], "uid": request["uid"] if uid is None else uid,
            "error": False, "result": 0, "description": "", "resultDescription": "",
            "params": {"isCompleted": completed, "isError": False, "statusDescription": "",
                       "currentStep": step, "payParamList": parameters}}}

    def publish(self, destination, answer):
        body = json.dumps(answer, ensure_ascii=False)
        print("python-service| answer to %s %s" % (destination, body), flush=True)
        self.connection.send(destination, body, content_type="application/json;charset=utf-8")

    @staticmethod
    def answer_normally(service, reply_to, request):
        step, values = service.read(request)
        check(values.get("msisdn") == service.behaviour["msisdn"],
              "step %d came with msisdn %r" % (step, values.get("msisdn")))
        if step == 2:
            check(values.get("smscode") == service.behaviour["smsCode"],
                  "step 2 came with smscode %r" % values.get("smscode"))
        service.publish(reply_to, service.answer_for(request))


def python_service_check(args, broker, on_request=None, terminals=1, shared=False):
    scenario = read_scenario(args.scenario)
    requests, reply = destinations("topic" if shared else "queue")
    service = PythonCheckService(broker, requests, scenario["service"], on_request)
    programs = []
    try:
        for index in range(terminals):
            replies = reply("shared" if shared else "t%d" % index)
            extra = ["--terminal-id", str(5001 + index)] if shared else []
            programs.append(Program("terminal%d" % index if terminals > 1 else "terminal",
                                    terminal_argv(args, broker, args.scenario, requests, replies, *extra)))
        for terminal in programs:
            code = terminal.finish()
            check(code == 0, "%s ended with %r: the scenario's end was not reached" % (terminal.name, code))
        check(not service.errors, "the python service failed: %s" % "; ".join(map(str, service.errors)))
        wanted = scenario["expected"]["requests"] * terminals
        check(len(service.received) == wanted,
              "the python service got %d request(s), not %d" % (len(service.received), wanted))
        return service, programs
    finally:
        for terminal in programs:
            terminal.kill()
        service.close()


def python_check(args, broker):
    service, _ = python_service_check(args, broker)
    for headers, raw, request in service.received:
        check(headers.get("content-type") == "application/json;charset=utf-8",
              "a request's content-type is %r" % headers.get("content-type"))
        check(headers.get("content-length") == str(len(raw)),
              "content-length %r for %d bytes" % (headers.get("content-length"), len(raw)))
        check(re.fullmatch(r"/queue/tavrin\.e2e\.\w+\.replies\.t0", headers.get("reply-to", "")),
              "a request's reply-to is %r" % headers.get("reply-to"))
        check(request.get("msgType") == "tavrinPluginRequest" and request.get("code") == "check",
              "a request is not a check request: %r" % request)
    steps = [PythonCheckService.read(request)[0] for _, _, request in service.received]
    check(steps == [1, 2], "the requests' steps were %r" % steps)


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

    _, (terminal,) = python_service_check(args, broker, answer_twice)
    # The last copy may come while the terminal is already closing the connection.
    check(terminal.count(r"^\[answer\]\s+to #1 ") == 3 and terminal.count(r"^\[answer\]\s+to #2 ") >= 1,
          "the terminal did not receive the copies")


def shared_check(args, broker):
    def answer_with_strangers(service, reply_to, request):
        step, _ = service.read(request)
        # An answer for a terminal that is not there, with other values, on the same topic.
        stranger = str((int(request["uid"]) + 7919) % (2 ** 63))
        foreign = [{"name": "surname", "title": "Фамилия", "type": "string", "value": "Чужая",
                    "isEditable": True, "isVisible": True}]
        service.publish(reply_to, service.answer_for(request, uid=stranger, parameters=foreign))
        service.publish(reply_to, service.answer_for(request))

    _, terminals = python_service_check(args, broker, answer_with_strangers, terminals=2, shared=True)
    for terminal in terminals:
        check(terminal.count(r"^\[answer\]\s+to no known request ") >= 2,
              "%s saw no answers for another terminal" % terminal.name)


def broker_script(args, command):
    started = time.monotonic()
    result = subprocess.run([args.broker_script, command], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    print("%6.2f broker.sh %s (%.1f s): %s" % (time.monotonic() - STARTED, command,
                                               time.monotonic() - started,
                                               result.stdout.decode("utf-8", "replace").strip()), flush=True)
    return result.returncode


def restart_check(args, broker):
    status = subprocess.run([args.broker_script, "status"], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    if status.returncode != 0 or ("127.0.0.1:%d" % broker.port) not in status.stdout.decode():
        print("skipped: the broker at %s was not started by scripts/broker.sh, so it cannot be "
              "restarted here" % broker.address)
        return SKIP

    requests, reply = destinations()
    lost = os.path.join(args.scenarios, "service-no-answer.json")
    passport = os.path.join(args.scenarios, "454-passport.json")
    # The service leaves its first request unanswered, as if the outage had lost the answer,
    # and answers the others. The first terminal waits 15 s, so that it is still waiting while
    # the broker stops, whatever the broker's pace.
    service = start_service(args, broker, lost, requests)
    terminals = []
    try:
        first = Program("terminal1", terminal_argv(args, broker, lost, requests, reply("t1"),
                                                   scale="0.25"))
        terminals.append(first)
        service.wait_for(r"^\[request\]\s+#1 from ")
        try:
            check(broker_script(args, "stop") == 0, "scripts/broker.sh stop failed")
        finally:
            # The broker is left running for whatever comes next, whatever happened here.
            restarted = broker_script(args, "start") == 0
        check(restarted, "scripts/broker.sh start failed after the stop")

        code = first.finish()
        check(code == 0, "the terminal whose broker went away ended with %r" % code)
        check(first.count(r"^\[broker\]\s+connection lost") >= 1,
              "the first terminal did not notice the broker going away")
        check(first.count(r"^\[message\]\s+\"Превышен интервал ожидания ответа от сервера\"") == 1,
              "the first terminal did not show the waiting message's time-out")
        if first.count(r"^\[broker\]\s+connected again"):
            print("the first terminal was connected again before its dialogue ended")

        # The service's reconnection waits out its back-off, at most 10 s.
        service.wait_for(r"^\[broker\]\s+connected to ", times=2, seconds=READY_SECONDS)
        second = Program("terminal2", terminal_argv(args, broker, passport, requests, reply("t2")))
        terminals.append(second)
        code = second.finish()
        check(code == 0, "the dialogue after the restart ended with %r" % code)
        stop_service(service, 3)
    finally:
        for terminal in terminals:
            terminal.kill()
        service.kill()


def idle_check(args, broker):
    requests, reply = destinations()
    lost = os.path.join(args.scenarios, "service-no-answer.json")
    passport = os.path.join(args.scenarios, "454-passport.json")
    beat = ["--heart-beat", str(IDLE_BEAT_MS)]
    # The service leaves the first request unanswered and answers the others.
    service = Program("service", [args.service, *broker.arguments(), *beat, "--scenario", lost,
                                  "--time-scale", TIME_SCALE, "--request-destination", requests])
    terminals = []
    try:
        service.wait_for(r"^\[broker\]\s+connected to ")
        idle_since = time.monotonic()
        first = Program("terminal1", terminal_argv(args, broker, lost, requests, reply("t1"), *beat,
                                                   scale=IDLE_SCALE))
        terminals.append(first)
        code = first.finish()
        idle = time.monotonic() - idle_since
        check(code == 0, "the terminal that waited ended with %r" % code)
        check(first.count(r"^\[message\]\s+\"Превышен интервал ожидания ответа от сервера\"") == 1,
              "the waiting terminal did not show the waiting message's time-out")
        check(idle > 3 * IDLE_BEAT_MS / 1000.0,
              "the idle spell lasted %.1f s, not over three heart-beats" % idle)
        second = Program("terminal2", terminal_argv(args, broker, passport, requests, reply("t2"), *beat))
        terminals.append(second)
        check(second.finish() == 0, "the dialogue after the idle spell did not complete")
        for program in [service, *terminals]:
            check(program.count(r"connection lost") == 0,
                  "%s lost its connection while idle" % program.name)
        print("idle for %.1f s on a %d ms heart-beat" % (idle, IDLE_BEAT_MS))
        stop_service(service, 3)
    finally:
        for terminal in terminals:
            terminal.kill()


def checked_service(args, broker, requests, fault=None):
    argv = [args.service, *broker.arguments(), "--scenario", args.scenario, "--time-scale",
            TIME_SCALE, "--request-destination", requests]
    service = Program("service", argv + (["--fault", fault] if fault else []))
    service.wait_for(r"^\[broker\]\s+connected to ")
    return service


def servicecheck_check(args, broker):
    requests, reply = destinations()
    service = checked_service(args, broker, requests, args.fault)
    try:
        checker = Program("checker", [args.checker, *broker.arguments(), "--time-scale", TIME_SCALE,
                                      "--scenario", args.scenario, "--request-destination", requests,
                                      "--reply-destination", reply("c")])
        code = checker.finish()
        if args.fault:
            check(code == 1, "the checker ended with %r against the fault %s, not 1" % (code, args.fault))
            check(checker.count(r"^  VIOLATION %s:" % re.escape(args.rule)) >= 1,
                  "the checker did not name the rule %s" % args.rule)
        else:
            check(code == 0, "the checker ended with %r against the sound service, not 0" % code)
            check(checker.count(r"^PASS") == 1, "the checker printed no PASS")
        stop_service(service)
    finally:
        service.kill()


def load_check(args, broker):
    requests, reply = destinations()
    service = checked_service(args, broker, requests)
    try:
        for extra in ([], ["--ceiling"]):
            load = Program("load", [args.checker, *broker.arguments(), "--time-scale", TIME_SCALE,
                                    "--scenario", args.scenario, "--request-destination", requests,
                                    "--reply-destination", reply("load"), "--terminals", "3",
                                    "--dialogues", "4", *extra])
            code = load.finish()
            check(code == 0, "the load run %s ended with %r" % (" ".join(extra), code))
            check(load.count(r"^RESULT terminals=3 dialogues=12 .* lost=0 duplicated=0 late=0 "
                             r"foreign=0 errors=0$") == 1, "the load run did not do its 12 dialogues cleanly")
        stop_service(service, 24)
    finally:
        service.kill()


CHECKS = {
    "scenario": scenario_check,
    "python-service": python_check,
    "duplicate": duplicate_check,
    "shared": shared_check,
    "restart": restart_check,
    "idle": idle_check,
    "servicecheck": servicecheck_check,
    "load": load_check,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("check", choices=sorted(CHECKS))
    parser.add_argument("--terminal", required=True)
    parser.add_argument("--service")
    parser.add_argument("--scenario")
    parser.add_argument("--scenarios")
    parser.add_argument("--broker-script")
    parser.add_argument("--checker")
    parser.add_argument("--fault")
    parser.add_argument("--rule")
    args = parser.parse_args()

    address = os.environ.get("TAVRIN_BROKER", "")
    if not address:
        print("skipped: no broker (set TAVRIN_BROKER=HOST:PORT, see scripts/broker.sh)")
        return SKIP
    if args.check not in ("scenario", "restart", "idle", "servicecheck", "load"):
        try:
            import stomp  # noqa: F401
        except ImportError:
            print("skipped: python3-stomp is not installed for /usr/bin/python3")
            return SKIP

    started = time.monotonic()
    try:
        result = CHECKS[args.check](args, Broker(address))
    except Failure as failure:
        print("FAIL: %s" % failure)
        print("0 passed, 1 failed")
        return 1
    if result == SKIP:
        return SKIP
    print("%s took %.1f s" % (args.check, time.monotonic() - started))
    print("1 passed, 0 failed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
