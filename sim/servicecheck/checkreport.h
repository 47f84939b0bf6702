#ifndef CHECKREPORT_H
#define CHECKREPORT_H

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QVariantMap>

#include "answerrules.h"

class QTextStream;

// What a conformance run found: each dialogue played and how it ended, and each rule an
// answer broke. Written for people as text and for machines as JSON.
class CheckReport
{
public:
    struct Dialogue
    {
        QString scenario;
        // "payment", "cancelled", or empty when the dialogue got stuck (see note).
        QString end;
        QString note;
        int requests = 0;
        int answers = 0;
        int violations = 0;
        QString recording;
    };

    void setService(const QString &service) { m_service = service; }
    void addDialogue(const Dialogue &dialogue) { m_dialogues.append(dialogue); }
    void addViolation(const AnswerRules::Violation &violation) { m_violations.append(violation); }

    int violationCount() const { return m_violations.size(); }
    const QList<AnswerRules::Violation> &violations() const { return m_violations; }

    // One line for a violation, as it is shown while the run goes on.
    static QString line(const AnswerRules::Violation &violation);
    void writeText(QTextStream &out) const;
    QVariantMap toVariant() const;
    bool writeJson(const QString &path, QString *error) const;

private:
    QString m_service;
    QList<Dialogue> m_dialogues;
    QList<AnswerRules::Violation> m_violations;
};

#endif // CHECKREPORT_H
