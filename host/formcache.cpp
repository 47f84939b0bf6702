#include "formcache.h"

#include <QtCore/QBuffer>
#include <QtCore/QCoreApplication>
#include <QtCore/QFile>
#include <QtCore/QPointer>
#include <QtUiTools/QUiLoader>
#include <QtWidgets/QWidget>

FormCache *FormCache::instance()
{
    static QPointer<FormCache> cache;
    if (!cache && QCoreApplication::instance())
        cache = new FormCache(QCoreApplication::instance());
    return cache.data();
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
