#ifndef TRANSCRIPTPRINTER_H
#define TRANSCRIPTPRINTER_H

#include <QtCore/QHash>
#include <QtCore/QObject>
#include <QtCore/QTextStream>
#include <QtCore/QVariantMap>

class IPayByProvider;
class MessageWidgetController;
class PluginProviderParameterInputController;
class Provider;

// Writes what happens at the terminal as a readable transcript: the screens and messages the
// customer sees, what the customer does, the requests and answers on the bus, and the end.
class TranscriptPrinter : public QObject
{
    Q_OBJECT
public:
    explicit TranscriptPrinter(QObject *parent = nullptr);

    void header(const QString &title, const QString &description);
    void line(const QString &tag, const QString &text);
    void plugin(const QString &path, IPayByProvider *plugin);

    void screen(PluginProviderParameterInputController *screen, bool again);
    void message(MessageWidgetController *message);
    void paymentDetails(const Provider &provider);
    void cancellation();
    void verdict(bool passed, const QStringList &reasons);

    static QString compactJson(const QVariant &value);
    static QString quoted(const QString &text);

public slots:
    void request(const QVariantMap &request);
    void answer(const QVariantMap &answer);
    void messageClosed(MessageWidgetController *message, int code);
    void customer(const QString &action);
    void service(const QString &note);
    void sms(const QString &msisdn, const QString &code);

private:
    QTextStream m_out;
    int m_requests = 0;
    // Request uid to its number, so that an answer says which request it answers.
    QHash<QString, int> m_requestNumbers;
};

#endif // TRANSCRIPTPRINTER_H
