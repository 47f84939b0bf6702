#ifndef BUSPROBE_H
#define BUSPROBE_H

#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtCore/QVariantMap>

// The bus as a test sees it: it keeps every map the pay screen sends, and hands the pay screen
// the answers a test writes. Wire it with SLOT(take(QVariantMap)) as the receiver and
// SIGNAL(deliver(QVariantMap)) as the sender.
class BusProbe : public QObject
{
    Q_OBJECT
public:
    explicit BusProbe(QObject *parent = nullptr);

    QList<QVariantMap> sent;

    QVariantMap lastSent() const { return sent.isEmpty() ? QVariantMap() : sent.last(); }
    QString lastUid() const;
    // The request parameters of the last request, parsed back from its "checkdata" JSON.
    QVariantMap lastCheckData() const { return checkData(lastSent()); }
    static QVariantMap checkData(const QVariantMap &request);

    // An answer in the service's format; body keys go into "message", step keys into
    // "message"/"params".
    static QVariantMap answer(const QVariantMap &body, const QVariantMap &step = QVariantMap());
    // A good answer to uid for step, asking for parameters.
    static QVariantMap stepAnswer(const QString &uid, int step, bool completed,
                                  const QVariantList &payParamList = QVariantList());
    static QVariantMap parameter(const QString &name, const QString &title,
                                 const QVariant &value, bool editable,
                                 const QString &type = QStringLiteral("string"));

public slots:
    void take(const QVariantMap &message);
    // Hands an answer over now (the test decides when, which is never inside a send).
    void answerNow(const QVariantMap &message);

signals:
    void deliver(QVariantMap message);
};

#endif // BUSPROBE_H
