#include <QtTest/QtTest>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QScrollBar>
#include <QtWidgets/QScroller>

#include <memory>

#include "labelfitter.h"
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
            text = edit->text() + edit->placeholderText() + edit->inputMask() + (edit->isReadOnly() ? "read-only" : "");
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
    void hintWaitsForAHopelessValue_data();
    void hintWaitsForAHopelessValue();
    void choiceListScrollsByDragging();
    void choicesFollowTheParameter();
    void formIsLaidOutWhenLoaded();
    void longTextEndsInAnEllipsis_data();
    void longTextEndsInAnEllipsis();
    void fittedTextFollowsTheWidth();
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

void tst_FormScreens::hintWaitsForAHopelessValue_data()
{
    QTest::addColumn<QString>("regExp");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("nextPressed");
    QTest::addColumn<QString>("hint");

    const QString incomplete = QStringLiteral("Значение введено не полностью или с ошибкой");
    const QString masked = QStringLiteral("Введите значение по образцу ____");
    QTest::newRow("a phone number begun right") << "^9\\d{9}$" << "" << "926" << false << "";
    QTest::newRow("a phone number begun wrong") << "^9\\d{9}$" << "" << "8" << false << incomplete;
    QTest::newRow("a phone number one digit too long") << "^9\\d{9}$" << "" << "92655544331" << false << incomplete;
    QTest::newRow("Next on a phone number begun right") << "^9\\d{9}$" << "" << "926" << true << incomplete;
    QTest::newRow("a code half typed") << "" << "9999" << "12" << false << "";
    QTest::newRow("a code with a digit too many") << "" << "9999" << "12345" << false << masked;
    QTest::newRow("Next on a code half typed") << "" << "9999" << "12" << true << masked;
    QTest::newRow("a name in digits") << "^[А-ЯЁ][а-яё-]+$" << "" << "1" << false << incomplete;
}

void tst_FormScreens::hintWaitsForAHopelessValue()
{
    QFETCH(QString, regExp);
    QFETCH(QString, mask);
    QFETCH(QString, typed);
    QFETCH(bool, nextPressed);
    QFETCH(QString, hint);

    ProviderParameter parameter(QStringLiteral("smscode"), QStringLiteral("Код из SMS"));
    parameter.setRegExp(regExp);
    parameter.setMask(mask);
    m_input.reset(new PluginProviderParameterInputController(m_session.get(), m_viewer.get(), QString(), QString()));
    m_input->setParameter("Провайдер", parameter, false);
    m_input->setText(typed);
    if (nextPressed)
        m_input->next();
    WidgetsController *ui = m_input->ui();
    QCOMPARE(ui->widget<QLabel>(QStringLiteral("hintLabel"))->text(), hint);
    // The mask shows where the characters go, never digits that read as a code.
    const QString shown = ui->widget<QLineEdit>(QStringLiteral("valueEdit"))->displayText();
    if (!mask.isEmpty())
        QCOMPARE(shown, typed.left(4) + QString(qMax(0, 4 - typed.size()), QLatin1Char('_')));
}

void tst_FormScreens::choiceListScrollsByDragging()
{
    ProviderParameter parameter(QStringLiteral("account"), QStringLiteral("Выберите счёт"));
    QMap<QString, QVariant> choices;
    for (int position = 0; position < 12; ++position)
        choices.insert(QStringLiteral("Счёт 4081781000000000%1, накопительный, с ежемесячной капитализацией процентов")
                           .arg(position, 4, 10, QLatin1Char('0')), position);
    parameter.setValues(choices);
    m_input.reset(new PluginProviderParameterInputController(m_session.get(), m_viewer.get(), QString(), QString()));
    m_input->setParameter("Провайдер", parameter, false);
    m_viewer->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_viewer.get()));
    auto *list = m_input->ui()->widget<QListWidget>(QStringLiteral("choiceList"));
    QVERIFY2(list->height() > 300, "the list does not take the free height");
    QVERIFY2(list->visualItemRect(list->item(0)).height() >= 48, "a row is smaller than a finger");
    QVERIFY2(!list->horizontalScrollBar()->isVisible(), "the wrapped rows scroll sideways");
    QScrollBar *bar = list->verticalScrollBar();
    QCOMPARE(bar->value(), 0);

    // A finger drags the list up, slowly enough to be a drag. The events come through the window,
    // as the screen's own do, so that the list's gesture sees them.
    QWidget *viewport = list->viewport();
    QWindow *window = m_viewer->windowHandle();
    QPoint at = viewport->mapTo(m_viewer.get(), QPoint(viewport->width() / 2, viewport->height() - 20));
    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, at);
    for (int step = 0; step < 12; ++step) {
        at.ry() -= 20;
        // Qt 6's QTest only stamps a move with its delay; the scroller times the drag by the clock.
        QTest::qWait(15);
        QTest::mouseMove(window, at, 15);
    }
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, at, 15);
    QTRY_VERIFY2(bar->value() > 100, "the list did not follow the finger");
    QTRY_COMPARE(QScroller::scroller(viewport)->state(), QScroller::Inactive);
    QVERIFY2(m_input->text().isEmpty(), "a drag picked a choice");

    // A tap still picks the row under the finger.
    QListWidgetItem *tapped = list->itemAt(viewport->width() / 2, viewport->height() / 2);
    QVERIFY(tapped);
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier,
                      viewport->mapTo(m_viewer.get(), list->visualItemRect(tapped).center()));
    QTRY_COMPARE(m_input->text(), QString::number(tapped->data(Qt::UserRole).toInt()));
}

void tst_FormScreens::choicesFollowTheParameter()
{
    ProviderParameter document(QStringLiteral("ID_type"), QStringLiteral("Документ"));
    document.setValues({{"Паспорт", 0}, {"Вид на жительство", 1}});
    m_input.reset(new PluginProviderParameterInputController(m_session.get(), m_viewer.get(), QString(), QString()));
    m_input->setParameter("Провайдер", document, false);
    auto *list = m_input->ui()->widget<QListWidget>(QStringLiteral("choiceList"));
    QVERIFY(m_input->choose(0));
    QCOMPARE(list->currentRow(), 0);
    QVERIFY(list->currentItem()->isSelected());

    // The next question on the same screen shows its own choices, none of them picked.
    ProviderParameter account(QStringLiteral("account"), QStringLiteral("Счёт"));
    account.setValues({{"Счёт 1", 0}, {"Счёт 2", 1}, {"Счёт 3", 2}});
    m_input->setParameter("Провайдер", account, false);
    QStringList shown;
    for (int row = 0; row < list->count(); ++row)
        shown << list->item(row)->text();
    QCOMPARE(shown, QStringList({"Счёт 1", "Счёт 2", "Счёт 3"}));
    QVERIFY(list->selectedItems().isEmpty());
}

void tst_FormScreens::formIsLaidOutWhenLoaded()
{
    // Before the event loop has run once: a form shown now must not show builder's sizes.
    const QString file = QDir(m_project->projectDir()).filePath(WidgetNames().parameterInputViewFileName());
    QVERIFY(m_viewer->loadFromFile(file, PluginProviderParameterInputController::FormName, {}));
    QWidget *form = m_viewer->getUi(PluginProviderParameterInputController::FormName)->form();
    for (const QString &name : {"key1", "keyBackspace", "nextButton"}) {
        auto *key = form->findChild<QPushButton *>(name);
        QVERIFY2(key->height() >= 40 && key->width() >= 40, qPrintable(name));
        QVERIFY2(form->rect().contains(QRect(key->mapTo(form, QPoint()), key->size())), qPrintable(name));
    }
}

void tst_FormScreens::longTextEndsInAnEllipsis_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("cut");

    const QString longName = QString("Перевод по номеру телефона ").repeated(11);
    QTest::newRow("a name on one line") << "Пополнение карты" << 400 << false;
    QTest::newRow("a name of 300 characters") << longName << 400 << true;
    QTest::newRow("a name in one word longer than the line") << QString(300, QChar(0x0416)) << 400 << true;
    QTest::newRow("a label not laid out yet") << longName << 0 << false;
}

void tst_FormScreens::longTextEndsInAnEllipsis()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(bool, cut);

    QLabel label;
    label.setWordWrap(true);
    const QString shown = LabelFitter::fitted(&label, text, width, 2);
    QCOMPARE(shown != text, cut);
    if (!cut)
        return;
    QVERIFY2(shown.endsWith(QChar(0x2026)), qPrintable(shown));
    QVERIFY2(text.startsWith(shown.chopped(1).remove(QLatin1Char('\n')).trimmed()), qPrintable(shown));
    // As the label lays it out, the text takes no more than its two lines.
    label.setText(shown);
    QVERIFY2(label.heightForWidth(400) <= 2 * label.fontMetrics().lineSpacing() + 2,
             qPrintable(QStringLiteral("%1 px: %2").arg(label.heightForWidth(400)).arg(shown)));
    QVERIFY2(label.minimumSizeHint().width() <= 400, qPrintable(shown));
}

void tst_FormScreens::fittedTextFollowsTheWidth()
{
    QWidget window;
    auto *label = new QLabel(&window);
    label->setWordWrap(true);
    label->setProperty("maximumLines", 2);
    label->setGeometry(0, 0, 600, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString text = QString("Перевод по номеру телефона ").repeated(11);
    LabelFitter::setText(label, text);
    const QString wide = label->text();
    QVERIFY2(wide.endsWith(QChar(0x2026)), qPrintable(wide));

    // A narrower screen, or a font that comes with the style, fits the text again.
    label->resize(300, 100);
    QVERIFY2(label->text().size() < wide.size(), qPrintable(label->text()));
    label->resize(600, 100);
    QCOMPARE(label->text(), wide);

    // A text someone else puts on the label stays as it is.
    label->setText(QStringLiteral("Пополнение карты"));
    label->resize(300, 100);
    QCOMPARE(label->text(), QStringLiteral("Пополнение карты"));
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
