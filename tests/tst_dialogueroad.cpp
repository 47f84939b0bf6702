#include <QtCore/QRegularExpression>
#include <QtTest/QtTest>

#include "dialoguetest.h"

namespace {

const QString FirstWaitText = QStringLiteral("Запрос данных пользователя. Пожалуйста, подождите...");
const QString SecondWaitText = QStringLiteral("Запрос пользовательских данных. Пожалуйста, подождите...");

QVariantMap param(const QString &name, const QString &title, const QVariant &value, bool editable,
                  const QString &type = QStringLiteral("string"))
{
    return BusProbe::parameter(name, title, value, editable, type);
}

// The first difference between two maps, types of values included; empty when they are equal.
QString mapDifference(const QVariantMap &actual, const QVariantMap &expected, const QString &path = QString())
{
    if (actual.keys() != expected.keys())
        return QStringLiteral("%1 keys %2, expected %3")
            .arg(path, actual.keys().join(','), expected.keys().join(','));
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QVariant value = actual.value(it.key());
        const QString where = path + '/' + it.key();
        if (value.userType() != it.value().userType())
            return QStringLiteral("%1 has type %2, expected %3")
                .arg(where, value.typeName(), it.value().typeName());
        if (it.value().userType() == QMetaType::QVariantMap) {
            const QString inner = mapDifference(value.toMap(), it.value().toMap(), where);
            if (!inner.isEmpty())
                return inner;
        } else if (value != it.value()) {
            return QStringLiteral("%1 is %2, expected %3").arg(where, value.toString(), it.value().toString());
        }
    }
    return QString();
}

// The request as the service must get it, "checkdata" as compact JSON text.
QVariantMap expectedRequest(qint64 providerId, const QString &msisdn, const QString &smscode, const QString &uid)
{
    const QString checkdata = smscode.isNull()
        ? QStringLiteral("{\"currentStep\":\"1\",\"payParamList\":[{\"name\":\"msisdn\",\"value\":\"%1\"}]}")
              .arg(msisdn)
        : QStringLiteral("{\"currentStep\":\"2\",\"payParamList\":[{\"name\":\"msisdn\",\"value\":\"%1\"},"
                         "{\"name\":\"smscode\",\"value\":\"%2\"}]}").arg(msisdn, smscode);
    return {{"providerId", QVariant(providerId)}, {"code", "check"}, {"rekv", QString()},
            {"params", QVariantMap{{"checkdata", checkdata}}}, {"currencyId", 643}, {"summ", 0},
            {"commission", 0}, {"msgType", "tavrinPluginRequest"}, {"uid", uid}};
}

// A screen as "name|label|pattern|mask|value|choice".
QString screen(const DialogueDriver::ShownInput &shown)
{
    const ProviderParameter &p = shown.parameter;
    return QStringList{p.name(), p.label(), p.regExp(), p.mask(), p.value(), QString::number(p.isChoice())}
        .join('|');
}

} // namespace

// The whole road of a check, from the typed number to the payment screen, as a terminal sees it:
// every screen, every message and every request on the bus.
class tst_DialogueRoad : public DialogueTest
{
    Q_OBJECT

private slots:
    void passportDataWithSmsCode();
    void cardNumberAndChoice();
    void nextCustomerStartsEmpty_data();
    void nextCustomerStartsEmpty();
    void valuesWrittenAsJson_data();
    void valuesWrittenAsJson();

private:
    // The answer to the last request as the host's bus reads the service's JSON text.
    void answerJson(const QByteArray &step);
    // Checks the request sent last against the one expected, and that it is the only new one.
    void verifyLastRequest(int count, qint64 providerId, const QString &msisdn,
                           const QString &smscode = QString());
    // The parameter screens after the phone screen, each with the provider's name, its label as
    // check label and the number keyboard, editable.
    QStringList parameterScreens(const QString &providerName) const;
    // Each parameter of the provider as "name=value", followed by " masked" for a masked view.
    QStringList providerValues() const;
};

void tst_DialogueRoad::verifyLastRequest(int count, qint64 providerId, const QString &msisdn,
                                         const QString &smscode)
{
    QCOMPARE(d->sentCount(), count);
    const QString uid = d->lastUid();
    QVERIFY2(QRegularExpression("^-?\\d+$").match(uid).hasMatch(), qPrintable(uid));
    const QString difference =
        mapDifference(d->fixture.bus.lastSent(), expectedRequest(providerId, msisdn, smscode, uid));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

QStringList tst_DialogueRoad::parameterScreens(const QString &providerName) const
{
    QStringList screens;
    for (const DialogueDriver::ShownInput &shown : d->shownInputs.mid(1)) {
        const ProviderParameter &p = shown.parameter;
        screens << screen(shown);
        // What every parameter screen has in common, named where it differs.
        if (shown.providerName != providerName || p.checkLabel() != p.label()
            || p.keyboardType() != "number" || shown.readOnly)
            screens.last() += QStringLiteral(" (%1, %2, %3, %4)")
                                  .arg(shown.providerName, p.checkLabel(), p.keyboardType())
                                  .arg(int(shown.readOnly));
    }
    return screens;
}

QStringList tst_DialogueRoad::providerValues() const
{
    QStringList values;
    for (const ProviderParameter &p : d->fixture.provider->parameters())
        values << p.name() + '=' + p.value() + (p.maskedView() ? " masked" : "");
    return values;
}

void tst_DialogueRoad::passportDataWithSmsCode()
{
    const QString providerName = QStringLiteral("Перевод по номеру телефона");
    QVERIFY(d->start());
    QCOMPARE(d->lastShownInput().providerName, providerName);
    QVERIFY(!d->lastShownInput().readOnly);
    QCOMPARE(screen(d->lastShownInput()), "phone|Номер телефона|^9\\d{9}$|||0");

    QVERIFY(d->enter("9161234567"));
    verifyLastRequest(1, 71000454, "79161234567");
    QCOMPARE(d->lastMessageSummary(), FirstWaitText + "|60|0");
    QPointer<MessageWidgetController> firstWait = d->lastShownMessage().controller;
    QCOMPARE(d->viewer()->topForm()->name(), "messagesView");

    d->answerStep(1, true, {
        param("surname", "Фамилия", QString(), true),
        param("name", "Имя", QString(), true),
        param("patronymic", "Отчество", "Иванович", false),
        with(param("ID_serie", "Серия паспорта", QString(), true), "regexp", "\\d{4}"),
        with(param("ID_number", "Номер паспорта", QString(), true), "regexp", "\\*"),
        param("smscode", "Код из SMS", QString(), true),
    });
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY2(!firstWait, "the waiting message outlived the answer");
    QCOMPARE(d->viewer()->topForm()->name(), "parameterInputView");

    QVERIFY(d->enterEach({"Петров", "Иван", "4510", "123456", "1234"}));
    QCOMPARE(parameterScreens(providerName), (QStringList{
        "surname|Фамилия||||0",
        "name|Имя||||0",
        "ID_serie|Серия паспорта|\\d{4}|||0",
        "ID_number|Номер паспорта||||0",
        "smscode|Код из SMS||9999||0",
    }));

    verifyLastRequest(2, 71000454, "79161234567", "1234");
    QCOMPARE(d->lastMessageSummary(), SecondWaitText + "|60|0");

    // The service corrects the surname it was given; its value wins over the entered one.
    d->answerStep(2, true, {param("surname", "Фамилия", "ПЕТРОВ", false)});
    QCOMPARE(d->payDetails(), 1);
    QVERIFY(d->lastPayDetail().isEmpty());
    QCOMPARE(d->cancels(), 0);
    QCOMPARE(d->shownMessages.size(), 2);
    QVERIFY2(d->fixture.messages().isEmpty(), "a message is left over the payment details");
    QCOMPARE(providerValues(), (QStringList{
        "phone=9161234567",
        "fam=ПЕТРОВ masked",
        "name=Иван masked",
        "fname=Иванович masked",
        "pas_ser=4510 masked",
        "pas_num=123456 masked",
        "passport=4510123456 masked",
    }));
}

void tst_DialogueRoad::cardNumberAndChoice()
{
    const QString providerName = QStringLiteral("Пополнение карты");
    d->fixture.provider.reset(PluginFixture::makeProvider(113003105));
    QVERIFY(d->start());
    QVERIFY(d->enter("9031112233"));
    verifyLastRequest(1, 113003105, "79031112233");

    QVariantMap issuer = param("ID_whome", "Кем выдан", QString(), false, "enum");
    issuer.insert("paramList", QVariantList{
        QVariantMap{{"paramList", QVariantList{detail("code", "Код подразделения", "770-001"),
                                               detail("addinfo", "Адрес", "Москва\r\nул. Тверская, 1")}}},
        QVariantMap{{"paramList", QVariantList{detail("code", "Код подразделения", "500-002"),
                                               detail("addinfo", "Адрес", "Химки\r\nул. Мира, 5")}}},
    });
    d->answerStep(1, true, {
        param("surname", "Фамилия", QString(), true),
        issuer,
        param("birthday", "Дата рождения", "1990-01-01", false),
        param("smscode", "Код из SMS", QString(), true),
    });

    QVERIFY(d->enter("Сидорова"));
    const QVariantMap choices{{"Код подразделения: 770-001, Адрес: Москва, ул. Тверская, 1", 0},
                              {"Код подразделения: 500-002, Адрес: Химки, ул. Мира, 5", 1}};
    QCOMPARE(QVariantMap(d->lastShownInput().parameter.values()), choices);
    QVERIFY(d->choose(1));
    QVERIFY(d->enterEach({"5678", "1234567812345678"}));
    QCOMPARE(parameterScreens(providerName), (QStringList{
        "surname|Фамилия||||0",
        "ID_whome|Кем выдан||||1",
        "smscode|Код из SMS||9999||0",
        // Added from the provider behind the service's parameters, so the mask is not its.
        "card_num|Номер карты|^\\d{16}$|||0",
    }));

    verifyLastRequest(2, 113003105, "79031112233", "5678");

    d->answerStep(2, true, {
        param("name", "Имя", "Анна", false),
        param("patronymic", "Отчество", "Петровна", false),
        param("ID_serie", QString(), "4612", false),
        param("ID_number", QString(), 654321, false),
        param("ID_whome", QString(), "500-002", false),
        param("ID_date", QString(), "2015-06-01", false),
    });
    QCOMPARE(d->payDetails(), 1);
    QCOMPARE(providerValues(), (QStringList{
        "phone=9031112233",
        "card_num=1234567812345678 masked",
        "fam=Сидорова masked",
        "name=Анна masked",
        "fname=Петровна masked",
        "pas_ser=4612 masked",
        "pas_num=654321 masked",
        "org_code=500-002 masked",
        "bdate=1990-01-01 masked",
        "pas_date=2015-06-01 masked",
    }));
}

void tst_DialogueRoad::nextCustomerStartsEmpty_data()
{
    QTest::addColumn<bool>("withCard");
    // What the host writes into "phone" and "card_num" between the two customers; null for
    // nothing, which leaves the values of the hand-off there.
    QTest::addColumn<QString>("hostPhone");
    QTest::addColumn<QString>("hostCard");
    // How the host comes to the second payment: with the same provider object, with a copy of
    // it (a host that keeps its providers by value), or with a new plugin object too.
    QTest::addColumn<QString>("keeps");

    QTest::newRow("phone of the hand-off") << false << QString() << QString() << "the provider";
    QTest::newRow("phone and card of the hand-off") << true << QString() << QString() << "the provider";
    QTest::newRow("phone and card the host put there") << true << "9267654321" << "4276000011112222"
                                                       << "the provider";
    QTest::newRow("phone and card of the hand-off in a copy of the provider")
        << true << QString() << QString() << "a copy";
    QTest::newRow("phone and card of the hand-off for a new plugin object")
        << true << QString() << QString() << "a new plugin";
}

void tst_DialogueRoad::nextCustomerStartsEmpty()
{
    QFETCH(bool, withCard);
    QFETCH(QString, hostPhone);
    QFETCH(QString, hostCard);
    QFETCH(QString, keeps);

    if (withCard)
        d->fixture.provider.reset(PluginFixture::makeProvider(113003105));
    const QVariantList codeOnly{param("smscode", "Код из SMS", QString(), true)};
    QVERIFY(d->start());
    QVERIFY(d->enter("9161234567"));
    d->answerStep(1, true, codeOnly);
    QVERIFY(d->enter("1234"));
    if (withCard)
        QVERIFY(d->enter("1234567812345678"));
    d->answerStep(2, true);
    QCOMPARE(d->payDetails(), 1);
    d->fixture.plugin->stop();
    for (ProviderParameter &p : d->fixture.provider->parameters()) {
        if (p.name() == "phone" && !hostPhone.isNull())
            p.setValue(hostPhone);
        if (p.name() == "card_num" && !hostCard.isNull())
            p.setValue(hostCard);
    }
    if (keeps == "a copy") {
        d->fixture.provider.reset(new Provider(*d->fixture.provider));
    } else if (keeps == "a new plugin") {
        QScopedPointer<Provider> paid(d->fixture.provider.take());
        QTest::ignoreMessage(QtDebugMsg, "TavrinPluginHandler plugin destructor");
        d.reset();
        d.reset(new DialogueDriver);
        QVERIFY2(d->fixture.isLoaded(), qPrintable(d->fixture.errorString()));
        d->fixture.provider.reset(paid.take());
    }

    QVERIFY(d->start());
    QCOMPARE(d->lastShownInput().parameter.name(), "phone");
    QCOMPARE(d->lastShownInput().parameter.value(), hostPhone);
    if (!withCard)
        return;
    // A returning customer types the number of the last hand-off: Back still shows it.
    QVERIFY(d->enter("9161234567"));
    d->answerStep(1, true, codeOnly);
    QVERIFY(d->back());
    QCOMPARE(d->lastShownInput().parameter.value(), "9161234567");
    QVERIFY(d->enter("9161234567"));
    d->answerStep(1, true, codeOnly);
    QVERIFY(d->enter("4321"));
    QCOMPARE(d->lastShownInput().parameter.name(), "card_num");
    QCOMPARE(d->lastShownInput().parameter.value(), hostCard);
}

void tst_DialogueRoad::answerJson(const QByteArray &step)
{
    const QByteArray text = "{\"message\": {\"msgType\": \"tavrinPluginRequest\", \"uid\": \""
        + d->lastUid().toUtf8() + "\", \"error\": false, \"result\": 0.0, \"params\": " + step + "}}";
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    QVERIFY2(document.isObject(), qPrintable(error.errorString()));
    d->fixture.bus.answerNow(document.object().toVariantMap());
}

void tst_DialogueRoad::valuesWrittenAsJson_data()
{
    // A value as the service writes it, and the text the customer sees and the payment gets.
    // Which QVariant a JSON number becomes, and the text of each, has moved between Qt
    // releases; the screens must not.
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("text");

    QTest::newRow("whole number") << QByteArray("654321") << "654321";
    QTest::newRow("sixteen digits keep every digit") << QByteArray("4276123412341234") << "4276123412341234";
    QTest::newRow("whole number with an exponent") << QByteArray("6.54321e5") << "654321";
    QTest::newRow("fraction") << QByteArray("45.5") << "45.5";
    QTest::newRow("negative number") << QByteArray("-7") << "-7";
    QTest::newRow("true") << QByteArray("true") << "true";
    QTest::newRow("null is no text") << QByteArray("null") << "";
    QTest::newRow("text keeps its leading zeros") << QByteArray("\"004512\"") << "004512";
}

void tst_DialogueRoad::valuesWrittenAsJson()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, text);

    QVERIFY(d->start());
    QVERIFY(d->enter("9161234567"));
    // Flags and numbers of the answer itself written as numbers of either kind.
    answerJson("{\"isCompleted\": 1, \"isError\": 0, \"currentStep\": 1.0, \"payParamList\": ["
               "{\"name\": \"ID_number\", \"title\": \"Номер паспорта\", \"isEditable\": true, \"value\": "
               + json + "}, {\"name\": \"smscode\", \"title\": \"Код из SMS\", \"isEditable\": true}]}");
    QCOMPARE(d->lastShownInput().parameter.name(), "ID_number");
    QCOMPARE(d->lastShownInput().parameter.value(), text);
    QVERIFY(d->enterEach({"1", "1234"}));
    QCOMPARE(d->sentCount(), 2);

    // The service's value wins over the entered one.
    answerJson("{\"isCompleted\": true, \"isError\": false, \"currentStep\": 2, \"payParamList\": ["
               "{\"name\": \"ID_number\", \"value\": " + json + "}]}");
    QCOMPARE(d->payDetails(), 1);
    QVERIFY2(providerValues().contains("pas_num=" + text + " masked"),
             qPrintable(providerValues().join(", ")));
}

QTEST_MAIN(tst_DialogueRoad)
#include "tst_dialogueroad.moc"
