#include <QtTest/QtTest>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QPushButton>

#include <memory>

#include "messagecapture.h"
#include "pluginfixture.h"
#include "widgetnames.h"

namespace {

const QString MessageType = QStringLiteral("tavrinPluginRequest");
const QString MessagesView = QStringLiteral("messagesView");

// What a shipped form shows beyond its file: the files fill in no text but the buttons' and
// hide or disable nothing.
QStringList leftovers(QWidget *form)
{
    const QMap<QString, QString> buttonTexts{
        {"okButton", "OK"}, {"yesButton", "Да"}, {"noButton", "Нет"}, {"backButton", "Назад"},
        {"nextButton", "Далее"}, {"keyClear", "C"}, {"keyBackspace", "<"}};
    QStringList found;
    for (QWidget *widget : form->findChildren<QWidget *>()) {
        const QString name = widget->objectName();
        if (name.startsWith("qt_") || !widget->parentWidget() || widget->parentWidget()->objectName().startsWith("qt_"))
            continue;
        if (widget->isHidden() || !widget->isEnabledTo(form))
            found << name + " hidden or disabled";
        QString text;
        if (auto *label = qobject_cast<QLabel *>(widget))
            text = label->text();
        else if (auto *edit = qobject_cast<QLineEdit *>(widget))
            text = edit->text() + edit->placeholderText() + (edit->isReadOnly() ? "read-only" : "");
        else if (auto *list = qobject_cast<QListWidget *>(widget))
            text = list->count() || list->currentItem() ? "items" : "";
        else if (auto *key = qobject_cast<QPushButton *>(widget))
            text = key->text() == buttonTexts.value(name, name.mid(3)) ? "" : key->text();
        if (!text.isEmpty())
            found << name + ": " + text;
    }
    return found;
}

} // namespace

// The stand-in's forms as a customer sees them: what the dialogue suites cannot tell from the
// plugin's side (how text is laid out, what a reused form still holds, the countdown).
class tst_FormScreens : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void countdownStartsAtTheTimeOut_data();
    void countdownStartsAtTheTimeOut();
    void nextScreenStartsClean_data();
    void nextScreenStartsClean();
    void shippedForms_data();
    void shippedForms();
    void missingMessageFormIsReported_data();
    void missingMessageFormIsReported();

private:
    WidgetsController *messageForm();

    double m_timeScale = 1.0;
    std::unique_ptr<FormProject> m_project;
    std::unique_ptr<SessionManager> m_session;
    std::unique_ptr<PluginBaseFormViewer> m_viewer;
    std::unique_ptr<PluginProviderParameterInputController> m_input;
};

void tst_FormScreens::init()
{
    // Message times a hundred times shorter: 1 s becomes 10 ms.
    m_timeScale = MessageWidgetController::timeScale();
    MessageWidgetController::setTimeScale(0.01);
    m_project.reset(new FormProject(QStringLiteral(TAVRIN_FORMS_PATH)));
    m_session.reset(new SessionManager);
    m_session->setActiveProject(m_project.get());
    m_viewer.reset(new PluginBaseFormViewer(m_session.get(), nullptr, Currency(), MessageType));
}

void tst_FormScreens::cleanup()
{
    m_input.reset();
    m_viewer.reset();
    m_session.reset();
    m_project.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    MessageWidgetController::setTimeScale(m_timeScale);
}

WidgetsController *tst_FormScreens::messageForm()
{
    const QString file = QDir(m_project->projectDir()).filePath(WidgetNames().messageViewFileName());
    if (!m_viewer->getUi(MessagesView))
        m_viewer->loadFromFile(file, MessagesView, {});
    return m_viewer->getUi(MessagesView);
}

void tst_FormScreens::countdownStartsAtTheTimeOut_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("shown");

    QTest::newRow("a second") << 1 << "0:01";
    QTest::newRow("a minute") << 60 << "1:00";
}

void tst_FormScreens::countdownStartsAtTheTimeOut()
{
    QFETCH(int, seconds);
    QFETCH(QString, shown);

    WidgetsController *ui = messageForm();
    MessageWidgetController message;
    message.setUi(ui);
    message.initMessage("Подождите", seconds, MessageWidgetController::NoButtons);
    // Whatever slack the timer takes, the countdown never shows more than the time-out.
    QCOMPARE(ui->widget<QLabel>(QStringLiteral("countdownLabel"))->text(), shown);
    QSignalSpy finished(&message, &MessageWidgetController::finish);
    QVERIFY2(finished.wait(5000), "the message did not run out");
}

void tst_FormScreens::nextScreenStartsClean_data()
{
    QTest::addColumn<QString>("formName");
    QTest::addColumn<QString>("customer");

    const QString input = PluginProviderParameterInputController::FormName;
    QTest::newRow("input form after a typed code") << input << "1234";
    QTest::newRow("input form after a choice") << input << "choice 2";
    QTest::newRow("input form after a read-only value") << input << "read-only";
    QTest::newRow("message form after a question") << MessagesView << "question";
}

void tst_FormScreens::nextScreenStartsClean()
{
    QFETCH(QString, formName);
    QFETCH(QString, customer);

    // The customer before leaves the form in some state, with its controllers still alive.
    MessageWidgetController message;
    int heard = 0;
    const auto hear = [&heard] { ++heard; };
    connect(&message, &MessageWidgetController::finish, this, hear);
    if (formName == MessagesView) {
        message.setUi(messageForm());
        message.initMessage("Отменить платёж?", 60, MessageWidgetController::YesNoButtons);
    } else {
        ProviderParameter parameter(QStringLiteral("smscode"), QStringLiteral("Код из SMS"));
        parameter.setMask(QStringLiteral("9999"));
        parameter.setValue(QStringLiteral("77"));
        if (customer == "choice 2")
            parameter.setValues({{"Паспорт", 1}, {"Вид на жительство", 2}});
        m_input.reset(new PluginProviderParameterInputController(m_session.get(), m_viewer.get(),
                                                                 QString(), QString()));
        m_input->setParameter("Провайдер", parameter, customer == "read-only");
        if (customer == "choice 2")
            QVERIFY(m_input->choose(2));
        else
            m_input->setText(customer);
        connect(m_input.get(), &PluginProviderParameterInputController::needNext, this, hear);
        connect(m_input.get(), &PluginProviderParameterInputController::needBack, this, hear);
    }

    m_viewer.reset(new PluginBaseFormViewer(m_session.get(), nullptr, Currency(), MessageType));
    const QString file = formName == MessagesView ? WidgetNames().messageViewFileName()
                                                  : WidgetNames().parameterInputViewFileName();
    QVERIFY(m_viewer->loadFromFile(QDir(m_project->projectDir()).filePath(file), formName, {}));
    WidgetsController *ui = m_viewer->getUi(formName);
    QVERIFY(ui && ui->isShown());
    const QStringList left = leftovers(ui->form());
    QVERIFY2(left.isEmpty(), qPrintable(left.join("; ")));

    // The screens gone hear nothing of the new form.
    for (QPushButton *key : ui->form()->findChildren<QPushButton *>())
        key->click();
    QCOMPARE(heard, 0);
}

void tst_FormScreens::shippedForms_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("formName");

    QTest::newRow("messages") << WidgetNames().messageViewFileName() << MessagesView;
    QTest::newRow("parameter input") << WidgetNames().parameterInputViewFileName() << "parameterInputView";
}

void tst_FormScreens::shippedForms()
{
    QFETCH(QString, fileName);
    QFETCH(QString, formName);

    // The host's own form project, where an installed host keeps it.
    const QString path = QDir(FormProject::defaultProjectDir()).filePath(fileName);
    QVERIFY2(m_viewer->loadFromFile(path, formName, {}), qPrintable(path));
    // Texts of the service, such as "<div style='font-size:200px'>Платёж принят</div>", are
    // shown as they are, never laid out as markup.
    const QList<QLabel *> labels = m_viewer->getUi(formName)->form()->findChildren<QLabel *>();
    QVERIFY(!labels.isEmpty());
    for (const QLabel *label : labels)
        QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->objectName()));
}

void tst_FormScreens::missingMessageFormIsReported_data()
{
    QTest::addColumn<QString>("projectDir");
    QTest::addColumn<QStringList>("logged");

    const QString warning = QStringLiteral("paymenthost.formviewer warning: no message form: %1 - "
                                           "waiting, error and time-out messages are not shown");
    QTest::newRow("no active form project")
        << QString() << QStringList{warning.arg("the session has no active form project")};
    QTest::newRow("a form project without the message form")
        << "/nonexistent/forms" << QStringList{warning.arg("the form project /nonexistent/forms has no messagesView.ui")};
    QTest::newRow("the shipped form project") << QString(TAVRIN_FORMS_PATH) << QStringList();
}

void tst_FormScreens::missingMessageFormIsReported()
{
    QFETCH(QString, projectDir);
    QFETCH(QStringList, logged);

    FormProject project(projectDir);
    m_session->setActiveProject(projectDir.isNull() ? nullptr : &project);
    MessageCapture capture;
    // Once per pay screen, however often a plugin asks.
    QVERIFY(!m_viewer->getUi(MessagesView));
    QVERIFY(!m_viewer->getUi(MessagesView));
    QCOMPARE(capture.summary({"paymenthost.formviewer"}), logged);
}

QTEST_MAIN(tst_FormScreens)
#include "tst_formscreens.moc"
