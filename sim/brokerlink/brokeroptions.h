#ifndef BROKEROPTIONS_H
#define BROKEROPTIONS_H

#include <QtCore/QCommandLineOption>
#include <QtCore/QList>
#include <QtCore/QString>

#include "stompbus.h"

class QCommandLineParser;

// The command-line options that put a simulator on a STOMP broker, read alike by the terminal
// and the check service. Without --broker a simulator keeps its in-process bus, and a
// connection option given anyway is refused rather than silently ignored.
class BrokerOptions
{
public:
    enum class Side { Terminal, Service };

    explicit BrokerOptions(Side side = Side::Terminal);

    // The options of this side, to be added to the program's parser.
    QList<QCommandLineOption> options() const;
    // Reads them once the parser has parsed; false with a message for the user when one is
    // wrong.
    bool read(const QCommandLineParser &parser, QString *error);

    bool isEnabled() const { return m_enabled; }
    bool hasTerminalId() const { return m_hasTerminalId; }
    unsigned int terminalId() const { return m_terminalId; }
    // The terminal's kovraId: --terminal-id, or the given default.
    unsigned int terminalId(unsigned int fallback) const { return m_hasTerminalId ? m_terminalId : fallback; }

    // The bus settings. A terminal without --reply-destination gets the queue of its kovraId:
    // of --terminal-id as it stands, of the scenario's id with a suffix of this process.
    StompBus::Settings settings(unsigned int kovraId = 0) const;
    // Where the bus goes, in one line for a transcript or a log.
    QString describe(unsigned int kovraId = 0) const;
    // A refusal's reason with the options that may be wrong.
    static QString explainRefusal(Side side, StompClient::Refusal refusal, const QString &reason);

private:
    Side m_side;
    bool m_enabled = false;
    StompBus::Settings m_settings;
    bool m_hasTerminalId = false;
    unsigned int m_terminalId = 0;
    QString m_ownReplySuffix;
};

#endif // BROKEROPTIONS_H
