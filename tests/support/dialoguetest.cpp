#include "dialoguetest.h"

#include <QtCore/QLoggingCategory>
#include <QtTest/QtTest>

bool Effects::operator==(const Effects &other) const
{
    return sent == other.sent && messages == other.messages && inputs == other.inputs
           && payDetails == other.payDetails && cancels == other.cancels;
}

char *toString(const Effects &effects)
{
    return qstrdup(QStringLiteral("sent %1, messages %2, inputs %3, payment details %4, cancels %5")
                       .arg(effects.sent).arg(effects.messages).arg(effects.inputs)
                       .arg(effects.payDetails).arg(effects.cancels).toUtf8().constData());
}

const QString DialogueTest::DataError = QStringLiteral("Ошибка запроса данных");
const QString DialogueTest::MessageType = QStringLiteral("tavrinPluginRequest");
const QVariantList DialogueTest::SurnameAndCode{DialogueTest::editable(QStringLiteral("surname")),
                                                DialogueTest::editable(QStringLiteral("smscode"))};

QString DialogueTest::resultError(int result)
{
    return QStringLiteral("Ошибка обработки запроса (%1).Попробуйте поздее").arg(result);
}

QVariantMap DialogueTest::editable(const QString &name, const QString &title)
{
    return BusProbe::parameter(name, title.isNull() ? name : title, QString(), true);
}

QVariantMap DialogueTest::fixed(const QString &name, const QVariant &value)
{
    return BusProbe::parameter(name, name, value, false);
}

QVariantMap DialogueTest::detail(const QString &name, const QString &title, const QString &value)
{
    return {{"name", name}, {"title", title}, {"value", value}};
}

QVariantMap DialogueTest::with(QVariantMap map, const QString &key, const QVariant &value)
{
    map.insert(key, value);
    return map;
}

void DialogueTest::init()
{
    d.reset(new DialogueDriver);
    QVERIFY2(d->fixture.isLoaded(), qPrintable(d->fixture.errorString()));
}

void DialogueTest::cleanup()
{
    MessageWidgetController::setTimeScale(1.0);
    QLoggingCategory::setFilterRules(QString());
    QTest::ignoreMessage(QtDebugMsg, "TavrinPluginHandler plugin destructor");
    d.reset();
}

bool DialogueTest::reachFirstRequest()
{
    return d->start() && d->enter(QStringLiteral("9161234567")) && d->sentCount() == 1;
}

bool DialogueTest::reachSecondRequest(const QVariantList &params, const QStringList &texts)
{
    if (!reachFirstRequest())
        return false;
    d->answerStep(1, true, params);
    return d->enterEach(texts) && d->sentCount() == 2;
}

Effects DialogueTest::effects() const
{
    return {d->sentCount(), int(d->shownMessages.size()), int(d->shownInputs.size()),
            d->payDetails(), d->cancels()};
}
