#include "checkservice.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QJsonParseError>
#include <QtCore/QRegularExpression>
#include <QtCore/QTimer>

#include <cmath>

const QString CheckService::DefaultMessageType = QStringLiteral("tavrinPluginRequest");

namespace {

const QString UnknownNumber = QStringLiteral("Абонент не найден");
const QString BadNumber = QStringLiteral("Неверный номер телефона");
const QString NoSession = QStringLiteral("Сеанс проверки не найден. Начните заново");
const QString NoCode = QStringLiteral("Не указан код подтверждения");

// The step as the plugin sends it, a string, or as a number from a less careful client.
int readStep(const QJsonValue &value)
{
    if (value.isString()) {
        bool ok = false;
        const int step = value.toString().toInt(&ok);
        return ok ? step : -1;
    }
    if (value.isDouble()) {
        const double step = value.toDouble();
        return step == std::floor(step) ? int(step) : -1;
    }
    return -1;
}

} // namespace

CheckService::CheckService(const CheckServiceBehaviour &behaviour, QObject *parent)
    : QObject(parent)
    , m_behaviour(behaviour)
{
}

void CheckService::setFault(CheckServiceBehaviour::Fault fault)
{
    m_fault = fault;
    if (fault != CheckServiceBehaviour::Fault::NoPassport)
        return;
    const auto withoutPassport = [](const QVariantList &parameters) {
        QVariantList kept;
        for (const QVariant &parameter : parameters) {
            const QString name = parameter.toMap().value(QStringLiteral("name")).toString();
            if (name != QLatin1String("ID_serie") && name != QLatin1String("ID_number"))
                kept.append(parameter);
        }
        return kept;
    };
    m_behaviour.parameters = withoutPassport(m_behaviour.parameters);
    m_behaviour.completion = withoutPassport(m_behaviour.completion);
}

void CheckService::setTimeScale(double scale)
{
    m_timeScale = scale > 0 ? scale : 1.0;
}

bool CheckService::isWellFormedMsisdn(const QString &msisdn)
{
    static const QRegularExpression pattern(QStringLiteral("^7\\d{10}$"));
    return pattern.match(msisdn).hasMatch();
}

CheckService::Request CheckService::readRequest(const QVariantMap &request)
{
    Request read;
    const QVariant uid = request.value(QStringLiteral("uid"));
    read.uid = uid.toString();
    read.messageType = request.value(QStringLiteral("msgType")).toString();
    if (read.uid.isEmpty()) {
        read.error = QStringLiteral("the request has no uid");
        return read;
    }
    if (request.value(QStringLiteral("code")).toString() != QLatin1String("check")) {
        read.error = QStringLiteral("the request's code is not \"check\"");
        return read;
    }
    const QVariant params = request.value(QStringLiteral("params"));
    if (params.userType() != QMetaType::QVariantMap) {
        read.error = QStringLiteral("the request has no \"params\" map");
        return read;
    }
    const QVariant checkdata = params.toMap().value(QStringLiteral("checkdata"));
    if (checkdata.userType() != QMetaType::QString) {
        read.error = QStringLiteral("\"params\" has no \"checkdata\" text");
        return read;
    }
    QJsonParseError parseError;
    const QJsonDocument document =
        QJsonDocument::fromJson(checkdata.toString().toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        read.error = parseError.error != QJsonParseError::NoError
                         ? QStringLiteral("\"checkdata\" is not JSON: %1").arg(parseError.errorString())
                         : QStringLiteral("\"checkdata\" is not a JSON object");
        return read;
    }
    const QJsonObject data = document.object();
    read.step = readStep(data.value(QStringLiteral("currentStep")));
    if (read.step != 1 && read.step != 2) {
        read.error = QStringLiteral("\"currentStep\" is neither 1 nor 2");
        return read;
    }
    const QJsonValue list = data.value(QStringLiteral("payParamList"));
    if (!list.isArray()) {
        read.error = QStringLiteral("\"payParamList\" is not a list");
        return read;
    }
    const QJsonArray entries = list.toArray();
    for (const QJsonValue &entry : entries) {
        const QJsonObject parameter = entry.toObject();
        if (!entry.isObject() || !parameter.value(QStringLiteral("name")).isString()) {
            read.error = QStringLiteral("an entry of \"payParamList\" has no name");
            return read;
        }
        const QString name = parameter.value(QStringLiteral("name")).toString();
        const QJsonValue value = parameter.value(QStringLiteral("value"));
        if (name == QLatin1String("msisdn")) {
            read.hasMsisdn = true;
            read.msisdn = value.isString() ? value.toString() : QString();
        } else if (name == QLatin1String("smscode")) {
            read.hasSmsCode = true;
            read.smsCode = value.toVariant();
        }
    }
    read.ok = true;
    return read;
}

void CheckService::handleRequest(const QVariantMap &request)
{
    const int number = ++m_requestCount;
    const Request read = readRequest(request);
    const CheckServiceBehaviour::Rule *rule = m_behaviour.ruleFor(number);
    if (rule && rule->answer == CheckServiceBehaviour::AnswerKind::None) {
        emit noted(QStringLiteral("request %1 stays unanswered").arg(number));
        return;
    }
    QVariantMap answer = answerFor(read, number, rule);
    double delay = rule && rule->delay >= 0 ? rule->delay : m_behaviour.delay;
    int copies = 1 + (rule ? rule->duplicates : 0);
    applyFault(read, &answer, &delay, &copies);
    deliver(answer, number, delay, copies);
}

void CheckService::applyFault(const Request &request, QVariantMap *answer, double *delay,
                              int *copies) const
{
    using Fault = CheckServiceBehaviour::Fault;
    QVariantMap body = answer->value(QStringLiteral("message")).toMap();
    QVariantMap step = body.value(QStringLiteral("params")).toMap();
    switch (m_fault) {
    case Fault::None:
    case Fault::NoPassport:
        return;
    case Fault::WrongUid:
        body.insert(QStringLiteral("uid"), request.uid + QStringLiteral("0"));
        break;
    case Fault::NoMessageType:
        body.remove(QStringLiteral("msgType"));
        break;
    case Fault::TextResult:
        body.insert(QStringLiteral("result"), body.value(QStringLiteral("result")).toString());
        break;
    case Fault::ParameterMap: {
        QVariantMap byName;
        for (const QVariant &parameter : step.value(QStringLiteral("payParamList")).toList())
            byName.insert(parameter.toMap().value(QStringLiteral("name")).toString(), parameter);
        if (step.contains(QStringLiteral("payParamList")))
            step.insert(QStringLiteral("payParamList"), byName);
        break;
    }
    case Fault::Twice:
        ++*copies;
        return;
    case Fault::Late:
        *delay = LateAnswerSeconds;
        return;
    case Fault::NothingToAsk:
        if (request.step == 1 && step.contains(QStringLiteral("payParamList")))
            step.insert(QStringLiteral("payParamList"), QVariantList());
        break;
    }
    if (!step.isEmpty())
        body.insert(QStringLiteral("params"), step);
    answer->insert(QStringLiteral("message"), body);
}

QVariantMap CheckService::answerFor(const Request &request, int number,
                                    const CheckServiceBehaviour::Rule *rule)
{
    using Kind = CheckServiceBehaviour::AnswerKind;
    if (!rule || rule->answer == Kind::Normal)
        return answerOnItsOwn(request, number);

    const QString kind = CheckServiceBehaviour::kindName(rule->answer);
    emit noted(QStringLiteral("request %1 gets the scripted answer \"%2\"").arg(number).arg(kind));
    switch (rule->answer) {
    case Kind::ResultError:
        return answer(request, true, rule->result, rule->description, QString(),
                      step(request.step, false, false, QString(), QVariantList()));
    case Kind::Error:
        return answer(request, true, 0, rule->description, QString(),
                      step(request.step, false, false, QString(), QVariantList()));
    case Kind::StepError:
        return answer(request, false, 0, rule->description, QString(),
                      step(request.step, false, true, rule->statusDescription, QVariantList()));
    case Kind::Incomplete:
        return answer(request, false, 0, rule->description, QString(),
                      step(request.step, false, false, rule->statusDescription, QVariantList()));
    case Kind::Recorded: {
        QVariantMap recorded = rule->message;
        if (rule->echoesUid) {
            QVariantMap body = recorded.value(QStringLiteral("message")).toMap();
            body.insert(QStringLiteral("uid"), request.uid);
            recorded.insert(QStringLiteral("message"), body);
        }
        return recorded;
    }
    case Kind::Normal:
    case Kind::None:
        break;
    }
    return answerOnItsOwn(request, number);
}

QVariantMap CheckService::answerOnItsOwn(const Request &request, int number)
{
    if (!request.ok) {
        emit noted(QStringLiteral("request %1 cannot be read: %2").arg(number).arg(request.error));
        return answer(request, true, BadRequestResult, QStringLiteral("Некорректный запрос"),
                      request.error, QVariantMap());
    }
    const auto stepError = [&](const QString &text, const QString &why) {
        emit noted(QStringLiteral("request %1, step %2: %3").arg(number).arg(request.step).arg(why));
        return answer(request, false, 0, QString(), QString(),
                      step(request.step, false, true, text, QVariantList()));
    };
    if (!request.hasMsisdn || !isWellFormedMsisdn(request.msisdn))
        return stepError(BadNumber, QStringLiteral("the phone number \"%1\" is not \"7\" and ten digits")
                                        .arg(request.msisdn));
    if (!m_behaviour.msisdn.isEmpty() && request.msisdn != m_behaviour.msisdn)
        return stepError(UnknownNumber, QStringLiteral("no customer has the number %1").arg(request.msisdn));

    if (request.step == 1) {
        m_identified.insert(request.msisdn);
        emit noted(QStringLiteral("request %1, step 1: customer %2 found, %3 parameter(s) asked")
                       .arg(number).arg(request.msisdn).arg(m_behaviour.parameters.size()));
        if (!m_behaviour.smsCode.isEmpty())
            emit smsSent(request.msisdn, m_behaviour.smsCode);
        return answer(request, false, 0, QString(), QString(),
                      step(1, true, false, QString(), m_behaviour.parameters));
    }

    if (!m_identified.contains(request.msisdn))
        return stepError(NoSession, QStringLiteral("%1 sent a code without a first step").arg(request.msisdn));
    if (!request.hasSmsCode || request.smsCode.isNull())
        return stepError(NoCode, QStringLiteral("no SMS code sent"));
    const QString code = request.smsCode.toString();
    if (!m_behaviour.smsCode.isEmpty() && code != m_behaviour.smsCode)
        return stepError(m_behaviour.wrongCodeDescription,
                         QStringLiteral("wrong SMS code \"%1\"").arg(code));
    emit noted(QStringLiteral("request %1, step 2: code accepted, check complete").arg(number));
    return answer(request, false, 0, QString(), QString(),
                  step(2, true, false, QString(), m_behaviour.completion));
}

void CheckService::deliver(const QVariantMap &answer, int number, double delaySeconds, int copies)
{
    m_pendingAnswers += copies;
    send(answer, number, int(std::lround(qMax(0.0, delaySeconds) * 1000.0 * m_timeScale)), copies);
}

void CheckService::send(const QVariantMap &answer, int number, int delayMilliseconds, int copies)
{
    QTimer::singleShot(delayMilliseconds, this, [this, answer, number, copies] {
        --m_pendingAnswers;
        emit answerReady(answer, number);
        // A copy leaves only once the event loop has gone round: the receiver has dealt with
        // the answer, and with what it posted, before the copy arrives.
        if (copies > 1)
            send(answer, number, 0, copies - 1);
    });
}

QVariantMap CheckService::answer(const Request &request, bool error, int result,
                                 const QString &description, const QString &resultDescription,
                                 const QVariantMap &step)
{
    QVariantMap body;
    body.insert(QStringLiteral("msgType"),
                request.messageType.isEmpty() ? DefaultMessageType : request.messageType);
    body.insert(QStringLiteral("uid"), request.uid);
    body.insert(QStringLiteral("error"), error);
    body.insert(QStringLiteral("result"), result);
    body.insert(QStringLiteral("description"), description);
    body.insert(QStringLiteral("resultDescription"), resultDescription);
    if (!step.isEmpty())
        body.insert(QStringLiteral("params"), step);
    QVariantMap message;
    message.insert(QStringLiteral("message"), body);
    return message;
}

QVariantMap CheckService::step(int number, bool completed, bool failed,
                               const QString &statusDescription, const QVariantList &parameters)
{
    QVariantMap step;
    step.insert(QStringLiteral("isCompleted"), completed);
    step.insert(QStringLiteral("isError"), failed);
    step.insert(QStringLiteral("statusDescription"), statusDescription);
    step.insert(QStringLiteral("currentStep"), number);
    step.insert(QStringLiteral("payParamList"), parameters);
    return step;
}
