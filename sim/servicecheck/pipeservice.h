#ifndef PIPESERVICE_H
#define PIPESERVICE_H

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QProcess>
#include <QtCore/QVariantMap>

// A check service run as a local program: each request goes to its standard input as one line
// of JSON, each line of its standard output is one answer. Its standard error passes through.
class PipeService : public QObject
{
    Q_OBJECT
public:
    explicit PipeService(const QString &command, QObject *parent = nullptr);
    ~PipeService() override;

    // Starts the program and waits until it runs; false with the reason when it cannot.
    bool start(QString *error);
    // No more requests: the program ends once its answers are out; finished() follows.
    void closeInput();
    // Ends the program now.
    void kill();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

public slots:
    void send(const QVariantMap &request);

signals:
    void answerReceived(QVariantMap answer);
    void unreadable(QByteArray line);
    void finished();

private slots:
    void readAnswers();

private:
    QString m_command;
    QProcess m_process;
    QByteArray m_pending;
};

#endif // PIPESERVICE_H
