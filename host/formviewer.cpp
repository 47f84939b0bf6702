#include "formviewer.h"

#include "formcache.h"
#include "sessionmanager.h"
#include "widgetscontroller.h"

#include <QtCore/QEvent>
#include <QtCore/QLoggingCategory>

Q_LOGGING_CATEGORY(lcFormViewer, "paymenthost.formviewer")

FormViewer::FormViewer(SessionManager *sessionManager, bool fullScreen, QWidget *parent)
    : QWidget(parent)
    , m_sessionManager(sessionManager)
{
    setAutoFillBackground(true);
    if (parent) {
        // Stays off the screen until asked, also when the parent is shown later.
        hide();
        parent->installEventFilter(this);
        followParent();
    } else if (fullScreen) {
        setWindowState(windowState() | Qt::WindowFullScreen);
    } else {
        resize(ScreenWidth, ScreenHeight);
    }
}

FormViewer::~FormViewer() = default;

WidgetsController *FormViewer::getUi(const QString &formName) const
{
    return m_forms.value(formName).data();
}

void FormViewer::showWidget(const QString &formName)
{
    if (WidgetsController *ui = getUi(formName))
        ui->show();
}

bool FormViewer::loadFromFile(const QString &path, const QString &formName,
                              const QMap<QString, QString> &substitutions)
{
    FormCache *cache = FormCache::instance();
    QByteArray content;
    QString error;
    if (!cache->read(path, &content, &error)) {
        qCWarning(lcFormViewer) << "cannot read form" << formName << "from" << path << ":"
                                << error;
        return false;
    }
    for (auto it = substitutions.cbegin(); it != substitutions.cend(); ++it)
        content.replace('%' + it.key().toUtf8() + '%', it.value().toUtf8());

    QWidget *form = cache->build(content, this, &error);
    if (!form) {
        qCWarning(lcFormViewer) << "not a form:" << path << error;
        return false;
    }
    form->setObjectName(formName);
    form->setGeometry(rect());

    if (WidgetsController *old = getUi(formName)) {
        delete old->form();
        delete old;
    }
    m_forms.insert(formName, new WidgetsController(formName, form, this));
    showWidget(formName);
    return true;
}

WidgetsController *FormViewer::topForm() const
{
    // Children are kept in stacking order, the top one last.
    const QObjectList &kids = children();
    for (auto it = kids.crbegin(); it != kids.crend(); ++it) {
        QWidget *widget = qobject_cast<QWidget *>(*it);
        if (!widget || widget->isHidden())
            continue;
        for (const QPointer<WidgetsController> &ui : m_forms) {
            if (ui && ui->form() == widget)
                return ui.data();
        }
    }
    return nullptr;
}

bool FormViewer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        followParent();
    return QWidget::eventFilter(watched, event);
}

void FormViewer::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    for (const QPointer<WidgetsController> &ui : qAsConst(m_forms)) {
        if (ui && ui->form())
            ui->form()->setGeometry(rect());
    }
}

void FormViewer::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (parentWidget()) {
        followParent();
        raise();
    }
}

void FormViewer::followParent()
{
    if (QWidget *parent = parentWidget())
        setGeometry(parent->rect());
}
