#!/usr/bin/env python3
"""A check service written from README's "Writing a check service" alone, with texts of its own:
the service a vendor would bring to tavrin-servicecheck. One JSON request a line in, one JSON
answer a line out.

The code "1111" is wrong, as is any that is not four digits; every other code is right.
For the checker's own tests: --crash-after N exits with code 3 after N answers, complaining on
standard error; --refuse fails every first step with result 7.
"""
import argparse
import json
import sys

WRONG_CODE = "1111"

PERSON = [
    {"name": "surname", "title": "Фамилия клиента", "type": "string", "value": "Сергеева", "isEditable": False},
    {"name": "name", "title": "Имя клиента", "type": "string", "value": "Анна", "isEditable": False},
    {"name": "patronymic", "title": "Отчество клиента", "type": "string", "value": "Петровна", "isEditable": False},
    {"name": "ID_serie", "title": "Серия документа", "type": "string", "value": "4603", "isEditable": False},
    {"name": "ID_whome", "title": "Кем выдан", "type": "string", "value": "ОВД Тверского р-на", "isEditable": False},
    {"name": "birthday", "title": "Дата рождения", "type": "string", "value": "12.05.1985", "isEditable": False},
    {"name": "ID_date", "title": "Дата выдачи", "type": "string", "value": "20.06.2005", "isEditable": False},
]


def asked():
    return PERSON + [
        # The customer may correct the number on the keypad.
        {"name": "ID_number", "title": "Номер документа (6 цифр)", "type": "string", "value": "118822",
         "regexp": "^\\d{6}$", "isEditable": True},
        {"name": "delivery", "title": "Куда прислать чек", "type": "enum", "isEditable": False, "paramList": [
            {"name": "sms", "paramList": [{"name": "how", "title": "Чек", "value": "по SMS"}]},
            {"name": "none", "paramList": [{"name": "how", "title": "Чек", "value": "не нужен"}]},
        ]},
        {"name": "smscode", "title": "Пароль из сообщения", "type": "string", "isEditable": True,
         "regexp": "^\\d{4}$"},
    ]


def answer(request, refuse):
    checkdata = json.loads(request["params"]["checkdata"])
    step = checkdata["currentStep"]
    values = {entry["name"]: entry["value"] for entry in checkdata["payParamList"]}
    body = {"uid": request["uid"], "msgType": request["msgType"], "error": False, "result": 0,
            "description": "", "resultDescription": ""}
    if step == "1" and refuse:
        body["error"], body["result"] = True, 7
        body["params"] = {"isCompleted": False, "isError": False, "currentStep": 1, "payParamList": []}
    elif step == "1":
        body["params"] = {"isCompleted": True, "isError": False, "statusDescription": "",
                          "currentStep": 1, "payParamList": asked()}
    else:
        code = values.get("smscode") or ""
        if code == WRONG_CODE or len(code) != 4 or not code.isdigit():
            body["error"] = True
            body["params"] = {"isCompleted": False, "isError": True, "currentStep": 2, "payParamList": [],
                              "statusDescription": "Пароль не подошёл. Введите пароль из сообщения ещё раз"}
        else:
            body["params"] = {"isCompleted": True, "isError": False, "statusDescription": "",
                              "currentStep": 2, "payParamList": []}
    return {"message": body}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--crash-after", type=int, default=-1)
    parser.add_argument("--refuse", action="store_true")
    options = parser.parse_args()
    answered = 0
    for line in sys.stdin:
        if answered == options.crash_after:
            sys.stderr.write("vendor service: cannot reach the customer database\n")
            sys.exit(3)
        if not line.strip():
            continue
        sys.stdout.write(json.dumps(answer(json.loads(line), options.refuse), ensure_ascii=False) + "\n")
        sys.stdout.flush()
        answered += 1


if __name__ == "__main__":
    main()
