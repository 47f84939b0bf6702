#include <QtCore/QJsonDocument>
#include <QtTest/QtTest>

#include "answerrules.h"
#include "answerwatch.h"
#include "tavrincheckanswer.h"

// The service checker names the rule each faulty answer breaks, and only that rule: a sound
// answer, or an odd one the plugin still acts on correctly, is never a violation, and a field
// in another form that the plugin reads the same is a note.
class tst_AnswerRules : public QObject
{
    Q_OBJECT

private slots:
    void check_data();
    void check();
    void readsAsThePluginReads_data();
    void readsAsThePluginReads();
    void digitsFit_data();
    void digitsFit();
    void nestingBoundIsThePlugins();
    void rulesMet();
    void exchange();
    void waiting();
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

AnswerRules::Expectation expectation(int step, qint64 providerId = 71000454, qint64 baseProviderId = 454)
{
    AnswerRules::Expectation expected;
    expected.uid = Uid;
    expected.messageType = Type;
    expected.step = step;
    expected.providerId = providerId;
    expected.baseProviderId = baseProviderId;
    expected.providerParameters = QStringList{"phone", "fam", "name", "fname", "passport"};
    if (providerId == 3105 || baseProviderId == 3105)
        expected.providerParameters << "org_code" << "bdate" << "pas_date" << "card_num";
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
    QTest::addColumn<QStringList>("notes");
    // The provider and its base; a completing answer's violation must name the missing value.
    QTest::addColumn<qint64>("provider");
    QTest::addColumn<qint64>("base");
    QTest::addColumn<QString>("mentions");

    const QVariantMap none;
    const QStringList no;
    const auto row = [&](const char *name, int step, const QVariantMap &body, const QVariantMap &params,
                         const QStringList &rules, const QStringList &notes = QStringList()) {
        QTest::newRow(name) << step << body << params << rules << notes << qint64(71000454) << qint64(454) << QString();
    };
    const auto asked = [](const QVariantList &entries) {
        QVariantList list = entries;
        list.append(QVariantMap{{"name", "smscode"}, {"isEditable", true}});
        return QVariantMap{{"payParamList", list}};
    };
    const QVariantList enumWithoutChoices{QVariantMap{{"name", "doc"}, {"type", "enum"}, {"isEditable", false}}};
    row("sound first answer", 1, none, none, no);
    row("sound completing answer", 2, none, none, no);
    row("a failure asks for nothing", 1, QVariantMap{{"error", true}, {"result", 5}}, QVariantMap{{"payParamList", QVariantList()}}, no);
    row("an error flag beside result 0 fails the step", 1, QVariantMap{{"error", true}},
        QVariantMap{{"currentStep", 3}, {"payParamList", QVariantList()}}, no);
    row("message is text", 1, QVariantMap(), none, no);
    row("uid as a number that reads otherwise", 1, QVariantMap{{"uid", 5.55e6}}, none, {"uid-echo"});
    row("another uid", 1, QVariantMap{{"uid", "5550002"}}, none, {"uid-echo"});
    row("no message type", 1, QVariantMap{{"msgType", Absent}}, none, {"type-echo"});
    row("no error flag", 1, QVariantMap{{"error", Absent}}, none, {"error-flag"});
    row("result as words", 1, QVariantMap{{"result", "OK"}}, none, {"result-code"});
    row("result with a fraction", 1, QVariantMap{{"result", 0.5}}, none, {"result-code"});
    row("result beyond 32 bits", 1, QVariantMap{{"result", 4294967296.0}}, none, {"result-code"});
    row("description a map", 1, QVariantMap{{"description", QVariantMap()}}, none, {"text-field"});
    row("success without params", 1, QVariantMap{{"params", Absent}}, none, {"params-map"});
    row("params a list", 1, QVariantMap{{"params", QVariantList()}}, none, {"params-map"});
    row("isCompleted as 2", 1, none, QVariantMap{{"isCompleted", 2}}, {"step-flags"});
    row("no isError", 1, none, QVariantMap{{"isError", Absent}}, {"step-flags"});
    row("step as a word", 1, none, QVariantMap{{"currentStep", "one"}}, {"current-step", "first-asks"});
    row("second step's answer says step 1", 2, none, QVariantMap{{"currentStep", 1}}, {"current-step"});
    row("parameter list a map", 1, none, QVariantMap{{"payParamList", QVariantMap{{"smscode", QVariantMap()}}}},
        {"param-list", "first-asks"});
    row("entry without a name", 1, none, QVariantMap{{"payParamList", QVariantList{QVariantMap{{"isEditable", true}}}}}, {"param-name"});
    row("entry named by a number", 1, none, asked({QVariantMap{{"name", 7}}}), no, {"param-name"});
    row("entry editable as 1", 1, none, asked({QVariantMap{{"name", "a"}, {"isEditable", 1}, {"regexp", "^\\d+$"}}}), no, {"param-fields"});
    row("entry's value a map", 1, none,
        QVariantMap{{"payParamList", QVariantList{QVariantMap{{"name", "a"}, {"isEditable", true}, {"value", QVariantMap()}}}}},
        {"param-fields"});
    row("enum without choices", 1, none, QVariantMap{{"payParamList", enumWithoutChoices}}, {"enum-choices"});
    row("choices 32 levels deep", 1, none,
        QVariantMap{{"payParamList", QVariantList{QVariantMap{{"name", "a"}, {"isEditable", true}, {"paramList", nested(32)}}}}}, no);
    row("choices 33 levels deep", 1, none,
        QVariantMap{{"payParamList", QVariantList{QVariantMap{{"name", "a"}, {"isEditable", true}, {"paramList", nested(33)}}}}},
        {"nesting-depth"});
    row("first answer with nothing editable", 1, none,
        QVariantMap{{"payParamList", QVariantList{QVariantMap{{"name", "surname"}, {"value", "Иванова"}}}}}, {"first-asks"});
    row("first answer completing the check", 1, none, QVariantMap{{"currentStep", 2}}, {"current-step", "first-asks"});
    row("editable surname in letters", 1, none,
        asked({QVariantMap{{"name", "surname"}, {"isEditable", true}, {"regexp", "^[А-ЯЁ][а-яё-]+$"}}}), {"digits-only"});
    row("editable field with a mask of letters", 1, none, asked({QVariantMap{{"name", "code"}, {"isEditable", true}, {"mask", "AAA"}}}),
        {"digits-only"});
    row("editable digits in a pattern", 1, none,
        asked({QVariantMap{{"name", "ID_serie"}, {"isEditable", true}, {"regexp", "^0[1-9]\\d{2}$"}, {"mask", "9999"}}}), no);
    row("read-only surname in letters", 1, none,
        asked({QVariantMap{{"name", "surname"}, {"regexp", "^[А-ЯЁ]+$"}, {"value", "Иванова"}}}), no);
    row("a letter mask on the last field, which the terminal replaces", 1, none,
        QVariantMap{{"payParamList", QVariantList{QVariantMap{{"name", "smscode"}, {"isEditable", true}, {"mask", "AAAA"}}}}}, no);
    row("a choice whose pattern is letters", 1, none,
        asked({QVariantMap{{"name", "doc"}, {"type", "enum"}, {"isEditable", true}, {"regexp", "^[a-z]+$"},
                           {"paramList", QVariantList{QVariantMap{{"name", "passport"}}}}}}), no);
    row("completion without the patronymic", 2, none,
        QVariantMap{{"payParamList", QVariantList{QVariantMap{{"name", "name"}, {"value", "Мария"}}}}}, {"completion-values"});
    row("completion emptying the series", 2, none,
        QVariantMap{{"payParamList", QVariantList{QVariantMap{{"name", "name"}, {"value", "Мария"}},
                                                  QVariantMap{{"name", "patronymic"}, {"value", "С."}},
                                                  QVariantMap{{"name", "ID_serie"}, {"value", ""}}}}},
        {"completion-values"});

    // The card provider fills the issuer, birthday and passport date too, whether named by its
    // own id or by its base's.
    const QVariantList card{QVariantMap{{"name", "name"}, {"value", "Мария"}}, QVariantMap{{"name", "patronymic"}, {"value", "С."}},
                            QVariantMap{{"name", "birthday"}, {"value", "01.02.1990"}},
                            QVariantMap{{"name", "ID_date"}, {"value", "03.04.2010"}}};
    QVariantList withIssuer = card;
    withIssuer.append(QVariantMap{{"name", "ID_whome"}, {"value", "770-001"}});
    QTest::newRow("3105 partner completing with the issuer")
        << 2 << none << QVariantMap{{"payParamList", withIssuer}} << no << no << qint64(113003105) << qint64(3105) << QString();
    QTest::newRow("3105 partner completing without the issuer")
        << 2 << none << QVariantMap{{"payParamList", card}} << QStringList{"completion-values"} << no
        << qint64(113003105) << qint64(3105) << QStringLiteral("no value for \"ID_whome\"");
    QTest::newRow("3105 itself completing without the issuer")
        << 2 << none << QVariantMap{{"payParamList", card}} << QStringList{"completion-values"} << no
        << qint64(3105) << qint64(0) << QStringLiteral("no value for \"ID_whome\"");
    QTest::newRow("454 partner needs no issuer")
        << 2 << none << QVariantMap{{"payParamList", card}} << no << no << qint64(72000434) << qint64(454) << QString();
}

void tst_AnswerRules::check()
{
    QFETCH(int, step);
    QFETCH(QVariantMap, body);
    QFETCH(QVariantMap, params);
    QFETCH(QStringList, rules);
    QFETCH(QStringList, notes);
    QFETCH(qint64, provider);
    QFETCH(qint64, base);
    QFETCH(QString, mentions);

    QVariantMap given = answer(step, body, params);
    if (QString::fromLatin1(QTest::currentDataTag()) == QLatin1String("message is text")) {
        given.insert("message", "{}");
        rules = QStringList{"message-map"};
    }
    QStringList found;
    QStringList noted;
    QStringList values;
    QSet<QString> met;
    for (const AnswerRules::Violation &violation : AnswerRules::check(given, expectation(step, provider, base), &met)) {
        QVERIFY2(!violation.sentence.isEmpty(), qPrintable(violation.rule + " has no sentence"));
        QVERIFY2(!violation.path.isEmpty(), qPrintable(violation.rule + " names no place in the answer"));
        (violation.isNote ? noted : found).append(violation.rule);
        values.append(violation.value);
        if (violation.isNote)
            QVERIFY2(violation.sentence.contains("the plugin reads it as"), qPrintable(violation.sentence));
        QVERIFY2(met.contains(violation.rule), qPrintable(violation.rule + " found but not counted as met"));
    }
    for (QStringList *list : {&found, &noted, &rules, &notes}) {
        list->removeDuplicates();
        list->sort();
    }
    QCOMPARE(found, rules);
    QCOMPARE(noted, notes);
    if (!mentions.isEmpty())
        QVERIFY2(values.join(" ").contains(mentions), qPrintable(values.join(" ")));
}

void tst_AnswerRules::readsAsThePluginReads_data()
{
    // A field sent in another form than the rule's: the rule notes it exactly when the
    // plugin's own record reads it as the form meant.
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("sent");
    QTest::addColumn<QVariant>("meant");
    QTest::addColumn<bool>("noted");

    QTest::newRow("error as 0") << "error" << QVariant(0) << QVariant(false) << true;
    QTest::newRow("error as the text false") << "error" << QVariant("false") << QVariant(false) << true;
    QTest::newRow("error as the text no") << "error" << QVariant("no") << QVariant(false) << false;
    QTest::newRow("result as the text 0") << "result" << QVariant("0") << QVariant(0) << true;
    QTest::newRow("result as the text -7") << "result" << QVariant("-7") << QVariant(-7) << true;
    QTest::newRow("result as the text E3") << "result" << QVariant("E3") << QVariant(3) << false;
    QTest::newRow("uid as a number") << "uid" << QVariant(5550001.0) << QVariant(Uid) << true;
    QTest::newRow("uid as true") << "uid" << QVariant(true) << QVariant(Uid) << false;
    QTest::newRow("step as the text 1") << "currentStep" << QVariant("1") << QVariant(1) << true;
    QTest::newRow("step as the text 01") << "currentStep" << QVariant("01") << QVariant(1) << true;
    QTest::newRow("step as the text 1.0") << "currentStep" << QVariant("1.0") << QVariant(1) << false;
    QTest::newRow("isCompleted as 1") << "isCompleted" << QVariant(1) << QVariant(true) << true;
    QTest::newRow("isCompleted as the text true") << "isCompleted" << QVariant("true") << QVariant(true) << true;
    QTest::newRow("isError as the text no") << "isError" << QVariant("no") << QVariant(false) << false;
    QTest::newRow("isEditable as the text 1") << "isEditable" << QVariant("1") << QVariant(true) << true;
    QTest::newRow("isEditable as the text no") << "isEditable" << QVariant("no") << QVariant(false) << false;
    QTest::newRow("description as a number") << "description" << QVariant(42) << QVariant("42") << true;
    QTest::newRow("description as a list") << "description" << QVariant(QVariantList{"a"}) << QVariant("a") << false;
    QTest::newRow("description as true") << "description" << QVariant(true) << QVariant("true") << true;
}

void tst_AnswerRules::readsAsThePluginReads()
{
    QFETCH(QString, field);
    QFETCH(QVariant, sent);
    QFETCH(QVariant, meant);
    QFETCH(bool, noted);

    const bool stepField = field == "isCompleted" || field == "isError" || field == "currentStep";
    const auto with = [&](const QVariant &value) {
        if (field == "isEditable") {
            return answer(1, {}, {{"payParamList", QVariantList{QVariantMap{{"name", "smscode"}, {"isEditable", value}}}}});
        }
        return stepField ? answer(1, {}, {{field, value}}) : answer(1, {{field, value}}, {});
    };
    const auto reading = [&](const QVariantMap &map) -> QVariant {
        const TavrinCheckAnswer read(map);
        if (field == "error")
            return read.error();
        if (field == "result")
            return read.result();
        if (field == "uid")
            return read.uid();
        if (field == "currentStep")
            return read.currentStep();
        if (field == "isCompleted")
            return read.isStepComplete();
        if (field == "isError")
            return read.isStepError();
        if (field == "isEditable")
            return read.payParamsList().value(0).isEditable();
        return read.description();
    };
    const bool readsAlike = reading(with(sent)) == reading(with(meant));

    const QString path = field == "isEditable" ? "message.params.payParamList[0].isEditable"
                         : stepField          ? "message.params." + field
                                              : "message." + field;
    // A note says what was sent and how the plugin reads it.
    const QString kind = sent.userType() == QMetaType::QString ? "text"
                         : sent.userType() == QMetaType::Bool  ? "true or false"
                                                               : "a number";
    int notes = 0;
    int violations = 0;
    for (const AnswerRules::Violation &finding : AnswerRules::check(with(sent), expectation(1))) {
        if (finding.path != path)
            continue;
        ++(finding.isNote ? notes : violations);
        if (finding.isNote)
            QVERIFY2(finding.sentence.startsWith("sent as " + kind + "; the plugin reads it as "), qPrintable(finding.sentence));
    }
    QVERIFY2(notes + violations == 1, "the field is judged once");
    QCOMPARE(notes == 1, readsAlike);
    QCOMPARE(notes == 1, noted);
}

void tst_AnswerRules::digitsFit_data()
{
    QTest::addColumn<QString>("regexp");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<bool>("fits");

    QTest::newRow("a phone number") << "^9\\d{9}$" << "" << true;
    QTest::newRow("a leading zero, then not zero") << "^0[1-9]\\d{2}$" << "" << true;
    QTest::newRow("one of two prefixes") << "^(\\+7|8)\\d{10}$" << "" << true;
    QTest::newRow("Cyrillic letters") << "^[А-ЯЁ][а-яё-]+$" << "" << false;
    QTest::newRow("digits around a dash") << "^\\d{4}-\\d{2}$" << "" << false;
    QTest::newRow("letters or nothing") << "^[a-z]*$" << "" << true;
    QTest::newRow("a broken pattern, which the terminal ignores") << "[" << "" << true;
    QTest::newRow("the wildcard") << "\\*" << "" << true;
    // The search is bounded: a pattern it cannot settle is taken as one the keypad fills.
    QTest::newRow("digits up to a letter, beyond the search") << "^[0-9]{1,80}[a-z]$" << "" << true;
    QTest::newRow("a mask of required letters") << "" << "AAA" << false;
    QTest::newRow("a mask of optional letters") << "" << "aaa" << true;
    QTest::newRow("a mask of digits with its blank") << "^\\d{4}$" << "9999;_" << true;
    QTest::newRow("a letter the mask fills in itself") << "^A\\d{3}$" << "\\A999" << true;
    QTest::newRow("a dash the mask fills in itself") << "^\\d{4}-\\d{2}$" << "9999-99" << true;
}

void tst_AnswerRules::digitsFit()
{
    QFETCH(QString, regexp);
    QFETCH(QString, mask);
    QFETCH(bool, fits);
    QCOMPARE(AnswerRules::digitsFit(regexp, mask), fits);
}

void tst_AnswerRules::rulesMet()
{
    // A rule counts as met only by an answer it judges: the verdict's coverage rests on it.
    const QVariantList readOnly{QVariantMap{{"name", "surname"}, {"value", "Иванова"}},
                                QVariantMap{{"name", "doc"}, {"type", "enum"}, {"paramList", QVariantList{QVariantMap{{"name", "a"}}}}}};
    QSet<QString> met;
    AnswerRules::check(answer(1, {}, {{"payParamList", readOnly}}), expectation(1), &met);
    QVERIFY2(met.contains("first-asks") && met.contains("enum-choices") && met.contains("nesting-depth"), qPrintable(met.values().join(' ')));
    QVERIFY2(!met.contains("digits-only") && !met.contains("completion-values"),
             qPrintable(met.values().join(' ')));
    met.clear();
    AnswerRules::check(answer(2, {}, {}), expectation(2), &met);
    QVERIFY2(met.contains("completion-values") && met.contains("current-step") && !met.contains("first-asks")
                 && !met.contains("nesting-depth") && !met.contains("enum-choices"),
             qPrintable(met.values().join(' ')));
    met.clear();
    AnswerRules::check(answer(1, {{"error", true}, {"result", 3}}, {}), expectation(1), &met);
    QVERIFY2(!met.contains("current-step") && !met.contains("first-asks"), "a failure is not judged as a step");
}

void tst_AnswerRules::nestingBoundIsThePlugins()
{
    QCOMPARE(int(AnswerRules::NestingBound), int(TavrinPayParameter::MAX_NESTING_DEPTH));
}

namespace {

QVariantMap request(const QString &uid, int step)
{
    const QString checkdata = QStringLiteral(R"({"currentStep":"%1","payParamList":[{"name":"msisdn","value":"79161234567"}]})").arg(step);
    return {{"uid", uid}, {"msgType", Type}, {"code", "check"}, {"params", QVariantMap{{"checkdata", checkdata}}}};
}

} // namespace

void tst_AnswerRules::exchange()
{
    AnswerWatch watch(60000);
    QList<AnswerRules::Violation> found;
    connect(&watch, &AnswerWatch::violated, this, [&found](const AnswerRules::Violation &violation) {
        found.append(violation);
    });
    QList<AnswerRules::Violation> notes;
    connect(&watch, &AnswerWatch::noted, this, [&notes](const AnswerRules::Violation &note) { notes.append(note); });
    QVariantList forwarded;
    connect(&watch, &AnswerWatch::messageReceived, this, [&forwarded](const QVariantMap &answer) {
        forwarded.append(answer);
    });
    AnswerWatch::Provider provider;
    provider.id = 71000454;
    watch.beginDialogue("454", provider);
    watch.send(request(Uid, 1));

    watch.takeAnswer(answer(1, {{"result", "0"}}, {}));
    QVERIFY2(found.isEmpty(), qPrintable(found.value(0).rule));
    QCOMPARE(notes.size(), 1);
    QCOMPARE(notes.first().request, QStringLiteral("request 1 (step 1, uid 5550001)"));
    watch.takeAnswer(answer(1, {}, {}));
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.last().rule, QStringLiteral("answer-once"));
    QCOMPARE(found.last().dialogue, QStringLiteral("454"));
    QCOMPARE(found.last().request, QStringLiteral("request 1 (step 1, uid 5550001)"));
    watch.takeAnswer(answer(1, QVariantMap{{"uid", "999"}}, {}));
    QCOMPARE(found.last().rule, QStringLiteral("answer-solicited"));
    QCOMPARE(found.last().request, QStringLiteral("no request"));
    watch.takeUnreadable("not json");
    QCOMPARE(found.last().rule, QStringLiteral("answer-json"));
    QCOMPARE(found.last().value, QStringLiteral("not json"));
    QVERIFY2(forwarded.size() == 3, "every answer reaches the plugin, which drops what is not its own");
    // A long value is cut short in the report.
    QVariantList many;
    for (int i = 0; i < 40; ++i)
        many.append(QVariantMap{{"name", "x"}});
    const QString shown = AnswerRules::shown(many);
    QCOMPARE(shown.size(), 203);
    QVERIFY2(shown.endsWith("...") && shown.startsWith(R"([{"name":"x"})"), qPrintable(shown));

    // A garbled uid is taken for the answer to the request still waiting, and judged as one.
    watch.send(request("5550002", 2));
    watch.takeAnswer(answer(2, QVariantMap{{"uid", "garbled"}}, {}));
    QCOMPARE(found.last().rule, QStringLiteral("uid-echo"));
    QCOMPARE(found.last().request, QStringLiteral("request 2 (step 2, uid 5550002)"));
    QCOMPARE(watch.sentOfStep(1), 1);
    QCOMPARE(watch.answeredOfStep(1), 1);
    QCOMPARE(watch.sentOfStep(2), 1);
    QCOMPARE(watch.answeredOfStep(2), 1);
    for (const char *rule : {"answer-json", "answer-once", "uid-echo", "completion-values"})
        QVERIFY2(watch.rulesMet().contains(rule), rule);
}

void tst_AnswerRules::waiting()
{
    AnswerWatch watch(60000);
    watch.setTimeScale(0.5);
    QList<AnswerRules::Violation> found;
    connect(&watch, &AnswerWatch::violated, this, [&found](const AnswerRules::Violation &violation) {
        found.append(violation);
    });
    watch.beginDialogue("first", AnswerWatch::Provider());
    QCOMPARE(watch.millisecondsToWait(), 0);
    watch.closeDialogue();
    QVERIFY2(!watch.rulesMet().contains("answer-in-time"), "no request, no wait judged");
    watch.beginDialogue("first", AnswerWatch::Provider());
    QElapsedTimer sinceSent[3];
    for (int i = 0; i < 3; ++i) {
        if (i > 0)
            QTest::qWait(100);
        watch.send(request(QString::number(i + 1), 1));
        sinceSent[i].start();
    }
    // The wait ends 60 s after the latest request still unanswered.
    const auto waitsFor = [&watch](const QElapsedTimer &sent) {
        return qAbs(watch.millisecondsToWait() - (60000 - sent.elapsed())) <= 30;
    };
    QVERIFY2(waitsFor(sinceSent[2]), qPrintable(QString::number(watch.millisecondsToWait())));
    QCOMPARE(watch.unanswered(), 3);
    watch.takeAnswer(answer(1, {{"uid", "1"}}, {}));
    watch.takeAnswer(answer(1, {{"uid", "3"}}, {}));
    QCOMPARE(watch.unanswered(), 1);
    QVERIFY2(waitsFor(sinceSent[1]), qPrintable(QString::number(watch.millisecondsToWait())));
    found.clear();
    watch.closeDialogue();
    QVERIFY2(watch.rulesMet().contains("answer-in-time"), "the wait was judged");
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().rule, QStringLiteral("answer-in-time"));
    QCOMPARE(found.first().request, QStringLiteral("request 2 (step 1, uid 2)"));
    QVERIFY2(found.first().value.startsWith("no answer within") && found.first().value.contains("real at time scale 0.5"),
             qPrintable(found.first().value));
    QCOMPARE(watch.unanswered(), 0);

    // A request given up with its service is not reported again, nor is its late answer.
    watch.beginDialogue("second", AnswerWatch::Provider());
    watch.send(request("3", 1));
    watch.abandonDialogue();
    watch.closeDialogue();
    watch.takeAnswer(answer(1, {{"uid", "3"}}, {}));
    QCOMPARE(found.size(), 1);

    AnswerWatch hasty(10);
    connect(&hasty, &AnswerWatch::violated, this, [&found](const AnswerRules::Violation &violation) {
        found.append(violation);
    });
    hasty.beginDialogue("late", AnswerWatch::Provider());
    hasty.send(request(Uid, 1));
    QTest::qWait(40);
    hasty.takeAnswer(answer(1, {}, {}));
    QCOMPARE(found.last().rule, QStringLiteral("answer-in-time"));
    QVERIFY2(found.last().value.endsWith(" s after the request") && !found.last().value.contains("time scale"),
             qPrintable(found.last().value));
    // Lost when its dialogue closed: an answer after that is not reported again.
    found.clear();
    hasty.send(request("4", 1));
    QTest::qWait(40);
    hasty.closeDialogue();
    QCOMPARE(found.size(), 1);
    hasty.takeAnswer(answer(1, {{"uid", "4"}}, {}));
    QCOMPARE(found.size(), 1);
}

QTEST_GUILESS_MAIN(tst_AnswerRules)
#include "tst_answerrules.moc"
