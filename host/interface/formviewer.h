#ifndef FORMVIEWER_H
#define FORMVIEWER_H

#include <QtCore/QMap>
#include <QtCore/QPointer>
#include <QtCore/QString>
#include <QtWidgets/QWidget>

#include "hostexport.h"
#include "sessionmanager.h"
#include "widgetscontroller.h"

// A screen area that holds named forms, each filling the whole area; the form shown last lies
// on top. A viewer made with a parent lies over that parent and follows its size, which is how
// a helper view covers a pay screen without touching it.
class PAYMENTHOST_EXPORT FormViewer : public QWidget
{
    Q_OBJECT
public:
    // The customer's screen of a kiosk, in pixels.
    static const int ScreenWidth = 800;
    static const int ScreenHeight = 600;

    FormViewer(SessionManager *sessionManager, bool fullScreen, QWidget *parent = nullptr);
    ~FormViewer() override;

    SessionManager *sessionManager() const { return m_sessionManager.data(); }

    // The controller of a loaded form, or null while no form of that name is loaded. Asked
    // for the message form that the session's form project cannot give, it warns once.
    WidgetsController *getUi(const QString &formName) const;
    void showWidget(const QString &formName);
    // Loads a Qt Designer form as formName, replacing one of that name, and shows it. Each
    // "%key%" in the file is replaced by its value first. The form may be one that a viewer
    // gone before left behind, showing again what the file describes. False, with a warning,
    // when the file cannot be read or is not a form.
    bool loadFromFile(const QString &path, const QString &formName,
                      const QMap<QString, QString> &substitutions);

    QStringList formNames() const { return m_forms.keys(); }
    // The form on top of the others among those shown, or null.
    WidgetsController *topForm() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void followParent();
    void reportMissingMessages() const;
    // Gives ui's form back to the cache, or deletes it when it cannot be used again.
    void release(WidgetsController *ui);

    QPointer<SessionManager> m_sessionManager;
    QMap<QString, QPointer<WidgetsController>> m_forms;
    mutable bool m_missingMessagesReported = false;
};

#endif // FORMVIEWER_H
