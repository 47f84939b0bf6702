#include "transcriptprinter.h"

#include "ipaybyprovider.h"
#include "messagewidgetcontroller.h"
#include "pluginproviderparameterinputcontroller.h"
#include "provider.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QMap>
#include <QtCore/QStringList>

#include <cstdio>

namespace {

const int TagWidth = 11;

QString buttonsText(const MessageWidgetController *message)
{
    switch (message->buttons()) {
    case MessageWidgetController::NoButtons:
        return QStringLiteral("no buttons");
    case MessageWidgetController::YesNoButtons:
        return QStringLiteral("Yes/No");
    default:
        return message->okCaption().isEmpty()
                   ? QStringLiteral("OK")
                   : QStringLiteral("OK captioned %1").arg(TranscriptPrinter::quoted(message->okCaption()));
    }
}

} // namespace

TranscriptPrinter::TranscriptPrinter(QObject *parent)
    : QObject(parent)
    , m_out(stdout)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    m_out.setCodec("UTF-8");
#endif
}

QString TranscriptPrinter::quoted(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""))
        .replace(QLatin1Char('\r'), QLatin1String("\\r"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString TranscriptPrinter::compactJson(const QVariant &value)
{
    return QString::fromUtf8(QJsonDocument::fromVariant(value).toJson(QJsonDocument::Compact));
}

void TranscriptPrinter::line(const QString &tag, const QString &text)
{
    const QString lead = tag.isEmpty() ? QString() : QLatin1Char('[') + tag + QLatin1Char(']');
    m_out << lead.leftJustified(TagWidth) << text << '\n';
    m_out.flush();
}

void TranscriptPrinter::header(const QString &title, const QString &description)
{
    m_out << "== " << title << '\n';
    if (!description.isEmpty())
        m_out << "   " << description << '\n';
    m_out.flush();
}

void TranscriptPrinter::plugin(const QString &path, IPayByProvider *plugin)
{
    QStringList filters;
    const QVariantList stompFilters = plugin->getStompFilters();
    for (const QVariant &filter : stompFilters)
        filters.append(quoted(filter.toString()));
    line(QStringLiteral("plugin"), path);
    line(QString(), QStringLiteral("%1, %2 (%3), version %4, built %5, bus filter %6")
                        .arg(quoted(plugin->pluginDescription()), plugin->pluginStringId())
                        .arg(plugin->pluginId())
                        .arg(plugin->pluginVersion(), plugin->pluginBuild(),
                             filters.join(QStringLiteral(", "))));
}

void TranscriptPrinter::screen(PluginProviderParameterInputController *screen, bool again)
{
    const ProviderParameter parameter = screen->parameter();
    line(QStringLiteral("screen"), QStringLiteral("%1%2 on %3: %4")
                                       .arg(again ? QStringLiteral("back on ") : QString(),
                                            parameter.name(), quoted(screen->providerName()),
                                            quoted(parameter.label())));
    line(QString(), QStringLiteral("mask %1, pattern %2, keyboard %3, value %4")
                        .arg(quoted(parameter.mask()), quoted(parameter.regExp()),
                             quoted(parameter.keyboardType()), quoted(screen->text())));
    if (parameter.isChoice()) {
        QMap<int, QString> byPosition;
        const QMap<QString, QVariant> values = parameter.values();
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            byPosition.insert(it.value().toInt(), it.key());
        if (byPosition.isEmpty())
            line(QString(), QStringLiteral("no choices"));
        for (auto it = byPosition.cbegin(); it != byPosition.cend(); ++it)
            line(QString(), QStringLiteral("choice %1: %2").arg(it.key()).arg(quoted(it.value())));
    }
}

void TranscriptPrinter::message(MessageWidgetController *message)
{
    const QString closing = message->timeout() > 0
                                ? QStringLiteral(", closes by itself after %1 s").arg(message->timeout())
                                : QString();
    line(QStringLiteral("message"), QStringLiteral("%1 (%2%3)")
                                        .arg(quoted(message->text()), buttonsText(message), closing));
}

void TranscriptPrinter::messageClosed(MessageWidgetController *message, int code)
{
    line(QStringLiteral("closed"), QStringLiteral("%1 with code %2").arg(quoted(message->text())).arg(code));
}

void TranscriptPrinter::customer(const QString &action)
{
    line(QStringLiteral("customer"), action);
}

void TranscriptPrinter::service(const QString &note)
{
    line(QStringLiteral("service"), note);
}

void TranscriptPrinter::sms(const QString &msisdn, const QString &code)
{
    line(QStringLiteral("sms"), QStringLiteral("to +%1: confirmation code %2").arg(msisdn, code));
}

void TranscriptPrinter::request(const QVariantMap &request)
{
    const int number = ++m_requests;
    m_requestNumbers.insert(request.value(QStringLiteral("uid")).toString(), number);
    line(QStringLiteral("request"), QStringLiteral("#%1 %2").arg(number).arg(compactJson(request)));
    const QVariant checkdata = request.value(QStringLiteral("params")).toMap().value(QStringLiteral("checkdata"));
    if (checkdata.isValid())
        line(QString(), QStringLiteral("checkdata %1").arg(checkdata.toString()));
}

void TranscriptPrinter::answer(const QVariantMap &answer)
{
    const QString uid = answer.value(QStringLiteral("message")).toMap().value(QStringLiteral("uid")).toString();
    const int number = m_requestNumbers.value(uid);
    const QString to = number > 0 ? QStringLiteral("to #%1").arg(number) : QStringLiteral("to no known request");
    line(QStringLiteral("answer"), QStringLiteral("%1 %2").arg(to, compactJson(answer)));
}

void TranscriptPrinter::paymentDetails(const Provider &provider)
{
    line(QStringLiteral("end"), QStringLiteral("payment details for %1 %2:")
                                    .arg(provider.id()).arg(quoted(provider.name())));
    int width = 0;
    for (const ProviderParameter &parameter : provider.parameters())
        width = qMax(width, parameter.name().size());
    for (const ProviderParameter &parameter : provider.parameters()) {
        line(QString(), QStringLiteral("  %1 %2%3  (%4)")
                            .arg(parameter.name().leftJustified(width), quoted(parameter.displayValue()),
                                 parameter.maskedView() ? QStringLiteral(" masked") : QString(),
                                 parameter.label()));
    }
}

void TranscriptPrinter::cancellation()
{
    line(QStringLiteral("end"), QStringLiteral("the payment was cancelled"));
}

void TranscriptPrinter::verdict(bool passed, const QStringList &reasons)
{
    m_out << (passed ? "PASS" : "FAIL");
    if (!reasons.isEmpty())
        m_out << ": " << reasons.first();
    m_out << '\n';
    for (int i = 1; i < reasons.size(); ++i)
        m_out << "      " << reasons.at(i) << '\n';
    m_out.flush();
}
