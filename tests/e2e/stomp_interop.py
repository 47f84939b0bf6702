#!/usr/bin/python3
"""Our STOMP transport against a real broker and a client we did not write.

python3-stomp plays the check service; the terminal's end is the stompterminal program, which
uses StompBus. A request map goes out, the service answers to its reply-to, and the answer map
must arrive intact, Cyrillic text included. Before the answer the service sends a body that is
not JSON, which the terminal must acknowledge and drop; afterwards nothing may be left on the
reply queue, so both were acknowledged.

Runs only when a broker is up: TAVRIN_BROKER=HOST:PORT (scripts/broker.sh start prints it), with
TAVRIN_BROKER_VHOST, TAVRIN_BROKER_LOGIN and TAVRIN_BROKER_PASSCODE (default "/", guest, guest).
Without it the test exits 77, which ctest reports as skipped.

Usage: stomp_interop.py PATH_TO_STOMPTERMINAL
"""
import json
import os
import queue
import subprocess
import sys
import time
import uuid

SKIP = 77


def main():
    broker = os.environ.get("TAVRIN_BROKER", "")
    if not broker:
        print("skipped: no broker (set TAVRIN_BROKER=HOST:PORT, see scripts/broker.sh)")
        return SKIP
    try:
        import stomp
    except ImportError:
        print("skipped: python3-stomp is not installed for /usr/bin/python3")
        return SKIP

    terminal = sys.argv[1]
    host, port = broker.rsplit(":", 1)
    vhost = os.environ.get("TAVRIN_BROKER_VHOST", "/")
    login = os.environ.get("TAVRIN_BROKER_LOGIN", "guest")
    passcode = os.environ.get("TAVRIN_BROKER_PASSCODE", "guest")
    # Queues of their own, so that nothing left by an earlier run is read.
    tag = uuid.uuid4().hex[:12]
    requests_dest = "/queue/tavrin.e2e.requests." + tag
    replies_dest = "/queue/tavrin.e2e.replies." + tag

    class Listener(stomp.ConnectionListener):
        def __init__(self):
            self.messages = queue.Queue()

        def on_message(self, frame):
            self.messages.put(frame)

    def connect(listener):
        conn = stomp.Connection12([(host, int(port))], heartbeats=(10000, 10000), vhost=vhost)
        conn.set_listener("", listener)
        conn.connect(login, passcode, wait=True)
        return conn

    service = Listener()
    conn = connect(service)
    conn.subscribe(requests_dest, id="service", ack="client-individual")

    request = {
        "providerId": 71000454,
        "code": "check",
        "rekv": "",
        "msgType": "tavrinPluginRequest",
        "uid": "-4611686018427387904",
        "currencyId": 643,
        "summ": 0,
        "commission": 0,
        "params": {"checkdata": json.dumps(
            {"currentStep": "2", "payParamList": [{"name": "fam", "value": "Ёлкина-Щукина"}]},
            ensure_ascii=False, separators=(",", ":"))},
    }
    process = subprocess.Popen(
        [terminal, "--broker", broker, "--vhost", vhost, "--login", login, "--passcode", passcode,
         "--requests", requests_dest, "--replies", replies_dest,
         "--request", json.dumps(request, ensure_ascii=False)],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    failures = []

    def check(condition, what):
        if not condition:
            failures.append(what)
            print("FAIL: " + what)

    try:
        frame = service.messages.get(timeout=20)
    except queue.Empty:
        process.kill()
        out, err = process.communicate()
        print("FAIL: no request reached the service\n" + err.decode("utf-8", "replace"))
        return 1

    headers, body = frame.headers, frame.body
    raw = body.encode("utf-8") if isinstance(body, str) else body
    check(headers.get("content-type") == "application/json;charset=utf-8",
          "content-type is %r" % headers.get("content-type"))
    check(headers.get("reply-to") == replies_dest, "reply-to is %r" % headers.get("reply-to"))
    check(int(headers.get("content-length", "-1")) == len(raw),
          "content-length %r for %d bytes" % (headers.get("content-length"), len(raw)))
    check(b"\0" not in raw, "the request body holds a NUL")
    check(json.loads(raw.decode("utf-8")) == request, "the request changed on the way: %r" % raw)
    conn.ack(headers["ack"])

    reply_to = headers.get("reply-to", replies_dest)
    conn.send(reply_to, "not json", content_type="text/plain")
    answer = {
        "message": {
            "msgType": "tavrinPluginRequest",
            "uid": request["uid"],
            "error": False,
            "result": 0,
            "description": "Проверка пройдена",
            "resultDescription": "",
            "params": {
                "isCompleted": True,
                "isError": False,
                "currentStep": 2,
                "statusDescription": "Ёлкина-Щукина: данные подтверждены",
                "payParamList": [
                    {"name": "fam", "title": "Фамилия", "type": "string",
                     "value": "Ёлкина-Щукина", "isEditable": False, "isVisible": True},
                ],
            },
        }
    }
    conn.send(reply_to, json.dumps(answer, ensure_ascii=False),
              content_type="application/json;charset=utf-8")

    try:
        out, err = process.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        process.kill()
        out, err = process.communicate()
    check(process.returncode == 0, "the terminal exited with %r: %s"
          % (process.returncode, err.decode("utf-8", "replace")))
    lines = out.decode("utf-8").splitlines()
    check(len(lines) == 1, "the terminal printed %d answers, not 1" % len(lines))
    if lines:
        check(json.loads(lines[0]) == answer, "the answer changed on the way: %s" % lines[0])
    check("not a JSON object" in err.decode("utf-8", "replace"),
          "the terminal did not report the body that is not JSON")
    conn.disconnect()

    # Both answers were acknowledged, so the broker has nothing left to give a new consumer.
    leftover = Listener()
    late = connect(leftover)
    late.subscribe(replies_dest, id="leftover", ack="client-individual")
    time.sleep(1.0)
    check(leftover.messages.empty(), "an answer stayed unacknowledged on " + replies_dest)
    late.disconnect()

    if failures:
        print("0 passed, 1 failed")
        return 1
    print("1 passed, 0 failed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
