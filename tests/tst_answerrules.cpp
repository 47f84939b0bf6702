#include <QtCore/QJsonDocument>
#include <QtTest/QtTest>

#include "answerrules.h"
#include "answerwatch.h"

// The service checker names the rule each faulty answer breaks, and only that rule: a sound
// answer, or an odd one the plugin still acts on correctly, is never a violation.
class tst_AnswerRules : public QObject
{
    Q_OBJECT

private slots:
    void check_data();
    void check();
    void exchange();
};

namespace {

const QString Uid = QStringLiteral("5550001");
const QString Type = QStringLiteral("tavrinPluginRequest");
const QString Absent = QStringLiteral("<absent>");

QVariantMap json(const char *text)
{
    return QJsonDocument::fromJson(QByteArray(text)).toVariant().toMap();
}

// Overrides a map's keys; the value Absent removes a key.
QVariantMap patched(QVariantMap map, const QVariantMap &patch)
{
    for (auto it = patch.cbegin(); it != patch.cend(); ++it) {
        if (it.value().toString() == Absent)
            map.remove(it.key());
        else
            map.insert(it.key(), it.value());
    }
    return map;
}

// A sound answer to a request of that step for the 454 provider, with the patches applied.
QVariantMap answer(int step, const QVariantMap &bodyPatch, const QVariantMap &stepPatch)
{
    const QVariantList asked = json(R"({"l": [
        {"name": "surname", "value": "Иванова", "isEditable": false},
        {"name": "ID_serie", "value": "4510"}, {"name": "ID_number", "value": 123456},
        {"name": "smscode", "title": "Код", "type": "string", "isEditable": true, "value": null}]})")["l"].toList();
    const QVariantList completion = json(R"({"l": [{"name": "name", "value": "Мария"},
        {"name": "patronymic", "value": "Сергеевна"}]})")["l"].toList();
    const QVariantMap params{{"isCompleted", true}, {"isError", false}, {"statusDescription", ""},
                             {"currentStep", step}, {"payParamList", step == 1 ? asked : completion}};
    const QVariantMap body{{"msgType", Type}, {"uid", Uid}, {"error", false}, {"result", 0},
                           {"description", ""}, {"params", patched(params, stepPatch)}};
    return {{"message", patched(body, bodyPatch)}};
}

AnswerRules::Expectation expectation(int step)
{
    AnswerRules::Expectation expected;
    expected.uid = Uid;
    expected.messageType = Type;
    expected.step = step;
    expected.providerId = 71000454;
    expected.baseProviderId = 454;
    expected.providerParameters = QStringList{"phone", "fam", "name", "fname", "passport"};
    expected.firstParameters = answer(1, {}, {})["message"].toMap()["params"].toMap()["payParamList"].toList();
    return expected;
}

QVariantList nested(int depth)
{
    QVariantMap entry{{"name", "leaf"}};
    for (int i = 0; i < depth; ++i)
        entry = QVariantMap{{"name", QStringLiteral("level%1").arg(i)}, {"paramList", QVariantList{entry}}};
    return entry["paramList"].toList();
}

} // namespace

void tst_AnswerRules::check_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<QVariantMap>("body");
    QTest::addColumn<QVariantMap>("params");
    QTest::addColumn<QStringList>("rules");

    const QVariantMap none;
    const QVariantList enumWithoutChoices{QVariantMap{{"name", "doc"}, {"type", "enum"}, {"isEditable", false}}};
    QTest::newRow("sound first answer") << 1 << none << none << QStringList();
    QTest::newRow("sound completing answer") << 2 << none << none << QStringList();
    QTest::newRow("a failure asks for nothing")
        << 1 << QVariantMap{{"error", true}, {"result", 5}} << QVariantMap{{"payParamList", QVariantList()}} << QStringList();
    QTest::newRow("message is text") << 1 << QVariantMap() << none << QStringList();
    QTest::newRow("uid as a number") << 1 << QVariantMap{{"uid", 5550001}} << none << QStringList{"uid-echo"};
    QTest::newRow("another uid") << 1 << QVariantMap{{"uid", "5550002"}} << none << QStringList{"uid-echo"};
    QTest::newRow("no message type") << 1 << QVariantMap{{"msgType", Absent}} << none << QStringList{"type-echo"};
    QTest::newRow("no error flag") << 1 << QVariantMap{{"error", Absent}} << none << QStringList{"error-flag"};
    QTest::newRow("result as text") << 1 << QVariantMap{{"result", "0"}} << none << QStringList{"result-code"};
    QTest::newRow("result with a fraction") << 1 << QVariantMap{{"result", 0.5}} << none << QStringList{"result-code"};
    QTest::newRow("result beyond 32 bits") << 1 << QVariantMap{{"result", 4294967296.0}} << none << QStringList{"result-code"};
    QTest::newRow("description a number") << 1 << QVariantMap{{"description", 3}} << none << QStringList{"text-field"};
    QTest::newRow("success without params") << 1 << QVariantMap{{"params", Absent}} << none << QStringList{"params-map"};
    QTest::newRow("params a list") << 1 << QVariantMap{{"params", QVariantList()}} << none << QStringList{"params-map"};
    QTest::newRow("isCompleted as text") << 1 << none << QVariantMap{{"isCompleted", "true"}} << QStringList{"step-flags"};
    QTest::newRow("no isError") << 1 << none << QVariantMap{{"isError", Absent}} << QStringList{"step-flags"};
    QTest::newRow("step as text") << 1 << none << QVariantMap{{"currentStep", "1"}} << QStringList{"current-step"};
    QTest::newRow("second step's answer says step 1") << 2 << none << QVariantMap{{"currentStep", 1}} << QStringList{"current-step"};
    QTest::newRow("parameter list a map") << 1 << none << QVariantMap{{"payParamList", QVariantMap{{"smscode", QVariantMap()}}}}
                                          << QStringList{"param-list", "first-asks"};
    QTest::newRow("entry without a name")
        << 1 << none << QVariantMap{{"payParamList", QVariantList{QVariantMap{{"isEditable", true}}}}} << QStringList{"param-name"};
    QTest::newRow("entry's value a map")
        << 1 << none << QVariantMap{{"payParamList", QVariantList{QVariantMap{{"name", "a"}, {"isEditable", true}, {"value", QVariantMap()}}}}}
        << QStringList{"param-fields"};
    QTest::newRow("enum without choices") << 1 << none << QVariantMap{{"payParamList", enumWithoutChoices}} << QStringList{"enum-choices"};
    QTest::newRow("choices 32 levels deep")
        << 1 << none << QVariantMap{{"payParamList", QVariantList{QVariantMap{{"name", "a"}, {"isEditable", true}, {"paramList", nested(32)}}}}}
        << QStringList();
    QTest::newRow("choices 33 levels deep")
        << 1 << none << QVariantMap{{"payParamList", QVariantList{QVariantMap{{"name", "a"}, {"isEditable", true}, {"paramList", nested(33)}}}}}
        << QStringList{"nesting-depth"};
    QTest::newRow("first answer with nothing editable")
        << 1 << none << QVariantMap{{"payParamList", QVariantList{QVariantMap{{"name", "surname"}, {"value", "Иванова"}}}}}
        << QStringList{"first-asks"};
    QTest::newRow("first answer completing the check") << 1 << none << QVariantMap{{"currentStep", 2}}
                                                       << QStringList{"current-step", "first-asks"};
    QTest::newRow("completion without the patronymic")
        << 2 << none << QVariantMap{{"payParamList", QVariantList{QVariantMap{{"name", "name"}, {"value", "Мария"}}}}}
        << QStringList{"completion-values"};
    QTest::newRow("completion emptying the series")
        << 2 << none
        << QVariantMap{{"payParamList", QVariantList{QVariantMap{{"name", "name"}, {"value", "Мария"}},
                                                    QVariantMap{{"name", "patronymic"}, {"value", "С."}},
                                                    QVariantMap{{"name", "ID_serie"}, {"value", ""}}}}}
        << QStringList{"completion-values"};
}

void tst_AnswerRules::check()
{
    QFETCH(int, step);
    QFETCH(QVariantMap, body);
    QFETCH(QVariantMap, params);
    QFETCH(QStringList, rules);

    QVariantMap given = answer(step, body, params);
    if (QString::fromLatin1(QTest::currentDataTag()) == QLatin1String("message is text")) {
        given.insert("message", "{}");
        rules = QStringList{"message-map"};
    }
    QStringList found;
    for (const AnswerRules::Violation &violation : AnswerRules::check(given, expectation(step))) {
        QVERIFY2(!violation.sentence.isEmpty(), qPrintable(violation.rule + " has no sentence"));
        found.append(violation.rule);
    }
    found.removeDuplicates();
    found.sort();
    rules.sort();
    QCOMPARE(found, rules);
}

void tst_AnswerRules::exchange()
{
    AnswerWatch watch(60000);
    QStringList found;
    connect(&watch, &AnswerWatch::violated, this, [&found](const AnswerRules::Violation &violation) {
        found.append(violation.rule);
    });
    QVariantList forwarded;
    connect(&watch, &AnswerWatch::messageReceived, this, [&forwarded](const QVariantMap &answer) {
        forwarded.append(answer);
    });
    AnswerWatch::Provider provider;
    provider.id = 71000454;
    watch.beginDialogue("454", provider);
    const QString checkdata = QStringLiteral(R"({"currentStep":"1","payParamList":[{"name":"msisdn","value":"79161234567"}]})");
    watch.send({{"uid", Uid}, {"msgType", Type}, {"code", "check"}, {"params", QVariantMap{{"checkdata", checkdata}}}});

    watch.takeAnswer(answer(1, {}, {}));
    QVERIFY2(found.isEmpty(), qPrintable(found.join(", ")));
    watch.takeAnswer(answer(1, {}, {}));
    QCOMPARE(found, QStringList{"answer-once"});
    watch.takeAnswer(answer(1, QVariantMap{{"uid", "999"}}, {}));
    QCOMPARE(found, (QStringList{"answer-once", "answer-solicited"}));
    watch.takeUnreadable("not json");
    QCOMPARE(found.last(), QStringLiteral("answer-json"));
    QVERIFY2(forwarded.size() == 3, "every answer reaches the plugin, which drops what is not its own");
}

QTEST_GUILESS_MAIN(tst_AnswerRules)
#include "tst_answerrules.moc"
