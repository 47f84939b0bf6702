#ifndef ANSWERWATCH_H
#define ANSWERWATCH_H

#include <QtCore/QElapsedTimer>
#include <QtCore/QHash>
#include <QtCore/QObject>
#include <QtCore/QSet>
#include <QtCore/QStringList>
#include <QtCore/QVariantMap>

#include "answerrules.h"

// Stands between the plugin's pay screen and the check service: every request passes out
// through send(), every answer in through takeAnswer() and on to the pay screen through
// messageReceived(). On the way each answer is matched with its request and judged: by the
// answer rules, and by the exchange's own (once, in time, never unasked).
class AnswerWatch : public QObject
{
    Q_OBJECT
public:
    struct Provider
    {
        qint64 id = 0;
        qint64 baseId = 0;
        QStringList parameters;
    };

    // waitMilliseconds: how long the terminal waits for an answer.
    explicit AnswerWatch(int waitMilliseconds, QObject *parent = nullptr);

    // The scale of the terminal's clock, for reporting times in the terminal's seconds.
    void setTimeScale(double timeScale) { m_timeScale = timeScale; }

    // The requests from now on belong to this dialogue.
    void beginDialogue(const QString &name, const Provider &provider);

    int requestCount() const { return m_sent; }
    int answerCount() const { return m_answers; }
    // Requests of step 1 or 2 sent, and those that got an answer, since the watch began.
    int sentOfStep(int step) const { return step == 1 || step == 2 ? m_sentOfStep[step - 1] : 0; }
    int answeredOfStep(int step) const { return step == 1 || step == 2 ? m_answeredOfStep[step - 1] : 0; }
    // The rules some answer was judged by.
    const QSet<QString> &rulesMet() const { return m_met; }
    // Takes the dialogue's unanswered requests as given up, without a violation: the service
    // is gone and has been reported as such.
    void abandonDialogue();
    // Requests of this dialogue still without an answer.
    int unanswered() const;
    // Milliseconds until the last unanswered request's wait is over; 0 when none is left.
    int millisecondsToWait() const;
    // Counts every unanswered request as lost: the dialogue is being closed.
    void closeDialogue();

public slots:
    void send(const QVariantMap &request);
    void takeAnswer(const QVariantMap &answer);
    // A line from the service that is not a JSON object.
    void takeUnreadable(const QByteArray &line);

signals:
    void requestOut(QVariantMap request);
    void messageReceived(QVariantMap answer);
    void violated(AnswerRules::Violation violation);
    void noted(AnswerRules::Violation note);

private:
    struct Sent
    {
        QString uid;
        QString messageType;
        int step = 0;
        qint64 sentAt = 0;
        int answers = 0;
        // Counted as lost when its dialogue closed; an answer after that is not reported again.
        bool lost = false;
        int number = 0;
        QString dialogue;
    };

    QString describe(const Sent &request) const;
    QString seconds(qint64 milliseconds) const;
    void report(AnswerRules::Violation violation, const Sent *request);

    int m_wait;
    double m_timeScale = 1.0;
    QElapsedTimer m_clock;
    QString m_dialogue;
    Provider m_provider;
    QVariantList m_firstParameters;
    QHash<QString, Sent> m_requests;
    // This dialogue's requests in the order sent.
    QStringList m_order;
    int m_sent = 0;
    int m_answers = 0;
    int m_sentOfStep[2] = {0, 0};
    int m_answeredOfStep[2] = {0, 0};
    QSet<QString> m_met;
};

#endif // ANSWERWATCH_H
