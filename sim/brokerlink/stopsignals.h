#ifndef STOPSIGNALS_H
#define STOPSIGNALS_H

#include <QtCore/QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a Qt signal, so that a program stopped by its pid or by Ctrl-C
// ends its work in the event loop: connections closed properly, nothing cut off half-written.
// The handlers only write to a socket pair; the notifier reads it. One instance per process;
// the default handlers come back when it is destroyed.
class StopSignals : public QObject
{
    Q_OBJECT
public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

    // False when the handlers could not be installed (the signals then end the process).
    bool isInstalled() const { return m_notifier != nullptr; }
    // How many stop signals came.
    int count() const { return m_count; }

signals:
    void stopRequested(int signalNumber);

private slots:
    void readSignals();

private:
    static void handle(int signalNumber);

    QSocketNotifier *m_notifier = nullptr;
    int m_count = 0;
};

#endif // STOPSIGNALS_H
