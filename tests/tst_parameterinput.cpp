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
    return QVariantMap{{QStringLiteral("paramList"), details}};
}

QVariantMap detail(const QString &name, const QString &title, const QString &value)
{
    return QVariantMap{{QStringLiteral("name"), name}, {QStringLiteral("title"), title},
                       {QStringLiteral("value"), value}};
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
    void inputParameter_data();
    void inputParameter();
    void choiceLabels_data();
    void choiceLabels();
    void nextAndBack_data();
    void nextAndBack();
    void backPastSkippedFirstParameter();
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
    if (!d->start() || !d->enter(QStringLiteral("9161234567")))
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

    QTest::newRow("editable string is shown") << true << QStringLiteral("string") << true << false;
    QTest::newRow("fixed string is skipped") << false << QStringLiteral("string") << false << false;
    QTest::newRow("fixed value without a type is skipped") << false << QString() << false << false;
    QTest::newRow("fixed enum is shown as a choice") << false << QStringLiteral("enum") << true << true;
    QTest::newRow("editable enum is shown as a choice") << true << QStringLiteral("enum") << true << true;
    QTest::newRow("enum in capitals is no enum") << false << QStringLiteral("Enum") << false << false;
    QTest::newRow("editable enum in capitals is typed in") << true << QStringLiteral("ENUM") << true << false;
}

void tst_ParameterInput::shownOrSkipped()
{
    QFETCH(bool, editable);
    QFETCH(QString, type);
    QFETCH(bool, shown);
    QFETCH(bool, choice);

    QVERIFY(askParameters(QVariantList{param(QStringLiteral("tested"), editable, type, QStringLiteral("sent")),
                                       param(QStringLiteral("smscode"), true)}));
    const QStringList expected = shown ? QStringList{QStringLiteral("phone"), QStringLiteral("tested")}
                                       : QStringList{QStringLiteral("phone"), QStringLiteral("smscode")};
    QCOMPARE(d->shownNames(), expected);
    if (shown) {
        QCOMPARE(d->lastShownInput().parameter.isChoice(), choice);
        QVERIFY(d->lastShownInput().parameter.values().isEmpty());
        if (choice)
            d->lastShownInput().controller->next();
        else
            QVERIFY(d->enter(QStringLiteral("typed")));
    }
    QCOMPARE(d->lastShownInput().parameter.name(), QStringLiteral("smscode"));
    QVERIFY(d->enter(QStringLiteral("1234")));
    QCOMPARE(d->sentCount(), 2);
}

void tst_ParameterInput::inputParameter_data()
{
    QTest::addColumn<QVariantMap>("parameter");
    QTest::addColumn<bool>("last");
    QTest::addColumn<QStringList>("expected"); // label, pattern, mask, value

    const QVariantMap base = param(QStringLiteral("tested"), true);
    QTest::newRow("title, pattern, mask and value reach the screen")
        << withKey(withKey(withKey(withKey(base, QStringLiteral("title"), QStringLiteral("Серия")),
                                   QStringLiteral("regexp"), QStringLiteral("\\d{4}")),
                           QStringLiteral("mask"), QStringLiteral("99 99")),
                   QStringLiteral("value"), QStringLiteral("45 10"))
        << false
        << QStringList{QStringLiteral("Серия"), QStringLiteral("\\d{4}"), QStringLiteral("99 99"), QStringLiteral("45 10")};
    QTest::newRow("wildcard pattern means no pattern")
        << withKey(base, QStringLiteral("regexp"), QStringLiteral("\\*")) << false
        << QStringList{QStringLiteral("TESTED"), QString(), QString(), QString()};
    QTest::newRow("pattern holding a wildcard stays")
        << withKey(base, QStringLiteral("regexp"), QStringLiteral("a\\*")) << false
        << QStringList{QStringLiteral("TESTED"), QStringLiteral("a\\*"), QString(), QString()};
    QTest::newRow("numeric value is shown as text")
        << withKey(base, QStringLiteral("value"), 42) << false
        << QStringList{QStringLiteral("TESTED"), QString(), QString(), QStringLiteral("42")};
    QTest::newRow("absent value is shown empty")
        << QVariantMap{{QStringLiteral("name"), QStringLiteral("tested")}, {QStringLiteral("isEditable"), true}}
        << false << QStringList{QString(), QString(), QString(), QString()};
    QTest::newRow("the service's last parameter gets the four-digit mask")
        << withKey(base, QStringLiteral("mask"), QStringLiteral("99")) << true
        << QStringList{QStringLiteral("TESTED"), QString(), QStringLiteral("9999"), QString()};
}

void tst_ParameterInput::inputParameter()
{
    QFETCH(QVariantMap, parameter);
    QFETCH(bool, last);
    QFETCH(QStringList, expected);

    QVariantList params{parameter};
    if (!last)
        params << param(QStringLiteral("smscode"), true);
    QVERIFY(askParameters(params));
    const DialogueDriver::ShownInput shown = d->lastShownInput();
    QCOMPARE(shown.providerName, d->fixture.provider->name());
    QCOMPARE(shown.readOnly, false);
    const ProviderParameter &p = shown.parameter;
    QCOMPARE(p.name(), QStringLiteral("tested"));
    QCOMPARE((QStringList{p.label(), p.regExp(), p.mask(), p.value()}), expected);
    QCOMPARE(p.checkLabel(), p.label());
    QCOMPARE(p.keyboardType(), QStringLiteral("number"));
}

void tst_ParameterInput::choiceLabels_data()
{
    QTest::addColumn<QVariantList>("choices");
    QTest::addColumn<QVariantMap>("expected");

    const QVariantMap number = detail(QStringLiteral("num"), QStringLiteral("N"), QStringLiteral("123"));
    QTest::newRow("details are joined with a comma")
        << QVariantList{choice({number, detail(QStringLiteral("addinfo"), QStringLiteral("A"), QStringLiteral("X\r\nY"))})}
        << QVariantMap{{QStringLiteral("N: 123, A: X, Y"), 0}};
    QTest::newRow("line breaks stay in details other than addinfo")
        << QVariantList{choice({detail(QStringLiteral("AddInfo"), QStringLiteral("A"), QStringLiteral("X\r\nY"))})}
        << QVariantMap{{QStringLiteral("A: X\r\nY"), 0}};
    QTest::newRow("a lone line feed stays in addinfo")
        << QVariantList{choice({detail(QStringLiteral("addinfo"), QStringLiteral("A"), QStringLiteral("X\nY\r\nZ"))})}
        << QVariantMap{{QStringLiteral("A: X\nY, Z"), 0}};
    QTest::newRow("choice without details has an empty label")
        << QVariantList{choice({}), choice({number})}
        << QVariantMap{{QString(), 0}, {QStringLiteral("N: 123"), 1}};
    QTest::newRow("equal labels keep the later position")
        << QVariantList{choice({number}), choice({number}), choice({})}
        << QVariantMap{{QStringLiteral("N: 123"), 1}, {QString(), 2}};
    QTest::newRow("a title holding a placeholder stays as written")
        << QVariantList{choice({detail(QStringLiteral("x"), QStringLiteral("%2%1"), QStringLiteral("v"))})}
        << QVariantMap{{QStringLiteral("%2%1: v"), 0}};
    QTest::newRow("enum without choices is still a choice")
        << QVariantList{} << QVariantMap{};
}

void tst_ParameterInput::choiceLabels()
{
    QFETCH(QVariantList, choices);
    QFETCH(QVariantMap, expected);

    QVERIFY(askParameters(QVariantList{
        withKey(param(QStringLiteral("tested"), false, QStringLiteral("enum")), QStringLiteral("paramList"), choices),
        param(QStringLiteral("smscode"), true)}));
    const ProviderParameter shown = d->lastShownInput().parameter;
    QCOMPARE(shown.name(), QStringLiteral("tested"));
    QVERIFY(shown.isChoice());
    QCOMPARE(QVariantMap(shown.values()), expected);
    for (const QVariant &position : shown.values())
        QCOMPARE(position.userType(), int(QMetaType::Int));
}

void tst_ParameterInput::nextAndBack_data()
{
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QString>("shownName");
    QTest::addColumn<QString>("shownValue");
    QTest::addColumn<int>("sent");

    // The parameters: a, skipped b, c, a choice d, smscode.
    QTest::newRow("Next passes over a skipped parameter")
        << QStringList{QStringLiteral("enter a1")} << QStringLiteral("c") << QString() << 1;
    QTest::newRow("Back passes over a skipped parameter")
        << QStringList{QStringLiteral("enter a1"), QStringLiteral("back")}
        << QStringLiteral("a") << QStringLiteral("a1") << 1;
    QTest::newRow("values entered further on stay after Back")
        << QStringList{QStringLiteral("enter a1"), QStringLiteral("enter c1"), QStringLiteral("back"),
                       QStringLiteral("back"), QStringLiteral("enter a2")}
        << QStringLiteral("c") << QStringLiteral("c1") << 1;
    QTest::newRow("a picked choice is shown again after Back")
        << QStringList{QStringLiteral("enter a1"), QStringLiteral("enter c1"), QStringLiteral("choose 1"),
                       QStringLiteral("back")}
        << QStringLiteral("d") << QStringLiteral("1") << 1;
    QTest::newRow("Back on the first parameter shows the phone screen")
        << QStringList{QStringLiteral("back")} << QStringLiteral("phone") << QString() << 1;
    QTest::newRow("Back after the list is done shows the last parameter")
        << QStringList{QStringLiteral("enter a1"), QStringLiteral("enter c1"), QStringLiteral("choose 0"),
                       QStringLiteral("enter 1234"), QStringLiteral("back")}
        << QStringLiteral("smscode") << QStringLiteral("1234") << 2;
    QTest::newRow("Next again after the list is done sends again, and Back shows the last parameter")
        << QStringList{QStringLiteral("enter a1"), QStringLiteral("enter c1"), QStringLiteral("choose 0"),
                       QStringLiteral("enter 1234"), QStringLiteral("next"), QStringLiteral("back")}
        << QStringLiteral("smscode") << QStringLiteral("1234") << 3;
    QTest::newRow("Back twice after Next again goes one parameter further back")
        << QStringList{QStringLiteral("enter a1"), QStringLiteral("enter c1"), QStringLiteral("choose 0"),
                       QStringLiteral("enter 1234"), QStringLiteral("next"), QStringLiteral("back"),
                       QStringLiteral("back")}
        << QStringLiteral("d") << QStringLiteral("0") << 3;
}

void tst_ParameterInput::nextAndBack()
{
    QFETCH(QStringList, script);
    QFETCH(QString, shownName);
    QFETCH(QString, shownValue);
    QFETCH(int, sent);

    QVariantMap choices = param(QStringLiteral("d"), false, QStringLiteral("enum"));
    choices.insert(QStringLiteral("paramList"),
                   QVariantList{choice({detail(QStringLiteral("k"), QStringLiteral("K"), QStringLiteral("first"))}),
                                choice({detail(QStringLiteral("k"), QStringLiteral("K"), QStringLiteral("second"))})});
    QVERIFY(askParameters(QVariantList{param(QStringLiteral("a"), true),
                                       param(QStringLiteral("b"), false, QStringLiteral("string"), QStringLiteral("B")),
                                       param(QStringLiteral("c"), true), choices,
                                       param(QStringLiteral("smscode"), true)}));
    for (const QString &step : script) {
        const QString action = step.section(QLatin1Char(' '), 0, 0);
        const QString argument = step.section(QLatin1Char(' '), 1);
        if (action == QLatin1String("enter"))
            QVERIFY2(d->enter(argument), qPrintable(step));
        else if (action == QLatin1String("choose"))
            QVERIFY2(d->choose(argument.toInt()), qPrintable(step));
        else if (action == QLatin1String("back"))
            QVERIFY(d->back());
        else
            d->lastShownInput().controller->next();
    }
    QCOMPARE(d->lastShownInput().parameter.name(), shownName);
    QCOMPARE(d->lastShownInput().parameter.value(), shownValue);
    QCOMPARE(d->sentCount(), sent);
    QCOMPARE(d->fixture.inputs().size(), 1);
}

void tst_ParameterInput::backPastSkippedFirstParameter()
{
    QVERIFY(askParameters(QVariantList{param(QStringLiteral("b"), false, QStringLiteral("string"), QStringLiteral("B")),
                                       param(QStringLiteral("smscode"), true)}));
    QCOMPARE(d->lastShownInput().parameter.name(), QStringLiteral("smscode"));
    QVERIFY(d->back());
    QCOMPARE(d->lastShownInput().parameter.name(), QStringLiteral("phone"));

    // The entry starts over from the first step.
    QVERIFY(d->enter(QStringLiteral("9160000000")));
    QCOMPARE(d->sentCount(), 2);
    QCOMPARE(d->fixture.bus.lastCheckData().value(QStringLiteral("currentStep")).toString(),
             QStringLiteral("1"));
    d->answerStep(1, true, QVariantList{param(QStringLiteral("smscode"), true)});
    QVERIFY(d->enter(QStringLiteral("1234")));
    QCOMPARE(d->fixture.bus.lastCheckData().value(QStringLiteral("payParamList")).toList().value(0).toMap()
                 .value(QStringLiteral("value")).toString(),
             QStringLiteral("79160000000"));
}

void tst_ParameterInput::finishSendsTheSmsCode_data()
{
    QTest::addColumn<QVariantList>("params");
    QTest::addColumn<QStringList>("entered");
    QTest::addColumn<QString>("smscode"); // as JSON

    const QVariantMap code = param(QStringLiteral("smscode"), true);
    QTest::newRow("the entered code")
        << QVariantList{param(QStringLiteral("a"), true), code}
        << QStringList{QStringLiteral("x"), QStringLiteral("1234")} << QStringLiteral("\"1234\"");
    QTest::newRow("the later of two codes")
        << QVariantList{code, code} << QStringList{QStringLiteral("1111"), QStringLiteral("2222")}
        << QStringLiteral("\"2222\"");
    QTest::newRow("no code sends null")
        << QVariantList{param(QStringLiteral("a"), true)} << QStringList{QStringLiteral("5555")}
        << QStringLiteral("null");
    QTest::newRow("a code in other letters is no code")
        << QVariantList{param(QStringLiteral("SmsCode"), true)} << QStringList{QStringLiteral("5555")}
        << QStringLiteral("null");
    QTest::newRow("a skipped code goes with the service's value")
        << QVariantList{param(QStringLiteral("smscode"), false, QStringLiteral("string"), 4321),
                        param(QStringLiteral("a"), true)}
        << QStringList{QStringLiteral("5555")} << QStringLiteral("4321");
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
    QCOMPARE(d->fixture.bus.lastSent().value(QStringLiteral("params")).toMap()
                 .value(QStringLiteral("checkdata")).toString(),
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
        QVERIFY(d->enter(QStringLiteral("9161234567")));
        d->answerStep(1, true, QVariantList{param(QStringLiteral("smscode"), true)});
    }
    QPointer<PluginProviderParameterInputController> old = d->lastShownInput().controller;
    // Others listening to the screen hear it to the end of what it says.
    int heard = 0;
    connect(old.data(), &PluginProviderParameterInputController::needBack, [&heard] { ++heard; });
    connect(old.data(), &PluginProviderParameterInputController::needNext, [&heard] { ++heard; });

    if (byAnswer) {
        QVERIFY(d->enter(QStringLiteral("9161234567")));
        d->answerStep(1, true, QVariantList{param(QStringLiteral("smscode"), true)});
    } else {
        QVERIFY(d->back());
    }
    QCOMPARE(heard, 1);
    QVERIFY2(old, "the replaced screen was deleted at once");
    QVERIFY(d->lastShownInput().controller != old);
    const int sent = d->sentCount();
    const int shown = d->shownInputs.size();
    old->setText(QStringLiteral("9169999999"));
    old->next();
    old->back();
    QCOMPARE(d->sentCount(), sent);
    QCOMPARE(d->shownInputs.size(), shown);
    QCOMPARE(d->shownMessages.size(), 1);

    QCOMPARE(d->fixture.inputs().size(), 1);
    QVERIFY(!old);
}

void tst_ParameterInput::longRunOfSkippedParameters()
{
    QVariantList params;
    for (int i = 0; i < 200000; ++i)
        params << QVariantMap{{QStringLiteral("name"), QStringLiteral("fixed")}};
    params << param(QStringLiteral("smscode"), true);
    QVERIFY(askParameters(params));
    QCOMPARE(d->lastShownInput().parameter.name(), QStringLiteral("smscode"));
    QVERIFY(d->back());
    QCOMPARE(d->lastShownInput().parameter.name(), QStringLiteral("phone"));
}

QTEST_MAIN(tst_ParameterInput)
#include "tst_parameterinput.moc"
