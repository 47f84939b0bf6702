#ifndef CHECKSERVICE_H
#define CHECKSERVICE_H

#include <QtCore/QObject>
#include <QtCore/QSet>
#include <QtCore/QString>
#include <QtCore/QVariantMap>

#include "checkservicebehaviour.h"

// The online-check service as the terminal meets it on the bus, played from a behaviour. It
// reads each check request as the real service does (the "checkdata" JSON, the step, the phone
// number, the SMS code) and answers with the request's uid and message type, always later,
// through the event loop. It knows no transport: requests come in through handleRequest() and
// answers leave through answerReady(), each with the number of the request it answers, so that
// a transport sends it back the way that request came whatever the answer holds.
class CheckService : public QObject
{
    Q_OBJECT
public:
    // The message type answered when a request names none.
    static const QString DefaultMessageType;
    // The result code of an answer to a request that the service cannot read.
    static const int BadRequestResult = 400;

    explicit CheckService(const CheckServiceBehaviour &behaviour, QObject *parent = nullptr);

    // Scales every delay: 0.02 answers a request planned for 1 s after 20 ms.
    void setTimeScale(double scale);
    double timeScale() const { return m_timeScale; }

    // Makes the service break the rules in that way from now on.
    void setFault(CheckServiceBehaviour::Fault fault);
    CheckServiceBehaviour::Fault fault() const { return m_fault; }
    // How long after a request a late answer leaves, in seconds of dialogue time: well past
    // the terminal's 60 s wait.
    static constexpr double LateAnswerSeconds = 90;

    int requestCount() const { return m_requestCount; }
    // Answers scheduled but not delivered yet.
    int pendingAnswers() const { return m_pendingAnswers; }

    // The parts of a check request that the service goes by; ok is false, with the reason in
    // error, when the request cannot be read.
    struct Request
    {
        bool ok = false;
        QString error;
        QString uid;
        QString messageType;
        int step = -1;
        bool hasMsisdn = false;
        QString msisdn;
        bool hasSmsCode = false;
        QVariant smsCode;
    };
    static Request readRequest(const QVariantMap &request);
    static bool isWellFormedMsisdn(const QString &msisdn);

public slots:
    void handleRequest(const QVariantMap &request);

signals:
    // requestNumber is requestCount() as it was once that request was counted.
    void answerReady(QVariantMap answer, int requestNumber);
    // The customer's phone gets the code that the service will expect.
    void smsSent(QString msisdn, QString code);
    // Why the service answers as it does, in words for a transcript.
    void noted(QString text);

private:
    QVariantMap answerFor(const Request &request, int number,
                          const CheckServiceBehaviour::Rule *rule);
    QVariantMap answerOnItsOwn(const Request &request, int number);
    void applyFault(const Request &request, QVariantMap *answer, double *delay, int *copies) const;
    void deliver(const QVariantMap &answer, int number, double delaySeconds, int copies);
    void send(const QVariantMap &answer, int number, int delayMilliseconds, int copies);

    static QVariantMap answer(const Request &request, bool error, int result,
                              const QString &description, const QString &resultDescription,
                              const QVariantMap &step);
    static QVariantMap step(int number, bool completed, bool failed,
                            const QString &statusDescription, const QVariantList &parameters);

    CheckServiceBehaviour m_behaviour;
    CheckServiceBehaviour::Fault m_fault = CheckServiceBehaviour::Fault::None;
    double m_timeScale = 1.0;
    int m_requestCount = 0;
    int m_pendingAnswers = 0;
    // Numbers whose first step was answered: only they may send a code.
    QSet<QString> m_identified;
};

#endif // CHECKSERVICE_H
