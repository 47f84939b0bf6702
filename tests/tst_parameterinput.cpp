#include <QtTest/QtTest>

#include "dialoguetest.h"

namespace {

QVariantMap param(const QString &name, bool editable, const QString &type = QStringLiteral("string"),
                  const QVariant &value = QString())
{
    return BusProbe::parameter(name, name.toUpper(), value, editable, type);
}

QVariantMap choice(const QVariantList &details)
{
    return {{"paramList", details}};
}

} // namespace

// The service's parameters asked one by one on the one input screen: which are shown, how,
// and where Next and Back lead.
class tst_ParameterInput : public DialogueTest
{
    Q_OBJECT

private slots:
    void shownOrSkipped_data();
    void shownOrSkipped();
    void inputParameter();
    void choiceLabels_data();
    void choiceLabels();
    void nextAndBack_data();
    void nextAndBack();
    void finishSendsTheSmsCode_data();
    void finishSendsTheSmsCode();
    void replacedScreenIsReleasedLater_data();
    void replacedScreenIsReleasedLater();
    void longLists_data();
    void longLists();

private:
    // Starts a dialogue and answers the first request with params.
    bool askParameters(const QVariantList &params);
    // Plays the customer's steps, separated by ", ": "enter TEXT", "choose POSITION", "back",
    // "next" (pressed whatever the screen holds), "answer" (the service answers the first
    // request with the SMS code). False on a step that fails or a word it does not know.
    bool play(const QString &script);
};

bool tst_ParameterInput::askParameters(const QVariantList &params)
{
    if (!d->start() || !d->enter("9161234567"))
        return false;
    d->answerStep(1, true, params);
    return true;
}

bool tst_ParameterInput::play(const QString &script)
{
    for (const QString &step : script.split(", ", Qt::SkipEmptyParts)) {
        const QString word = step.section(' ', 0, 0);
        const QString argument = step.section(' ', 1);
        bool done = true;
        if (word == "enter")
            done = d->enter(argument);
        else if (word == "choose")
            done = d->choose(argument.toInt());
        else if (word == "back")
            done = d->back();
        else if (word == "next")
            d->lastShownInput().controller->next();
        else if (word == "answer")
            d->answerStep(1, true, {param("smscode", true)});
        else
            done = false;
        if (!done) {
            qWarning("step \"%s\" failed or is unknown", qPrintable(step));
            return false;
        }
    }
    return true;
}

void tst_ParameterInput::shownOrSkipped_data()
{
    QTest::addColumn<bool>("editable");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<bool>("choice"); // the second screen
    QTest::addColumn<int>("sent");

    const QStringList asked{"phone", "tested", "smscode"};
    QTest::newRow("editable enum is shown as a choice") << true << "enum" << asked << true << 1;
    QTest::newRow("enum in capitals is no enum") << false << "Enum" << QStringList{"phone", "smscode"} << false << 2;
    QTest::newRow("editable enum in capitals is typed in") << true << "ENUM" << asked << false << 1;
}

void tst_ParameterInput::shownOrSkipped()
{
    QFETCH(bool, editable);
    QFETCH(QString, type);
    QFETCH(bool, choice);

    QVERIFY(askParameters({param("tested", editable, type, "sent"), param("smscode", true)}));
    QCOMPARE(d->lastShownInput().parameter.isChoice(), choice);
    QVERIFY(d->lastShownInput().parameter.values().isEmpty());
    d->lastShownInput().controller->setText("1234");
    d->lastShownInput().controller->next();
    QTEST(d->shownNames(), "shown");
    QTEST(d->sentCount(), "sent");
}

void tst_ParameterInput::inputParameter()
{
    // Not the service's last parameter, whose mask is replaced.
    QVERIFY(askParameters({QVariantMap{{"name", "tested"}, {"isEditable", true}, {"title", "Серия"},
                                       {"regexp", "\\d{4}"}, {"mask", "99 99"}, {"value", "45 10"}},
                           param("smscode", true)}));
    const ProviderParameter p = d->lastShownInput().parameter;
    QCOMPARE(p.name(), "tested");
    QCOMPARE((QStringList{p.label(), p.regExp(), p.mask(), p.value()}),
             (QStringList{"Серия", "\\d{4}", "99 99", "45 10"}));
}

void tst_ParameterInput::choiceLabels_data()
{
    QTest::addColumn<QVariantList>("choices");
    QTest::addColumn<QVariantMap>("expected");

    const QVariantMap number = detail("num", "N", "123");
    QTest::newRow("line breaks stay in details other than addinfo")
        << QVariantList{choice({detail("AddInfo", "A", "X\r\nY")})} << QVariantMap{{"A: X\r\nY", 0}};
    QTest::newRow("a lone line feed stays in addinfo")
        << QVariantList{choice({detail("addinfo", "A", "X\nY\r\nZ")})} << QVariantMap{{"A: X\nY, Z", 0}};
    QTest::newRow("equal labels keep the later position")
        << QVariantList{choice({number}), choice({number}), choice({})}
        << QVariantMap{{"N: 123", 1}, {"", 2}};
    QTest::newRow("a title holding a placeholder stays as written")
        << QVariantList{choice({detail("x", "%2%1", "v")})} << QVariantMap{{"%2%1: v", 0}};
}

void tst_ParameterInput::choiceLabels()
{
    QFETCH(QVariantList, choices);
    QFETCH(QVariantMap, expected);

    QVERIFY(askParameters({with(param("tested", false, "enum"), "paramList", choices),
                           param("smscode", true)}));
    const ProviderParameter shown = d->lastShownInput().parameter;
    QCOMPARE(shown.name(), "tested");
    QVERIFY(shown.isChoice());
    QCOMPARE(QVariantMap(shown.values()), expected);
    for (const QVariant &position : shown.values())
        QCOMPARE(position.userType(), int(QMetaType::Int));
}

void tst_ParameterInput::nextAndBack_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("shownName");
    QTest::addColumn<QString>("shownValue");
    QTest::addColumn<int>("sent");

    // The parameters: a, skipped b, c, a choice d, smscode.
    const QString done = QStringLiteral("enter a1, enter c1, choose 0, enter 1234");
    QTest::newRow("Back on the second parameter past a skipped one shows the first")
        << "enter a1, back" << "a" << "a1" << 1;
    QTest::newRow("values entered further on stay after Back")
        << "enter a1, enter c1, back, back, enter a2" << "c" << "c1" << 1;
    QTest::newRow("a picked choice is shown again after Back")
        << "enter a1, enter c1, choose 1, back" << "d" << "1" << 1;
    QTest::newRow("Back after the list is done shows the last parameter")
        << done + ", back" << "smscode" << "1234" << 2;
    QTest::newRow("Next again after the list is done sends again, and Back shows the last parameter")
        << done + ", next, back" << "smscode" << "1234" << 3;
    QTest::newRow("Back twice after Next again goes one parameter further back")
        << done + ", next, back, back" << "d" << "0" << 3;
}

void tst_ParameterInput::nextAndBack()
{
    QFETCH(QString, script);

    const QVariantList choices{choice({detail("k", "K", "first")}), choice({detail("k", "K", "second")})};
    QVERIFY(askParameters({param("a", true), param("b", false, "string", "B"), param("c", true),
                           with(param("d", false, "enum"), "paramList", choices),
                           param("smscode", true)}));
    QVERIFY2(play(script), qPrintable(script));
    QTEST(lastShownName(), "shownName");
    QTEST(d->lastShownInput().parameter.value(), "shownValue");
    QTEST(d->sentCount(), "sent");
    QCOMPARE(d->fixture.inputs().size(), 1);
}

void tst_ParameterInput::finishSendsTheSmsCode_data()
{
    QTest::addColumn<QVariantList>("params");
    QTest::addColumn<QStringList>("entered");
    QTest::addColumn<QString>("smscode"); // as JSON

    const QVariantMap code = param("smscode", true);
    QTest::newRow("the later of two codes")
        << QVariantList{code, code} << QStringList{"1111", "2222"} << "\"2222\"";
    QTest::newRow("a code in other letters is no code")
        << QVariantList{param("SmsCode", true)} << QStringList{"5555"} << "null";
    QTest::newRow("a skipped code goes with the service's value")
        << QVariantList{param("smscode", false, "string", 4321), param("a", true)}
        << QStringList{"5555"} << "4321";
}

void tst_ParameterInput::finishSendsTheSmsCode()
{
    QFETCH(QVariantList, params);
    QFETCH(QStringList, entered);
    QFETCH(QString, smscode);

    QVERIFY(askParameters(params));
    QVERIFY(d->enterEach(entered));
    QCOMPARE(d->sentCount(), 2);
    QCOMPARE(d->fixture.bus.lastSent().value("params").toMap().value("checkdata").toString(),
             QStringLiteral("{\"currentStep\":\"2\",\"payParamList\":[{\"name\":\"msisdn\","
                            "\"value\":\"79161234567\"},{\"name\":\"smscode\",\"value\":%1}]}")
                 .arg(smscode));
}

void tst_ParameterInput::replacedScreenIsReleasedLater_data()
{
    QTest::addColumn<QString>("before"); // the customer's steps before the screen is replaced
    QTest::addColumn<QString>("replace");

    QTest::newRow("phone screen replaced by the first parameter") << "" << "enter 9161234567, answer";
    QTest::newRow("first parameter replaced by the phone screen on Back") << "enter 9161234567, answer" << "back";
}

void tst_ParameterInput::replacedScreenIsReleasedLater()
{
    QFETCH(QString, before);
    QFETCH(QString, replace);

    QVERIFY(d->start());
    QVERIFY(play(before));
    QPointer<PluginProviderParameterInputController> old = d->lastShownInput().controller;
    // Others listening to the screen hear it to the end of what it says.
    int heard = 0;
    connect(old.data(), &PluginProviderParameterInputController::needBack, [&heard] { ++heard; });
    connect(old.data(), &PluginProviderParameterInputController::needNext, [&heard] { ++heard; });

    QVERIFY(play(replace));
    QCOMPARE(heard, 1);
    QVERIFY2(old, "the replaced screen was deleted at once");
    QVERIFY(d->lastShownInput().controller != old);
    const Effects shown = effects();
    old->setText("9169999999");
    old->next();
    old->back();
    QCOMPARE(effects(), shown);

    QCOMPARE(d->fixture.inputs().size(), 1);
    QVERIFY(!old);
}

void tst_ParameterInput::longLists_data()
{
    QTest::addColumn<int>("entered"); // editable parameters p0, p1... first
    QTest::addColumn<int>("fixedCount"); // then parameters to pass over
    QTest::addColumn<QVariantList>("tail");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("shown"); // the screen shown last
    QTest::addColumn<int>("sent");

    QTest::newRow("100,000 parameters to enter, Next and Back as ever")
        << 100000 << 0 << QVariantList() << "enter a, enter b, enter c, back" << "p2" << 1;
    // Passed over in a loop: the stack does not grow with them.
    QTest::newRow("200,000 fixed parameters passed over both ways")
        << 0 << 200000 << QVariantList{param("smscode", true)} << "back" << "phone" << 1;
    // The host's choice list takes time for each entry it drops, for every entry: more
    // choices would time the host, not the plugin.
    QVariantList choices;
    for (int i = 0; i < 2000; ++i)
        choices << choice({with(fixed("number", QString::number(i)), "title", "Счёт")});
    QTest::newRow("2,000 choices of one parameter")
        << 0 << 0 << QVariantList{with(param("account", false, "enum"), "paramList", choices)}
        << "choose 1999" << "account" << 2;
}

void tst_ParameterInput::longLists()
{
    QFETCH(int, entered);
    QFETCH(int, fixedCount);
    QFETCH(QVariantList, tail);
    QFETCH(QString, script);

    // Built here rather than in the table, which would build every row's list for each row.
    QVariantList params;
    params.reserve(entered + fixedCount + tail.size());
    for (int i = 0; i < entered; ++i)
        params << editable(QStringLiteral("p%1").arg(i));
    for (int i = 0; i < fixedCount; ++i)
        params << QVariantMap{{"name", "fixed"}};
    params << tail;
    QVERIFY(askParameters(params));
    QVERIFY2(play(script), qPrintable(script));
    QTEST(lastShownName(), "shown");
    QTEST(d->sentCount(), "sent");
}

QTEST_MAIN(tst_ParameterInput)
#include "tst_parameterinput.moc"
