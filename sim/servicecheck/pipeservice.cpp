#include "pipeservice.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonParseError>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

// Lines of the service's standard error kept for the report.
const int KeptErrorLines = 5;

// Leads a process group of its own, so that the shell and what it starts end together.
class GroupLeaderProcess : public QProcess
{
public:
    explicit GroupLeaderProcess(QObject *parent)
        : QProcess(parent)
    {
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        setChildProcessModifier([] { setpgid(0, 0); });
#endif
    }

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
protected:
    void setupChildProcess() override { setpgid(0, 0); }
#endif
};

} // namespace

PipeService::PipeService(const QString &command, QObject *parent)
    : QObject(parent)
    , m_command(command)
    , m_process(new GroupLeaderProcess(this))
{
    connect(m_process, &QProcess::readyReadStandardOutput, this, &PipeService::readAnswers);
    connect(m_process, &QProcess::readyReadStandardError, this, &PipeService::readErrors);
    connect(m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this, [this] {
        readAnswers();
        readErrors();
        emit finished();
    });
}

PipeService::~PipeService()
{
    kill();
}

bool PipeService::start(QString *error)
{
    if (m_command.trimmed().isEmpty()) {
        *error = QStringLiteral("--service-command is empty");
        return false;
    }
    m_process->setProgram(QStringLiteral("/bin/sh"));
    m_process->setArguments({QStringLiteral("-c"), m_command});
    m_process->start();
    if (!m_process->waitForStarted(30000)) {
        *error = QStringLiteral("cannot run \"%1\": %2").arg(m_command, m_process->errorString());
        return false;
    }
    return true;
}

void PipeService::closeInput()
{
    m_inputClosed = true;
    m_process->closeWriteChannel();
}

void PipeService::kill()
{
    if (m_process->state() == QProcess::NotRunning)
        return;
    const pid_t group = pid_t(m_process->processId());
    if (group > 0)
        ::kill(-group, SIGKILL);
    m_process->kill();
    m_process->waitForFinished(5000);
}

QString PipeService::exitDescription() const
{
    if (m_process->exitStatus() == QProcess::CrashExit)
        return QStringLiteral("ended abnormally (%1)").arg(m_process->errorString());
    return QStringLiteral("exited with code %1").arg(m_process->exitCode());
}

int PipeService::exitCode() const
{
    return m_process->exitStatus() == QProcess::CrashExit ? -1 : m_process->exitCode();
}

void PipeService::send(const QVariantMap &request)
{
    if (m_process->state() != QProcess::Running)
        return;
    m_process->write(QJsonDocument::fromVariant(request).toJson(QJsonDocument::Compact) + '\n');
}

void PipeService::readAnswers()
{
    m_pending += m_process->readAllStandardOutput();
    int end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(end).trimmed();
        m_pending.remove(0, end + 1);
        if (line.isEmpty())
            continue;
        QJsonParseError problem;
        const QJsonDocument document = QJsonDocument::fromJson(line, &problem);
        if (problem.error != QJsonParseError::NoError || !document.isObject())
            emit unreadable(line);
        else
            emit answerReceived(document.toVariant().toMap());
    }
}

void PipeService::readErrors()
{
    const QByteArray chunk = m_process->readAllStandardError();
    std::fwrite(chunk.constData(), 1, size_t(chunk.size()), stderr);
    std::fflush(stderr);
    m_pendingError += chunk;
    int end;
    while ((end = m_pendingError.indexOf('\n')) >= 0) {
        m_errorLines.append(QString::fromUtf8(m_pendingError.left(end)).trimmed());
        m_pendingError.remove(0, end + 1);
    }
    if (m_process->state() == QProcess::NotRunning && !m_pendingError.trimmed().isEmpty()) {
        m_errorLines.append(QString::fromUtf8(m_pendingError).trimmed());
        m_pendingError.clear();
    }
    m_errorLines.removeAll(QString());
    while (m_errorLines.size() > KeptErrorLines)
        m_errorLines.removeFirst();
}
