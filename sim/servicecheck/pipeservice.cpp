#include "pipeservice.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonParseError>

PipeService::PipeService(const QString &command, QObject *parent)
    : QObject(parent)
    , m_command(command)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &PipeService::readAnswers);
    connect(&m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this, [this] {
        readAnswers();
        emit finished();
    });
}

PipeService::~PipeService()
{
    kill();
}

bool PipeService::start(QString *error)
{
    QStringList arguments = QProcess::splitCommand(m_command);
    if (arguments.isEmpty()) {
        *error = QStringLiteral("--service-command is empty");
        return false;
    }
    const QString program = arguments.takeFirst();
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(30000)) {
        *error = QStringLiteral("cannot run \"%1\": %2").arg(m_command, m_process.errorString());
        return false;
    }
    return true;
}

void PipeService::closeInput()
{
    m_process.closeWriteChannel();
}

void PipeService::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

void PipeService::send(const QVariantMap &request)
{
    if (m_process.state() != QProcess::Running)
        return;
    m_process.write(QJsonDocument::fromVariant(request).toJson(QJsonDocument::Compact) + '\n');
}

void PipeService::readAnswers()
{
    m_pending += m_process.readAllStandardOutput();
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
