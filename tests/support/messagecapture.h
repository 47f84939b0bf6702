#ifndef MESSAGECAPTURE_H
#define MESSAGECAPTURE_H

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QStringList>

// Takes the log lines written while it lives, with their category and origin, instead of
// printing them: QTest::ignoreMessage can neither tell categories apart nor miss a line.
class MessageCapture
{
public:
    struct Line
    {
        QtMsgType type;
        QByteArray category;
        QByteArray file;
        QByteArray function;
        QString text;
    };

    MessageCapture() : m_outer(current()), m_previous(qInstallMessageHandler(&handle))
    {
        current() = this;
    }
    ~MessageCapture()
    {
        qInstallMessageHandler(m_previous);
        current() = m_outer;
    }
    MessageCapture(const MessageCapture &) = delete;
    MessageCapture &operator=(const MessageCapture &) = delete;

    QList<Line> lines;

    // "<category> <debug|warning|critical|fatal|info>: <text>" for the lines of categories.
    QStringList summary(const QList<QByteArray> &categories) const
    {
        static const char *const types[] = {"debug", "warning", "critical", "fatal", "info"};
        QStringList result;
        for (const Line &line : lines) {
            if (categories.contains(line.category))
                result << QString::fromLatin1(line.category + ' ' + types[line.type] + ": ") + line.text;
        }
        return result;
    }

private:
    static MessageCapture *&current()
    {
        static MessageCapture *capture = nullptr;
        return capture;
    }
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (MessageCapture *capture = current())
            capture->lines.append({type, context.category, context.file, context.function, text});
    }

    MessageCapture *m_outer;
    QtMessageHandler m_previous;
};

#endif // MESSAGECAPTURE_H
