#ifndef JSONOBJECTREADER_H
#define JSONOBJECTREADER_H

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QJsonValue>
#include <QtCore/QSet>
#include <QtCore/QString>

// Reads the fields of one JSON object of a hand-written file, and names the field of the first
// mistake: "customer.inputs[2].text: expected a string". A field that is read is known; finish()
// refuses the fields that nobody read, so that a misspelt field is not silently ignored. After
// the first mistake every read returns its fallback and the mistake stays the one reported.
class JsonObjectReader
{
public:
    // path names the object ("provider", "customer.inputs[2]"); empty for the top level.
    JsonObjectReader(const QJsonValue &value, const QString &path, QString *error);

    bool ok() const { return m_error->isEmpty(); }
    QString path() const { return m_path; }
    QString fieldPath(const QString &key) const;

    bool contains(const QString &key);

    QString string(const QString &key, const QString &fallback = QString());
    QString requiredString(const QString &key);
    // Whole numbers only, within [minimum, maximum].
    qint64 integer(const QString &key, qint64 fallback, qint64 minimum, qint64 maximum);
    qint64 requiredInteger(const QString &key, qint64 minimum, qint64 maximum);
    // Numbers within [minimum, maximum].
    double number(const QString &key, double fallback, double minimum, double maximum);
    bool boolean(const QString &key, bool fallback);
    QJsonArray array(const QString &key, bool required);
    QJsonValue value(const QString &key);

    void fail(const QString &path, const QString &message);
    // Refuses the fields not read; true when the object had no mistake at all.
    bool finish();

    static QString elementPath(const QString &path, int index);

private:
    QJsonValue field(const QString &key, bool required);
    void wrongType(const QString &key, const QString &expected);

    QJsonObject m_object;
    QString m_path;
    QString *m_error;
    QSet<QString> m_known;
};

#endif // JSONOBJECTREADER_H
