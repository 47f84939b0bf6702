#!/usr/bin/env python3
"""Seeds for the plugin's fuzz targets, taken from the shipped scenarios.

Each scenario in sim/scenarios/*.json gives the answers its check service sends (the first
step with the parameters it asks, the completion, and the errors its script plays) and the
dialogue its customer plays. They are written as
  <out>/answerjson/   the answers as JSON text,
  <out>/dialogue/     the dialogues as events for fuzz_dialogue (see fuzz/dialoguerig.h and
                      fuzz/answerdecoder.cpp for the numbers used here).

usage: fuzzseeds.py [--scenarios DIR] [--out DIR]
"""

import argparse
import glob
import json
import os

MESSAGE_TYPE = "tavrinPluginRequest"

# --- answers -------------------------------------------------------------------------------


def answer(uid, step, completed=True, is_error=False, params=None, error=False, result=0,
           description="", status=""):
    return {"message": {
        "msgType": MESSAGE_TYPE, "uid": uid, "error": error, "result": result,
        "description": description, "resultDescription": "",
        "params": {"isCompleted": completed, "isError": is_error, "statusDescription": status,
                   "currentStep": step, "payParamList": params or []}}}


def rule_answer(rule, uid, step, service):
    kind = rule.get("answer", "normal")
    if kind == "resultError":
        return answer(uid, step, result=rule.get("result", 1),
                      description=rule.get("description", ""))
    if kind == "error":
        return answer(uid, step, completed=False, error=True,
                      description=rule.get("description", ""))
    if kind == "stepError":
        return answer(uid, step, completed=False, is_error=True,
                      status=rule.get("statusDescription", ""))
    if kind == "incomplete":
        return answer(uid, step, completed=False)
    if kind == "none":
        return None
    if step == 1:
        return answer(uid, 1, params=service.get("parameters", []))
    return answer(uid, 2, params=service.get("completion", []))


def scenario_answers(scenario):
    service = scenario["service"]
    answers = {"first-step": answer("1", 1, params=service.get("parameters", [])),
               "completion": answer("2", 2, params=service.get("completion", []))}
    if service.get("smsCode"):
        answers["wrong-code"] = answer("2", 2, completed=False, is_error=True,
                                       status=service.get("wrongCodeDescription",
                                                          "Неверный код подтверждения"))
    for rule in service.get("script", []):
        made = rule_answer(rule, str(rule.get("request", 1)), min(rule.get("request", 1), 2),
                           service)
        if made is not None:
            answers["rule%d-%s" % (rule.get("request", 0), rule.get("answer", "normal"))] = made
    return answers


# --- dialogue events -------------------------------------------------------------------------

(START, SHOW_INIT, STOP, NEXT_TYPED, NEXT_SIGNALLED, BACK, CHOOSE, CLOSE_MESSAGE, ANSWER,
 ANSWER_AGAIN, TURN, DELETE_VIEWER, CALL_SLOT, DELETE_HANDLER) = range(14)
CODE_INDEX = {0: 0, 1: 1, 2: 2, -1: 3}
MAIN_MESSAGE, HELPER_MESSAGE = 0, 1


def text(value):
    data = str(value).encode("utf-8")[:255]
    return bytes([255, len(data)]) + data


def flag(value):
    if value is None:
        return bytes([0])
    return bytes([{True: 1, False: 2, "true": 3, "false": 4}.get(value, 1 if value else 2)])


def number(value):
    fixed = {None: 0, 0: 1, 1: 2, 2: 3, -1: 4, "0": 6, "1": 7, "2": 10}
    if isinstance(value, int) and not isinstance(value, bool) and value not in fixed:
        return bytes([5, value & 0xff])
    return bytes([fixed.get(value, 0)])


def field_text(value):
    if value is None:
        return bytes([0])
    return bytes([1]) + text(value)


def field_value(value):
    if value is None:
        return bytes([0])
    if isinstance(value, bool):
        return bytes([6])
    if isinstance(value, int) and 0 <= value < 256:
        return bytes([2, value])
    return bytes([1]) + text(value)


def param_list(entries, depth):
    if entries is None:
        return bytes([0])
    entries = entries[:254]
    out = bytes([3, len(entries)])
    for entry in entries:
        out += bytes([0]) + parameter(entry, depth)
    return out


def parameter(entry, depth):
    out = (field_text(entry.get("name")) + field_text(entry.get("title"))
           + field_text(entry.get("type")) + field_value(entry.get("value"))
           + field_text(entry.get("regexp")) + field_text(entry.get("mask"))
           + flag(entry.get("isEditable")) + flag(entry.get("isVisible")))
    if depth < 4:
        out += param_list(entry.get("paramList"), depth + 1)
    return out


def event_answer(message):
    """The answer to the request pending, with the fields of message."""
    body = message["message"]
    step = body.get("params")
    out = bytes([ANSWER, 0, 0, 0])  # a body under "message"; our type; the pending uid
    out += flag(body.get("error")) + number(body.get("result"))
    out += field_text(body.get("description")) + field_text(body.get("resultDescription"))
    if step is None:
        return out + bytes([0])
    out += bytes([1]) + flag(step.get("isCompleted")) + flag(step.get("isError"))
    out += field_text(step.get("statusDescription")) + number(step.get("currentStep"))
    out += param_list(step.get("payParamList"), 0)
    return out


def scenario_dialogue(scenario):
    service = scenario["service"]
    rules = {rule.get("request", 0): rule for rule in service.get("script", [])}
    provider = 1 if scenario["provider"].get("baseId") == 3105 else 0
    out = bytes([START, provider, SHOW_INIT, TURN])
    inputs = scenario["customer"]["inputs"]
    requests = 0

    def send(sms_text=None):
        nonlocal out, requests
        requests += 1
        rule = rules.get(requests)
        if rule is not None:
            made = rule_answer(rule, "", min(requests, 2), service)
        elif requests == 1:
            made = answer("", 1, params=service.get("parameters", []))
        elif service.get("smsCode") and sms_text is not None and sms_text != service["smsCode"]:
            made = answer("", 2, completed=False, is_error=True,
                          status=service.get("wrongCodeDescription", ""))
        else:
            made = answer("", 2, params=service.get("completion", []))
        if made is not None:
            out += event_answer(made)
            for _ in range(rule.get("duplicates", 0) if rule else 0):
                out += bytes([ANSWER_AGAIN])
        out += bytes([TURN])

    for index, step in enumerate(inputs):
        following = inputs[index + 1] if index + 1 < len(inputs) else None
        if "message" in step:
            action = step["message"]
            helper = step.get("expect", {}).get("buttons") == "yesno"
            which = HELPER_MESSAGE if helper else MAIN_MESSAGE
            if action == "wait":
                # The waiting message runs out, then the time-out message does.
                out += bytes([CLOSE_MESSAGE, MAIN_MESSAGE, CODE_INDEX[0], TURN])
                out += bytes([CLOSE_MESSAGE, MAIN_MESSAGE, CODE_INDEX[0], TURN])
            else:
                code = 0 if action == "no" else 1
                out += bytes([CLOSE_MESSAGE, which, CODE_INDEX[code], TURN])
            continue
        if step.get("back"):
            out += bytes([BACK, TURN])
            continue
        if "choose" in step:
            position = step["choose"] if isinstance(step["choose"], int) else 1
            out += bytes([CHOOSE, position, TURN])
        else:
            out += bytes([NEXT_TYPED]) + text(step.get("text", "")) + bytes([TURN])
            if step.get("refused"):
                continue
        last_screen = following is None or "message" in following
        if step.get("screen") == "phone" or last_screen:
            send(step.get("text") if step.get("screen") == "smscode" else None)
    return out + bytes([STOP, TURN])


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--scenarios", default=os.path.join(root, "sim", "scenarios"))
    parser.add_argument("--out", default=os.path.join(root, "fuzz", "corpus"))
    args = parser.parse_args()

    for target in ("answerjson", "dialogue"):
        os.makedirs(os.path.join(args.out, target), exist_ok=True)
    written = 0
    seen = set()

    def write(target, seed, data):
        nonlocal written
        # Scenarios of one provider share their service: one copy of each seed is enough.
        if (target, data) in seen:
            return
        seen.add((target, data))
        with open(os.path.join(args.out, target, seed), "wb") as handle:
            handle.write(data)
        written += 1

    for path in sorted(glob.glob(os.path.join(args.scenarios, "*.json"))):
        with open(path, encoding="utf-8") as handle:
            scenario = json.load(handle)
        name = os.path.splitext(os.path.basename(path))[0]
        for kind, made in scenario_answers(scenario).items():
            seed = "%s-%s" % (name, kind)
            write("answerjson", seed + ".json",
                  json.dumps(made, ensure_ascii=False).encode("utf-8"))
        write("dialogue", name + ".bin", scenario_dialogue(scenario))
    print("%d seeds written to %s" % (written, args.out))


if __name__ == "__main__":
    main()
