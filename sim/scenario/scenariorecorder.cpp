#include "scenariorecorder.h"

#include <QtCore/QDateTime>
#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonParseError>
#include <QtCore/QSaveFile>

#include <cmath>

ScenarioRecorder::ScenarioRecorder(double timeScale, QObject *parent)
    : QObject(parent)
    , m_timeScale(timeScale > 0 ? timeScale : 1.0)
{
    m_clock.start();
}

bool ScenarioRecorder::setSource(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QJsonParseError problem;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &problem);
    if (!document.isObject()) {
        *error = QStringLiteral("%1 is not a JSON object: %2").arg(path, problem.errorString());
        return false;
    }
    m_source = document.object();
    m_sourceName = m_source.value(QStringLiteral("name")).toString();
    return true;
}

void ScenarioRecorder::restart()
{
    m_exchanges.clear();
}

void ScenarioRecorder::requestSent(const QVariantMap &request)
{
    Exchange exchange;
    exchange.uid = request.value(QStringLiteral("uid")).toString();
    exchange.sentAt = m_clock.elapsed();
    m_exchanges.append(exchange);
}

void ScenarioRecorder::answerReceived(const QVariantMap &answer)
{
    const QString uid = answer.value(QStringLiteral("message")).toMap().value(QStringLiteral("uid")).toString();
    Exchange *match = nullptr;
    for (int i = m_exchanges.size() - 1; i >= 0 && !match; --i) {
        if (m_exchanges.at(i).uid == uid)
            match = &m_exchanges[i];
    }
    // An answer that names no request sent is kept for the latest request still waiting, uid
    // and all: replayed, it is just as foreign.
    for (int i = m_exchanges.size() - 1; i >= 0 && !match; --i) {
        if (!m_exchanges.at(i).answered)
            match = &m_exchanges[i];
    }
    if (!match)
        return;
    if (match->answered) {
        if (match->answer == answer)
            ++match->copies;
        return;
    }
    match->answered = true;
    match->answer = answer;
    match->answeredAt = m_clock.elapsed();
    match->echoesUid = uid == match->uid;
}

QJsonObject ScenarioRecorder::scenario(const QString &end, const QMap<QString, QString> &providerValues) const
{
    QJsonArray script;
    for (int i = 0; i < m_exchanges.size(); ++i) {
        const Exchange &exchange = m_exchanges.at(i);
        QJsonObject rule{{QStringLiteral("request"), i + 1}};
        if (!exchange.answered) {
            rule.insert(QStringLiteral("answer"), QStringLiteral("none"));
        } else {
            const double seconds = (exchange.answeredAt - exchange.sentAt) / 1000.0 / m_timeScale;
            rule.insert(QStringLiteral("answer"), QStringLiteral("recorded"));
            rule.insert(QStringLiteral("delay"), std::round(seconds * 1000.0) / 1000.0);
            if (exchange.copies > 0)
                rule.insert(QStringLiteral("duplicates"), qMin(exchange.copies, 100));
            rule.insert(QStringLiteral("echoesUid"), exchange.echoesUid);
            rule.insert(QStringLiteral("message"), QJsonObject::fromVariantMap(exchange.answer));
        }
        script.append(rule);
    }
    QJsonObject values;
    for (auto it = providerValues.cbegin(); it != providerValues.cend(); ++it)
        values.insert(it.key(), it.value());

    QJsonObject recorded;
    recorded.insert(QStringLiteral("name"), m_sourceName + QStringLiteral("-recorded"));
    recorded.insert(QStringLiteral("description"),
                    QStringLiteral("%1 as played on %2, with the service's answers as they came.")
                        .arg(m_sourceName, QDateTime::currentDateTimeUtc().toString(Qt::ISODate)));
    if (m_source.contains(QStringLiteral("kovraId")))
        recorded.insert(QStringLiteral("kovraId"), m_source.value(QStringLiteral("kovraId")));
    recorded.insert(QStringLiteral("provider"), m_source.value(QStringLiteral("provider")));
    recorded.insert(QStringLiteral("service"), QJsonObject{{QStringLiteral("delay"), 0},
                                                           {QStringLiteral("script"), script}});
    recorded.insert(QStringLiteral("customer"), m_source.value(QStringLiteral("customer")));
    recorded.insert(QStringLiteral("expected"), QJsonObject{{QStringLiteral("end"), end},
                                                            {QStringLiteral("requests"), m_exchanges.size()},
                                                            {QStringLiteral("providerValues"), values}});
    return recorded;
}

bool ScenarioRecorder::write(const QString &path, const QString &end,
                             const QMap<QString, QString> &providerValues, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    file.write(QJsonDocument(scenario(end, providerValues)).toJson(QJsonDocument::Indented));
    if (!file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
