#include <QtTest/QtTest>

#include "dialoguedriver.h"

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

QVariantMap detail(const QString &name, const QString &title, const QString &value)
{
    return {{"name", name}, {"title", title}, {"value", value}};
}

QVariantMap withKey(QVariantMap map, const QString &key, const QVariant &value)
{
    map.insert(key, value);
    return map;
}

} // namespace

// The service's parameters asked one by one on the one input screen: which are shown, how,
// and where Next and Back lead.
class tst_ParameterInput : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
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
    void longRunOfSkippedParameters();

private:
    // Starts a dialogue and answers the first request with params.
    bool askParameters(const QVariantList &params);

    QScopedPointer<DialogueDriver> d;
};

void tst_ParameterInput::init()
{
    d.reset(new DialogueDriver);
    QVERIFY2(d->fixture.isLoaded(), qPrintable(d->fixture.errorString()));
}

void tst_ParameterInput::cleanup()
{
    QTest::ignoreMessage(QtDebugMsg, "TavrinPluginHandler plugin destructor");
    d.reset();
}

bool tst_ParameterInput::askParameters(const QVariantList &params)
{
    if (!d->start() || !d->enter("9161234567"))
        return false;
    d->answerStep(1, true, params);
    return true;
}

void tst_ParameterInput::shownOrSkipped_data()
{
    QTest::addColumn<bool>("editable");
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("choice");

    QTest::newRow("editable enum is shown as a choice") << true << "enum" << true << true;
    QTest::newRow("enum in capitals is no enum") << false << "Enum" << false << false;
    QTest::newRow("editable enum in capitals is typed in") << true << "ENUM" << true << false;
}

void tst_ParameterInput::shownOrSkipped()
{
    QFETCH(bool, editable);
    QFETCH(QString, type);
    QFETCH(bool, shown);
    QFETCH(bool, choice);

    QVERIFY(askParameters({param("tested", editable, type, "sent"), param("smscode", true)}));
    QCOMPARE(d->shownNames(), (QStringList{"phone", shown ? "tested" : "smscode"}));
    if (shown) {
        QCOMPARE(d->lastShownInput().parameter.isChoice(), choice);
        QVERIFY(d->lastShownInput().parameter.values().isEmpty());
        if (choice)
            d->lastShownInput().controller->next();
        else
            QVERIFY(d->enter("typed"));
    }
    QCOMPARE(d->lastShownInput().parameter.name(), "smscode");
    QVERIFY(d->enter("1234"));
    QCOMPARE(d->sentCount(), 2);
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

    QVERIFY(askParameters({withKey(param("tested", false, "enum"), "paramList", choices),
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
                           withKey(param("d", false, "enum"), "paramList", choices),
                           param("smscode", true)}));
    for (const QString &step : script.split(", ")) {
        const QString argument = step.section(' ', 1);
        if (step.startsWith("enter"))
            QVERIFY2(d->enter(argument), qPrintable(step));
        else if (step.startsWith("choose"))
            QVERIFY2(d->choose(argument.toInt()), qPrintable(step));
        else if (step == "back")
            QVERIFY(d->back());
        else
            d->lastShownInput().controller->next();
    }
    QTEST(d->lastShownInput().parameter.name(), "shownName");
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
    for (const QString &text : entered)
        QVERIFY(d->enter(text));
    QCOMPARE(d->sentCount(), 2);
    QCOMPARE(d->fixture.bus.lastSent().value("params").toMap().value("checkdata").toString(),
             QStringLiteral("{\"currentStep\":\"2\",\"payParamList\":[{\"name\":\"msisdn\","
                            "\"value\":\"79161234567\"},{\"name\":\"smscode\",\"value\":%1}]}")
                 .arg(smscode));
}

void tst_ParameterInput::replacedScreenIsReleasedLater_data()
{
    QTest::addColumn<bool>("byAnswer");
    QTest::newRow("phone screen replaced by the first parameter") << true;
    QTest::newRow("first parameter replaced by the phone screen on Back") << false;
}

void tst_ParameterInput::replacedScreenIsReleasedLater()
{
    QFETCH(bool, byAnswer);

    QVERIFY(d->start());
    if (!byAnswer) {
        QVERIFY(d->enter("9161234567"));
        d->answerStep(1, true, {param("smscode", true)});
    }
    QPointer<PluginProviderParameterInputController> old = d->lastShownInput().controller;
    // Others listening to the screen hear it to the end of what it says.
    int heard = 0;
    connect(old.data(), &PluginProviderParameterInputController::needBack, [&heard] { ++heard; });
    connect(old.data(), &PluginProviderParameterInputController::needNext, [&heard] { ++heard; });

    if (byAnswer) {
        QVERIFY(d->enter("9161234567"));
        d->answerStep(1, true, {param("smscode", true)});
    } else {
        QVERIFY(d->back());
    }
    QCOMPARE(heard, 1);
    QVERIFY2(old, "the replaced screen was deleted at once");
    QVERIFY(d->lastShownInput().controller != old);
    const QList<int> shown{d->sentCount(), d->shownInputs.size(), 1};
    old->setText("9169999999");
    old->next();
    old->back();
    QCOMPARE((QList<int>{d->sentCount(), d->shownInputs.size(), d->shownMessages.size()}), shown);

    QCOMPARE(d->fixture.inputs().size(), 1);
    QVERIFY(!old);
}

void tst_ParameterInput::longRunOfSkippedParameters()
{
    QVariantList params;
    for (int i = 0; i < 200000; ++i)
        params << QVariantMap{{"name", "fixed"}};
    params << param("smscode", true);
    QVERIFY(askParameters(params));
    QCOMPARE(d->lastShownInput().parameter.name(), "smscode");
    QVERIFY(d->back());
    QCOMPARE(d->lastShownInput().parameter.name(), "phone");
}

QTEST_MAIN(tst_ParameterInput)
#include "tst_parameterinput.moc"
