#include "formviewer.h"

#include "formcache.h"
#include "formframe.h"
#include "sessionmanager.h"
#include "widgetnames.h"
#include "widgetscontroller.h"

#include <QtCore/QDir>
#include <QtCore/QEvent>
#include <QtCore/QFile>
#include <QtCore/QLoggingCategory>
#include <QtWidgets/QLayout>

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

FormViewer::~FormViewer()
{
    // The forms go back to the cache for the next pay screen; what is left is deleted with
    // this widget.
    const auto forms = m_forms;
    m_forms.clear();
    for (const QPointer<WidgetsController> &ui : forms) {
        if (ui)
            release(ui.data());
    }
}

WidgetsController *FormViewer::getUi(const QString &formName) const
{
    WidgetsController *ui = m_forms.value(formName).data();
    if (!ui && formName == QLatin1String("messagesView") && !m_missingMessagesReported)
        reportMissingMessages();
    return ui;
}

void FormViewer::reportMissingMessages() const
{
    // Plugins load the message form from the session's form project; without it their
    // messages are silently not shown, which an integrator must learn from the log.
    const QString fileName = WidgetNames().messageViewFileName();
    FormProject *project = m_sessionManager ? m_sessionManager->activeProject() : nullptr;
    QString missing;
    if (!project)
        missing = QStringLiteral("the session has no active form project");
    else if (!QFile::exists(QDir(project->projectDir()).filePath(fileName)))
        missing = QStringLiteral("the form project %1 has no %2").arg(project->projectDir(), fileName);
    else
        return;
    m_missingMessagesReported = true;
    qCWarning(lcFormViewer).noquote()
        << "no message form:" << missing << "- waiting, error and time-out messages are not shown";
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
    const QString key = FormCache::keyOf(path, formName, substitutions);
    FormFrame *frame = cache->takeSpare(key);
    if (frame) {
        frame->setParent(this);
    } else {
        QByteArray content;
        QString error;
        if (!cache->read(path, &content, &error)) {
            qCWarning(lcFormViewer) << "cannot read form" << formName << "from" << path << ":"
                                    << error;
            return false;
        }
        for (auto it = substitutions.cbegin(); it != substitutions.cend(); ++it)
            content.replace('%' + it.key().toUtf8() + '%', it.value().toUtf8());

        frame = new FormFrame(key, this);
        QWidget *form = cache->build(content, frame, &error);
        if (!form) {
            delete frame;
            qCWarning(lcFormViewer) << "not a form:" << path << error;
            return false;
        }
        form->setObjectName(formName);
        frame->setForm(form);
    }
    frame->setGeometry(rect());
    frame->form()->setGeometry(frame->rect());
    // Laid out at the screen's size now, so that no frame ever shows it at a builder's default.
    if (QLayout *layout = frame->form()->layout())
        layout->activate();

    if (WidgetsController *old = getUi(formName))
        release(old);
    auto *ui = new WidgetsController(formName, frame->form(), this);
    ui->setFrame(frame);
    m_forms.insert(formName, ui);
    showWidget(formName);
    return true;
}

void FormViewer::release(WidgetsController *ui)
{
    auto *frame = qobject_cast<FormFrame *>(ui->frame());
    if (frame && frame->reset(ui->pastOwners()))
        FormCache::instance()->keepSpare(frame);
    else if (frame)
        delete frame;
    else
        delete ui->form();
    delete ui;
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
            if (ui && (ui->frame() ? ui->frame() : ui->form()) == widget)
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
        if (ui && ui->frame())
            ui->frame()->setGeometry(rect());
        if (ui && ui->form())
            ui->form()->setGeometry(ui->frame() ? ui->frame()->rect() : rect());
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
