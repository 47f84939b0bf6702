#ifndef PROVIDERPARAMETER_H
#define PROVIDERPARAMETER_H

#include <QtCore/QMap>
#include <QtCore/QString>
#include <QtCore/QVariant>

#include "hostexport.h"

// One field of a provider's payment form: what the customer is asked (label, pattern, mask,
// keyboard, choices) and the value that the payment is made with.
class PAYMENTHOST_EXPORT ProviderParameter
{
public:
    ProviderParameter() = default;
    explicit ProviderParameter(const QString &name, const QString &label = QString(),
                               const QString &value = QString());

    QString name() const { return m_name; }
    QString label() const { return m_label; }
    QString checkLabel() const { return m_checkLabel; }
    QString regExp() const { return m_regExp; }
    QString mask() const { return m_mask; }
    QString value() const { return m_value; }
    QString keyboardType() const { return m_keyboardType; }
    bool maskedView() const { return m_maskedView; }
    // Caption of each choice to its position; empty for a parameter that is typed in.
    QMap<QString, QVariant> values() const { return m_values; }

    void setName(const QString &name) { m_name = name; }
    void setLabel(const QString &label) { m_label = label; }
    void setCheckLabel(const QString &checkLabel) { m_checkLabel = checkLabel; }
    void setRegExp(const QString &regExp) { m_regExp = regExp; }
    void setMask(const QString &mask) { m_mask = mask; }
    void setValue(const QString &value) { m_value = value; }
    void setKeyboardType(const QString &keyboardType) { m_keyboardType = keyboardType; }
    void setMaskedView(bool maskedView) { m_maskedView = maskedView; }
    void setValues(const QMap<QString, QVariant> &values)
    {
        m_values = values;
        m_isChoice = true;
    }

    // A parameter given choices is one the customer picks rather than types, even when the list
    // of choices came empty.
    bool isChoice() const { return m_isChoice; }

    // The value as the payment-detail screen shows it: hidden but for its last characters when
    // the masked view is on.
    QString displayValue() const;

private:
    QString m_name;
    QString m_label;
    QString m_checkLabel;
    QString m_regExp;
    QString m_mask;
    QString m_value;
    QString m_keyboardType;
    QMap<QString, QVariant> m_values;
    bool m_maskedView = false;
    bool m_isChoice = false;
};

#endif // PROVIDERPARAMETER_H
