#ifndef CHECKREPORT_H
#define CHECKREPORT_H

#include <QtCore/QList>
#include <QtCore/QSet>
#include <QtCore/QString>
#include <QtCore/QVariantMap>

#include "answerrules.h"

class QTextStream;

// What a conformance run found: each dialogue played and how it ended, each rule an answer
// broke, each field sent in another form the plugin reads the same (a note), and how much the
// run exercised. Written for people as text, for machines as JSON, and for CI as JUnit XML.
class CheckReport
{
public:
    struct Dialogue
    {
        QString scenario;
        // The end the scenario plays to.
        QString expectedEnd;
        // "payment", "cancelled", or empty when the dialogue got stuck (see note).
        QString end;
        QString note;
        int requests = 0;
        int answers = 0;
        // Requests of step 1 and 2 sent, and those answered.
        int sent[2] = {0, 0};
        int answered[2] = {0, 0};
        // This dialogue's violations and notes: so many from the first of each in the report.
        int firstViolation = 0;
        int violations = 0;
        int firstNote = 0;
        int notes = 0;
        QString recording;
        // The command that plays the recording offline, for a dialogue that failed.
        QString replay;

        bool reachedEnd() const { return !end.isEmpty() && end == expectedEnd; }
    };

    void setService(const QString &service) { m_service = service; }
    // A dialogue that did not reach its end fails the check.
    void setRequireComplete(bool require) { m_requireComplete = require; }
    void addDialogue(const Dialogue &dialogue) { m_dialogues.append(dialogue); }
    void addViolation(const AnswerRules::Violation &violation) { m_violations.append(violation); }
    void addNote(const AnswerRules::Violation &note) { m_notes.append(note); }
    void setRulesMet(const QSet<QString> &rules) { m_rulesMet = rules; }

    int violationCount() const { return m_violations.size(); }
    int noteCount() const { return m_notes.size(); }
    const QList<AnswerRules::Violation> &violations() const { return m_violations; }
    const QList<Dialogue> &dialogues() const { return m_dialogues; }
    int reachedEndCount() const;
    bool passed() const;

    // One line for a violation or a note, as it is shown while the run goes on.
    static QString line(const AnswerRules::Violation &violation);
    // The verdict in one line: PASS or FAIL, with what the run exercised.
    QString verdict() const;
    void writeText(QTextStream &out) const;
    QVariantMap toVariant() const;
    bool writeJson(const QString &path, QString *error) const;
    bool writeJUnit(const QString &path, QString *error) const;

private:
    QString m_service;
    bool m_requireComplete = false;
    QList<Dialogue> m_dialogues;
    QList<AnswerRules::Violation> m_violations;
    QList<AnswerRules::Violation> m_notes;
    QSet<QString> m_rulesMet;
};

#endif // CHECKREPORT_H
