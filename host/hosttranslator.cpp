#include "hosttranslator.h"

HostTranslator::HostTranslator(QObject *parent)
    : QTranslator(parent)
{
}

bool HostTranslator::loadLanguage(const QString &language)
{
    return load(QStringLiteral("paymenthost_") + language, QStringLiteral(":/paymenthost/translations"));
}
