#ifndef HOSTTRANSLATOR_H
#define HOSTTRANSLATOR_H

#include <QtCore/QString>
#include <QtCore/QTranslator>

#include "hostexport.h"

// The stand-in host's own texts (its forms' buttons, the input hints, the simulator's window)
// in one of the kiosk's languages. They are built into the host library, so a host never runs
// without them; a program installs this beside the plugin's translation.
class PAYMENTHOST_EXPORT HostTranslator : public QTranslator
{
    Q_OBJECT
public:
    explicit HostTranslator(QObject *parent = nullptr);

    // Loads the texts for language ("en"); false when the host has none in it, as for "ru",
    // the language its texts are written in.
    bool loadLanguage(const QString &language);
};

#endif // HOSTTRANSLATOR_H
