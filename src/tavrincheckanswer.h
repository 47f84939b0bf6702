#ifndef TAVRINCHECKANSWER_H
#define TAVRINCHECKANSWER_H

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QVariant>
#include <QtCore/QVariantMap>

#include "providerparameter.h"

// One parameter of the check service: a value it wants from the customer, one choice offered
// for such a value, or one detail line of a choice. Read leniently from the service's map:
// every key is optional and a value of the wrong type converts as QVariant converts it.
class TavrinPayParameter
{
public:
    static const QString TYPE_STRING;
    static const QString TYPE_ENUM;
    // How many levels of "paramList" below a parameter are read. Choices and their details
    // need two; the bound keeps a hostile answer from exhausting the stack.
    static const int MAX_NESTING_DEPTH = 32;

    TavrinPayParameter();
    explicit TavrinPayParameter(ProviderParameter parameter);
    explicit TavrinPayParameter(QVariantMap map);

    bool isEditable() const { return m_isEditable; }
    bool isVisible() const { return m_isVisible; }
    QString name() const { return m_name; }
    QString regexp() const { return m_regexp; }
    QString mask() const { return m_mask; }
    QString title() const { return m_title; }
    QString type() const { return m_type; }
    QVariant value() const { return m_value; }
    QList<TavrinPayParameter> paramList() const { return m_paramList; }

    void setIsEditable(bool isEditable) { m_isEditable = isEditable; }
    void setIsVisible(bool isVisible) { m_isVisible = isVisible; }
    void setType(const QString &type) { m_type = type; }
    void setMask(const QString &mask) { m_mask = mask; }
    void setValue(const QVariant &value) { m_value = value; }

private:
    friend class TavrinCheckAnswer;

    // Reads a parameter found depth levels below the answer's list; sets *truncated when
    // entries below the bound were left out.
    TavrinPayParameter(const QVariantMap &map, int depth, bool *truncated);
    static QList<TavrinPayParameter> readList(const QVariant &list, int depth, bool *truncated);
    static void warnTruncated();
    void dropWildcardPattern();

    bool m_isEditable;
    bool m_isVisible;
    QString m_name;
    QList<TavrinPayParameter> m_paramList;
    QString m_regexp;
    QString m_mask;
    QString m_title;
    QString m_type;
    QVariant m_value;
};

// One answer of the check service, read from the map the bus delivers. It interprets nothing:
// missing fields read as a failure (error, result -1, no step).
class TavrinCheckAnswer
{
public:
    explicit TavrinCheckAnswer(QVariantMap answer);

    // A map from the service as indented JSON for the debug log. Levels below those the
    // records read are printed as ELIDED_MARKER: an answer nested deeper must neither exhaust
    // the stack nor hold up the terminal while it is written.
    static QString debugText(const QVariantMap &map);
    static const QString ELIDED_MARKER;

    QString msgType() const { return m_msgType; }
    QString uid() const { return m_uid; }
    bool error() const { return m_error; }
    int result() const { return m_result; }
    QString description() const { return m_description; }
    int currentStep() const { return m_currentStep; }
    bool isStepComplete() const { return m_isStepComplete; }
    bool isStepError() const { return m_isStepError; }
    QString stepStatusDescription() const { return m_stepStatusDescription; }
    QList<TavrinPayParameter> payParamsList() const { return m_payParamsList; }

    void setIsStepComplete(bool isStepComplete) { m_isStepComplete = isStepComplete; }
    void setIsStepError(bool isStepError) { m_isStepError = isStepError; }
    void setStepStatusDescription(const QString &description)
    {
        m_stepStatusDescription = description;
    }

private:
    bool m_isStepComplete;
    bool m_isStepError;
    QString m_stepStatusDescription;
    bool m_error;
    int m_result;
    QString m_msgType;
    QString m_uid;
    QString m_description;
    int m_currentStep;
    QList<TavrinPayParameter> m_payParamsList;
};

#endif // TAVRINCHECKANSWER_H
