#include <QtCore/QRegularExpression>
#include <QtTest/QtTest>

#include "dialoguedriver.h"

namespace {

const QString FirstWaitText = QStringLiteral("Запрос данных пользователя. Пожалуйста, подождите...");
const QString SecondWaitText = QStringLiteral("Запрос пользовательских данных. Пожалуйста, подождите...");

QVariantMap param(const QString &name, const QString &title, const QVariant &value, bool editable,
                  const QString &type = QStringLiteral("string"),
                  const QString &regexp = QString())
{
    QVariantMap map = BusProbe::parameter(name, title, value, editable, type);
    if (!regexp.isNull())
        map.insert(QStringLiteral("regexp"), regexp);
    return map;
}

QVariantMap detail(const QString &name, const QString &title, const QString &value)
{
    return QVariantMap{{QStringLiteral("name"), name}, {QStringLiteral("title"), title},
                       {QStringLiteral("value"), value}};
}

// The first difference between two maps, types of values included; empty when they are equal.
QString mapDifference(const QVariantMap &actual, const QVariantMap &expected,
                      const QString &path = QString())
{
    if (actual.keys() != expected.keys())
        return QStringLiteral("%1 keys %2, expected %3").arg(path, actual.keys().join(QLatin1Char(',')),
                                                            expected.keys().join(QLatin1Char(',')));
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QVariant value = actual.value(it.key());
        const QString where = path + QLatin1Char('/') + it.key();
        if (value.userType() != it.value().userType())
            return QStringLiteral("%1 has type %2, expected %3")
                .arg(where, QString::fromLatin1(value.typeName()),
                     QString::fromLatin1(it.value().typeName()));
        if (it.value().userType() == QMetaType::QVariantMap) {
            const QString inner = mapDifference(value.toMap(), it.value().toMap(), where);
            if (!inner.isEmpty())
                return inner;
        } else if (value != it.value()) {
            return QStringLiteral("%1 is %2, expected %3")
                .arg(where, value.toString(), it.value().toString());
        }
    }
    return QString();
}

QVariantMap expectedRequest(qint64 providerId, const QString &checkdata, const QString &uid)
{
    return QVariantMap{
        {QStringLiteral("providerId"), QVariant(providerId)},
        {QStringLiteral("code"), QStringLiteral("check")},
        {QStringLiteral("rekv"), QString()},
        {QStringLiteral("params"), QVariantMap{{QStringLiteral("checkdata"), checkdata}}},
        {QStringLiteral("currencyId"), 643},
        {QStringLiteral("summ"), 0},
        {QStringLiteral("commission"), 0},
        {QStringLiteral("msgType"), QStringLiteral("tavrinPluginRequest")},
        {QStringLiteral("uid"), uid},
    };
}

// What an input screen must have been given for one pay parameter.
struct ExpectedInput
{
    QString name;
    QString label;
    QString regExp;
    QString mask;
    QString value;
    QMap<QString, QVariant> choices;
    bool choice = false;
};

QString inputDifference(const DialogueDriver::ShownInput &shown, const QString &providerName,
                        const ExpectedInput &expected)
{
    const ProviderParameter &p = shown.parameter;
    const QStringList actual{shown.providerName, p.name(), p.label(), p.checkLabel(), p.regExp(),
                             p.mask(), p.value(), p.keyboardType(),
                             QString::number(p.isChoice()), QString::number(shown.readOnly)};
    const QStringList wanted{providerName, expected.name, expected.label, expected.label,
                             expected.regExp, expected.mask, expected.value,
                             QStringLiteral("number"), QString::number(expected.choice),
                             QStringLiteral("0")};
    if (actual != wanted)
        return QStringLiteral("shown [%1], expected [%2]")
            .arg(actual.join(QLatin1Char('|')), wanted.join(QLatin1Char('|')));
    if (p.values() != expected.choices)
        return QStringLiteral("choices of %1 differ: %2").arg(p.name(), QStringList(p.values().keys()).join(QLatin1Char(';')));
    return QString();
}

QString checkdata(int step, const QString &msisdn, const QString &smscode = QString())
{
    if (step == 1)
        return QStringLiteral("{\"currentStep\":\"1\",\"payParamList\":[{\"name\":\"msisdn\",\"value\":\"%1\"}]}")
            .arg(msisdn);
    return QStringLiteral("{\"currentStep\":\"2\",\"payParamList\":[{\"name\":\"msisdn\",\"value\":\"%1\"},"
                          "{\"name\":\"smscode\",\"value\":\"%2\"}]}")
        .arg(msisdn, smscode);
}

} // namespace

// The whole road of a check, from the typed number to the payment screen, as a terminal sees it:
// every screen, every message and every request on the bus.
class tst_DialogueRoad : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void passportDataWithSmsCode();
    void cardNumberAndChoice();

private:
    // Checks the request sent last against the one expected, and that it is the only new one.
    void verifyLastRequest(int count, qint64 providerId, const QString &data);
    // Each parameter of the provider as "name=value", followed by " masked" for a masked view.
    void verifyProvider(const QStringList &expected);

    QScopedPointer<DialogueDriver> d;
};

void tst_DialogueRoad::init()
{
    d.reset(new DialogueDriver);
    QVERIFY2(d->fixture.isLoaded(), qPrintable(d->fixture.errorString()));
}

void tst_DialogueRoad::cleanup()
{
    QTest::ignoreMessage(QtDebugMsg, "TavrinPluginHandler plugin destructor");
    d.reset();
}

void tst_DialogueRoad::verifyLastRequest(int count, qint64 providerId, const QString &data)
{
    QCOMPARE(d->sentCount(), count);
    const QString uid = d->lastUid();
    QVERIFY2(QRegularExpression(QStringLiteral("^-?\\d+$")).match(uid).hasMatch(), qPrintable(uid));
    const QString difference = mapDifference(d->fixture.bus.lastSent(),
                                             expectedRequest(providerId, data, uid));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void tst_DialogueRoad::verifyProvider(const QStringList &expected)
{
    QStringList actual;
    for (const ProviderParameter &p : d->fixture.provider->parameters())
        actual << p.name() + QLatin1Char('=') + p.value() + (p.maskedView() ? QStringLiteral(" masked") : QString());
    QCOMPARE(actual, expected);
}

void tst_DialogueRoad::passportDataWithSmsCode()
{
    const QString providerName = QStringLiteral("Перевод по номеру телефона");
    QVERIFY(d->start());

    QCOMPARE(d->shownInputs.size(), 1);
    const ProviderParameter phone = d->lastShownInput().parameter;
    QCOMPARE(d->lastShownInput().providerName, providerName);
    QVERIFY(!d->lastShownInput().readOnly);
    QCOMPARE(phone.name(), QStringLiteral("phone"));
    QCOMPARE(phone.label(), QStringLiteral("Номер телефона"));
    QCOMPARE(phone.regExp(), QStringLiteral("^9\\d{9}$"));
    QVERIFY(phone.value().isEmpty());

    QVERIFY(d->enter(QStringLiteral("9161234567")));
    verifyLastRequest(1, 71000454, checkdata(1, QStringLiteral("79161234567")));
    QCOMPARE(d->shownMessages.size(), 1);
    QCOMPARE(d->lastShownMessage().text, FirstWaitText);
    QCOMPARE(d->lastShownMessage().timeout, 60);
    QCOMPARE(d->lastShownMessage().buttons, 0);
    QPointer<MessageWidgetController> firstWait = d->lastShownMessage().controller;
    QCOMPARE(d->viewer()->topForm()->name(), QStringLiteral("messagesView"));

    d->answerStep(1, true, QVariantList{
        param(QStringLiteral("surname"), QStringLiteral("Фамилия"), QString(), true),
        param(QStringLiteral("name"), QStringLiteral("Имя"), QString(), true),
        param(QStringLiteral("patronymic"), QStringLiteral("Отчество"), QStringLiteral("Иванович"), false),
        param(QStringLiteral("ID_serie"), QStringLiteral("Серия паспорта"), QString(), true,
              QStringLiteral("string"), QStringLiteral("\\d{4}")),
        param(QStringLiteral("ID_number"), QStringLiteral("Номер паспорта"), QString(), true,
              QStringLiteral("string"), QStringLiteral("\\*")),
        param(QStringLiteral("smscode"), QStringLiteral("Код из SMS"), QString(), true),
    });
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY2(!firstWait, "the waiting message outlived the answer");
    QCOMPARE(d->viewer()->topForm()->name(), QStringLiteral("parameterInputView"));

    QVERIFY(d->enter(QStringLiteral("Петров")));
    QVERIFY(d->enter(QStringLiteral("Иван")));
    QVERIFY(!d->enter(QStringLiteral("45")));
    QVERIFY(d->enter(QStringLiteral("4510")));
    QVERIFY(d->enter(QStringLiteral("123456")));
    QVERIFY2(!d->enter(QStringLiteral("12")), "the SMS code was taken without its four digits");
    QVERIFY(d->enter(QStringLiteral("1234")));

    const QList<ExpectedInput> expected{
        {QStringLiteral("surname"), QStringLiteral("Фамилия"), QString(), QString(), QString(), {}},
        {QStringLiteral("name"), QStringLiteral("Имя"), QString(), QString(), QString(), {}},
        {QStringLiteral("ID_serie"), QStringLiteral("Серия паспорта"), QStringLiteral("\\d{4}"),
         QString(), QString(), {}},
        {QStringLiteral("ID_number"), QStringLiteral("Номер паспорта"), QString(), QString(),
         QString(), {}},
        {QStringLiteral("smscode"), QStringLiteral("Код из SMS"), QString(), QStringLiteral("9999"),
         QString(), {}},
    };
    QCOMPARE(d->shownInputs.size(), 1 + expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QString difference = inputDifference(d->shownInputs.at(i + 1), providerName, expected.at(i));
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }
    QCOMPARE(d->fixture.inputs().size(), 1);

    verifyLastRequest(2, 71000454,
                      checkdata(2, QStringLiteral("79161234567"), QStringLiteral("1234")));
    QCOMPARE(d->lastShownMessage().text, SecondWaitText);
    QCOMPARE(d->lastShownMessage().timeout, 60);
    QCOMPARE(d->lastShownMessage().buttons, 0);

    // The service corrects the surname it was given; its value wins over the entered one.
    d->answerStep(2, true, QVariantList{
        param(QStringLiteral("surname"), QStringLiteral("Фамилия"), QStringLiteral("ПЕТРОВ"), false)});
    QCOMPARE(d->payDetails(), 1);
    QVERIFY(d->lastPayDetail().isEmpty());
    QCOMPARE(d->cancels(), 0);
    QCOMPARE(d->shownMessages.size(), 2);
    QVERIFY2(d->fixture.messages().isEmpty(), "a message is left over the payment details");
    verifyProvider({
        QStringLiteral("phone=9161234567"),
        QStringLiteral("fam=ПЕТРОВ masked"),
        QStringLiteral("name=Иван masked"),
        QStringLiteral("fname=Иванович masked"),
        QStringLiteral("pas_ser=4510 masked"),
        QStringLiteral("pas_num=123456 masked"),
        QStringLiteral("passport=4510123456 masked"),
    });
}

void tst_DialogueRoad::cardNumberAndChoice()
{
    const QString providerName = QStringLiteral("Пополнение карты");
    d->fixture.provider.reset(PluginFixture::make3105Provider());
    QVERIFY(d->start());
    QCOMPARE(d->lastShownInput().providerName, providerName);
    QCOMPARE(d->lastShownInput().parameter.name(), QStringLiteral("phone"));

    QVERIFY(d->enter(QStringLiteral("9031112233")));
    verifyLastRequest(1, 113003105, checkdata(1, QStringLiteral("79031112233")));

    const QString code = QStringLiteral("Код подразделения");
    const QString address = QStringLiteral("Адрес");
    QVariantMap issuer = param(QStringLiteral("ID_whome"), QStringLiteral("Кем выдан"), QString(),
                               false, QStringLiteral("enum"));
    issuer.insert(QStringLiteral("paramList"), QVariantList{
        QVariantMap{{QStringLiteral("paramList"), QVariantList{
            detail(QStringLiteral("code"), code, QStringLiteral("770-001")),
            detail(QStringLiteral("addinfo"), address, QStringLiteral("Москва\r\nул. Тверская, 1"))}}},
        QVariantMap{{QStringLiteral("paramList"), QVariantList{
            detail(QStringLiteral("code"), code, QStringLiteral("500-002")),
            detail(QStringLiteral("addinfo"), address, QStringLiteral("Химки\r\nул. Мира, 5"))}}},
    });
    d->answerStep(1, true, QVariantList{
        param(QStringLiteral("surname"), QStringLiteral("Фамилия"), QString(), true),
        issuer,
        param(QStringLiteral("birthday"), QStringLiteral("Дата рождения"), QStringLiteral("1990-01-01"), false),
        param(QStringLiteral("smscode"), QStringLiteral("Код из SMS"), QString(), true),
    });

    QVERIFY(d->enter(QStringLiteral("Сидорова")));
    QVERIFY(d->choose(1));
    QVERIFY(d->enter(QStringLiteral("5678")));
    QVERIFY(!d->enter(QStringLiteral("1234")));
    QVERIFY(d->enter(QStringLiteral("1234567812345678")));

    QMap<QString, QVariant> choices;
    choices.insert(QStringLiteral("Код подразделения: 770-001, Адрес: Москва, ул. Тверская, 1"), 0);
    choices.insert(QStringLiteral("Код подразделения: 500-002, Адрес: Химки, ул. Мира, 5"), 1);
    const QList<ExpectedInput> expected{
        {QStringLiteral("surname"), QStringLiteral("Фамилия"), QString(), QString(), QString(), {}},
        {QStringLiteral("ID_whome"), QStringLiteral("Кем выдан"), QString(), QString(), QString(),
         choices, true},
        {QStringLiteral("smscode"), QStringLiteral("Код из SMS"), QString(), QStringLiteral("9999"),
         QString(), {}},
        // Added from the provider behind the service's parameters, so the mask is not its.
        {QStringLiteral("card_num"), QStringLiteral("Номер карты"), QStringLiteral("^\\d{16}$"),
         QString(), QString(), {}},
    };
    QCOMPARE(d->shownInputs.size(), 1 + expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QString difference = inputDifference(d->shownInputs.at(i + 1), providerName, expected.at(i));
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }
    for (const QVariant &position : choices)
        QCOMPARE(position.userType(), int(QMetaType::Int));

    verifyLastRequest(2, 113003105,
                      checkdata(2, QStringLiteral("79031112233"), QStringLiteral("5678")));
    QCOMPARE(d->lastShownMessage().text, SecondWaitText);

    d->answerStep(2, true, QVariantList{
        param(QStringLiteral("name"), QStringLiteral("Имя"), QStringLiteral("Анна"), false),
        param(QStringLiteral("patronymic"), QStringLiteral("Отчество"), QStringLiteral("Петровна"), false),
        param(QStringLiteral("ID_serie"), QString(), QStringLiteral("4612"), false),
        param(QStringLiteral("ID_number"), QString(), 654321, false),
        param(QStringLiteral("ID_whome"), QString(), QStringLiteral("500-002"), false),
        param(QStringLiteral("ID_date"), QString(), QStringLiteral("2015-06-01"), false),
    });
    QCOMPARE(d->payDetails(), 1);
    QCOMPARE(d->cancels(), 0);
    verifyProvider({
        QStringLiteral("phone=9031112233"),
        QStringLiteral("card_num=1234567812345678 masked"),
        QStringLiteral("fam=Сидорова masked"),
        QStringLiteral("name=Анна masked"),
        QStringLiteral("fname=Петровна masked"),
        QStringLiteral("pas_ser=4612 masked"),
        QStringLiteral("pas_num=654321 masked"),
        QStringLiteral("org_code=500-002 masked"),
        QStringLiteral("bdate=1990-01-01 masked"),
        QStringLiteral("pas_date=2015-06-01 masked"),
    });
}

QTEST_MAIN(tst_DialogueRoad)
#include "tst_dialogueroad.moc"
