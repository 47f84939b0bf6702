#ifndef PLUGINPROVIDERPARAMETERINPUTCONTROLLER_H
#define PLUGINPROVIDERPARAMETERINPUTCONTROLLER_H

#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QRegularExpression>
#include <QtCore/QString>

#include "formviewer.h"
#include "hostexport.h"
#include "providerparameter.h"
#include "sessionmanager.h"
#include "widgetscontroller.h"

// The screen on which the customer enters one parameter: typed (with the on-screen keypad for
// the "number" keyboard) or picked from its choices. Next is only possible for a value that
// satisfies the parameter's pattern and mask; a choice is never held back by them. needNext()
// and needBack() are the last thing their screen action does, so a slot may release the
// controller. Deleting a controller emits nothing.
class PAYMENTHOST_EXPORT PluginProviderParameterInputController : public QObject
{
    Q_OBJECT
public:
    static const QString FormName;

    // formName and formFile choose another form than the host's standard one; empty for that.
    PluginProviderParameterInputController(SessionManager *sessionManager, FormViewer *viewer,
                                           QString formName, QString formFile,
                                           QObject *parent = nullptr);
    ~PluginProviderParameterInputController() override;

    // Shows parameter under the provider's name, its value as the starting text. readOnly
    // shows the value without letting the customer change it.
    void setParameter(QString providerName, ProviderParameter parameter, bool readOnly);
    QString providerName() const { return m_providerName; }
    ProviderParameter parameter() const { return m_parameter; }
    bool isReadOnly() const { return m_readOnly; }

    // The customer's text so far; for a choice, the position of the picked choice as text.
    QString text() const { return m_text; }
    void setText(const QString &text);
    // Picks the choice at that position; false when the parameter has none there.
    bool choose(int position);
    bool canGoNext() const;
    // Why Next is not possible now, in words for the customer; empty when it is.
    QString hint() const;
    // Whether value is right, or typing more may still make it right.
    bool canBecomeValid(const QString &value) const;

    WidgetsController *ui() const { return m_ui.data(); }

    // Whether value satisfies the pattern (a whole match) and the input mask of parameter.
    static bool acceptsValue(const ProviderParameter &parameter, const QString &value);
    // Whether value fills an input mask written as for QLineEdit ("9999", "(999) 999-99-99").
    static bool matchesMask(const QString &mask, const QString &value);

public slots:
    void next();
    void back();
    // Takes the screen off, or puts it back on top, while this controller has it.
    void hide();
    void show();

signals:
    void needNext(QString value);
    void needBack();

private slots:
    void keyPressed();
    void choiceClicked();
    void editTextChanged(const QString &text);

private:
    bool ownsUi() const;
    void takeUi();
    void render();
    bool accepts(const QString &value) const;

    // The whole-match forms of the parameter's pattern and of its mask, taken when the parameter
    // is shown rather than on every check of the customer's text. An invalid expression stands
    // for no pattern.
    static QRegularExpression wholeMatchPattern(const ProviderParameter &parameter);
    static QRegularExpression maskPattern(const QString &mask);

    QPointer<FormViewer> m_viewer;
    QPointer<SessionManager> m_sessionManager;
    QString m_formName;
    QString m_formFile;
    QPointer<WidgetsController> m_ui;
    QString m_providerName;
    ProviderParameter m_parameter;
    bool m_readOnly = false;
    // Whether the customer tried Next with what is there; until then an empty field is no error.
    bool m_nextTried = false;
    QString m_text;
    QRegularExpression m_pattern;
    QRegularExpression m_maskPattern;
};

#endif // PLUGINPROVIDERPARAMETERINPUTCONTROLLER_H
