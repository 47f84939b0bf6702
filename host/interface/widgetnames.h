#ifndef WIDGETNAMES_H
#define WIDGETNAMES_H

#include <QtCore/QObject>
#include <QtCore/QString>

#include "hostexport.h"

// The registry of the host's standard form files, so that plugins need not hard-code them.
class PAYMENTHOST_EXPORT WidgetNames : public QObject
{
    Q_OBJECT
public:
    explicit WidgetNames(bool useCustomNames = false, QObject *parent = nullptr);

    QString messageViewFileName() const;
    QString parameterInputViewFileName() const;

private:
    bool m_useCustomNames;
};

#endif // WIDGETNAMES_H
