#ifndef TERMINALBROKERLINK_H
#define TERMINALBROKERLINK_H

#include <QtCore/QObject>
#include <QtCore/QString>

#include "stompbus.h"

// A simulated terminal's connection to the broker. It tells what becomes of the connection in
// lines for the transcript, holds a scripted run until the broker first answers, and keeps the
// last reason the broker could not be reached for when the run gives up.
class TerminalBrokerLink : public QObject
{
    Q_OBJECT
public:
    explicit TerminalBrokerLink(const StompBus::Settings &settings, QObject *parent = nullptr);

    StompBus *bus() const { return m_bus; }
    // Starts connecting; false, with *error set, when the settings are not usable.
    bool open(QString *error);
    bool hasConnected() const { return m_everConnected; }
    bool isWaiting() const { return m_waiting; }
    // Holds the dialogue until the broker's first CONNECTED, which then brings ready().
    void waitForConnection();
    // Stops waiting, and says why the broker was not reached within the given seconds.
    QString giveUp(double seconds);
    // Closes the connection cleanly, closed() following; false when there is no connection to
    // close, and closed() will not come.
    bool close();

signals:
    // A line about the broker for the transcript.
    void noted(const QString &text);
    // The broker answered while a run was held: its dialogue may start.
    void ready();
    // The broker refused the login or a subscription: asking again cannot help. The reason
    // names the options to check.
    void refused(const QString &reason);
    void closed();

private slots:
    void connected();
    void lost(const QString &reason);

private:
    StompBus *m_bus;
    bool m_up = false;
    bool m_everConnected = false;
    bool m_waiting = false;
    QString m_lastProblem;
};

#endif // TERMINALBROKERLINK_H
