#ifndef PIPESERVICE_H
#define PIPESERVICE_H

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QProcess>
#include <QtCore/QStringList>
#include <QtCore/QVariantMap>

// A check service run as a local program: each request goes to its standard input as one line
// of JSON, each line of its standard output is one answer. The command is run as /bin/sh -c
// runs it, in a process group of its own so that ending it ends what it started; its standard
// error passes through, and its last lines are kept for the report when it exits.
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
    bool inputClosed() const { return m_inputClosed; }
    // Ends the program now.
    void kill();
    bool isRunning() const { return m_process->state() != QProcess::NotRunning; }
    // How the program ended, in words ("exited with code 3", "was killed by signal 11").
    QString exitDescription() const;
    int exitCode() const;
    // The last lines the program wrote to its standard error.
    QStringList lastErrorLines() const { return m_errorLines; }

public slots:
    void send(const QVariantMap &request);

signals:
    void answerReceived(QVariantMap answer);
    void unreadable(QByteArray line);
    void finished();

private slots:
    void readAnswers();
    void readErrors();

private:
    QString m_command;
    QProcess *m_process;
    QByteArray m_pending;
    QByteArray m_pendingError;
    QStringList m_errorLines;
    bool m_inputClosed = false;
};

#endif // PIPESERVICE_H
