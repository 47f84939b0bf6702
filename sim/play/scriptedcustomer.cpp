#include "scriptedcustomer.h"

#include "messagewidgetcontroller.h"
#include "pluginproviderparameterinputcontroller.h"
#include "transcriptprinter.h"
#include "widgetscontroller.h"

#include <QtCore/QMap>
#include <QtCore/QStringList>
#include <QtCore/QTimer>
#include <QtWidgets/QPushButton>

namespace {

QString buttonSet(int buttons)
{
    if (buttons == MessageWidgetController::NoButtons)
        return QStringLiteral("none");
    return buttons == MessageWidgetController::YesNoButtons ? QStringLiteral("yesno") : QStringLiteral("ok");
}

QStringList choiceLabels(const ProviderParameter &parameter)
{
    QMap<int, QString> byPosition;
    const QMap<QString, QVariant> values = parameter.values();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        byPosition.insert(it.value().toInt(), it.key());
    return byPosition.values();
}

QString shown(const QVariant &value)
{
    if (value.userType() == QMetaType::QStringList)
        return QLatin1Char('[') + value.toStringList().join(QStringLiteral(" | ")) + QLatin1Char(']');
    return TranscriptPrinter::quoted(value.toString());
}

} // namespace

ScriptedCustomer::ScriptedCustomer(const QList<Scenario::Input> &inputs, int thinkMilliseconds,
                                   QObject *parent)
    : QObject(parent)
    , m_inputs(inputs)
    , m_thinkMilliseconds(qMax(1, thinkMilliseconds))
{
}

const Scenario::Input *ScriptedCustomer::nextInput() const
{
    return m_next < m_inputs.size() ? &m_inputs.at(m_next) : nullptr;
}

void ScriptedCustomer::offerScreen(PluginProviderParameterInputController *screen)
{
    m_screen = screen;
    m_message.clear();
    m_again = false;
    schedule();
}

void ScriptedCustomer::offerMessage(MessageWidgetController *message)
{
    m_message = message;
    m_again = false;
    // A message covers the screen below: what was planned for that screen is void. A message
    // without buttons asks nothing of the customer.
    ++m_generation;
    if (message->buttons() != MessageWidgetController::NoButtons)
        schedule();
}

void ScriptedCustomer::messageClosed(MessageWidgetController *message)
{
    if (m_stopped || message != m_message.data())
        return;
    const int generation = ++m_generation;
    m_message.clear();
    // Whatever the closing sets off (a new screen, the end) comes first.
    QTimer::singleShot(0, this, [this, generation] { reconsider(generation); });
}

void ScriptedCustomer::reconsider(int generation)
{
    if (m_stopped || generation != m_generation || !m_screen)
        return;
    WidgetsController *ui = m_screen->ui();
    if (ui && ui->isShown() && ui->isOwnedBy(m_screen.data())) {
        m_again = true;
        schedule();
    }
}

void ScriptedCustomer::stop()
{
    m_stopped = true;
    ++m_generation;
}

void ScriptedCustomer::schedule()
{
    if (m_stopped)
        return;
    const int generation = ++m_generation;
    QTimer::singleShot(m_thinkMilliseconds, this, [this, generation] { act(generation); });
}

void ScriptedCustomer::fail(const QString &reason)
{
    stop();
    emit failed(reason);
}

void ScriptedCustomer::act(int generation)
{
    if (m_stopped || generation != m_generation)
        return;
    const bool onMessage = !m_message.isNull();
    if (!onMessage && !m_screen)
        return;
    const QString what = onMessage
        ? QStringLiteral("the message %1").arg(TranscriptPrinter::quoted(m_message->text()))
        : QStringLiteral("screen \"%1\"").arg(m_screen->parameter().name());
    if (m_mode == Mode::ByName) {
        if (onMessage)
            actOnMessageByName(m_message.data());
        else
            actByName(m_screen.data());
        return;
    }
    if (m_next >= m_inputs.size()) {
        fail(QStringLiteral("the customer has no input left for %1").arg(what));
        return;
    }
    const Scenario::Input input = m_inputs.at(m_next);
    if (onMessage && !input.isMessage()) {
        fail(QStringLiteral("%1 is for screen \"%2\", but %3 is shown").arg(input.path, input.screen, what));
        return;
    }
    if (!onMessage && input.isMessage()) {
        fail(QStringLiteral("%1 is for a message, but %2 is shown").arg(input.path, what));
        return;
    }
    if (onMessage)
        actOnMessage(m_message.data(), input);
    else
        actOnScreen(m_screen.data(), input);
}

void ScriptedCustomer::actByName(PluginProviderParameterInputController *screen)
{
    using Kind = Scenario::Input::Kind;
    const QString name = screen->parameter().name();
    // The next input meant for this screen; those for screens and messages that did not come
    // are passed over, and so are values meant to be refused, which test the scenario's own
    // service.
    int found = -1;
    for (int i = m_next; i < m_inputs.size() && found < 0; ++i) {
        const Scenario::Input &input = m_inputs.at(i);
        if (!input.isMessage() && !input.refused && input.screen == name)
            found = i;
    }
    if (found < 0) {
        actByKind(screen);
        return;
    }
    const Scenario::Input input = m_inputs.at(found);
    m_next = found + 1;
    const bool choice = screen->parameter().isChoice();
    if (input.kind == Kind::Back) {
        emit acted(QStringLiteral("presses Back"));
        press(screen->ui(), QStringLiteral("backButton"), input);
        return;
    }
    if (input.kind == Kind::Choose && choice) {
        const QMap<QString, QVariant> values = screen->parameter().values();
        // A choice named by a label the service under check does not show is its first one.
        const int position = !input.choiceLabel.isEmpty() && values.contains(input.choiceLabel)
                                 ? values.value(input.choiceLabel).toInt()
                                 : qMax(0, input.choicePosition);
        if (!screen->choose(position) && !screen->choose(0)) {
            fail(QStringLiteral("screen \"%1\" offers no choice to pick").arg(name));
            return;
        }
        emit acted(QStringLiteral("chooses %1 and presses Next").arg(position));
        press(screen->ui(), QStringLiteral("nextButton"), input);
        return;
    }
    if (input.kind == Kind::Text && !choice) {
        screen->setText(input.text);
        if (screen->canGoNext()) {
            m_typed.insert(name, input.text);
            emit acted(QStringLiteral("types %1 and presses Next").arg(TranscriptPrinter::quoted(input.text)));
            press(screen->ui(), QStringLiteral("nextButton"), input);
            return;
        }
    }
    actByKind(screen);
}

void ScriptedCustomer::actByKind(PluginProviderParameterInputController *screen)
{
    Scenario::Input none;
    const ProviderParameter parameter = screen->parameter();
    none.path = QStringLiteral("the customer on screen \"%1\"").arg(parameter.name());
    if (parameter.isChoice()) {
        if (!screen->choose(0)) {
            fail(QStringLiteral("screen \"%1\" offers no choice to pick").arg(parameter.name()));
            return;
        }
        emit acted(QStringLiteral("chooses 0 and presses Next"));
        press(screen->ui(), QStringLiteral("nextButton"), none);
        return;
    }
    // What was typed here before, what the screen already holds, or digits it takes.
    const QString before = m_typed.value(parameter.name());
    if (!before.isEmpty())
        screen->setText(before);
    if (!screen->canGoNext() && !typeSomethingAccepted(screen)) {
        fail(QStringLiteral("screen \"%1\" takes no value typed on the numeric keypad (%2)")
                 .arg(parameter.name(), screen->hint()));
        return;
    }
    m_typed.insert(parameter.name(), screen->text());
    emit acted(QStringLiteral("types %1 and presses Next").arg(TranscriptPrinter::quoted(screen->text())));
    press(screen->ui(), QStringLiteral("nextButton"), none);
}

bool ScriptedCustomer::typeSomethingAccepted(PluginProviderParameterInputController *screen)
{
    for (int length = 1; length <= 20; ++length) {
        for (const QChar digit : QStringLiteral("1234567890")) {
            screen->setText(QString(length, digit));
            if (screen->canGoNext())
                return true;
        }
        screen->setText(QStringLiteral("1234567890").repeated(2).left(length));
        if (screen->canGoNext())
            return true;
    }
    return false;
}

void ScriptedCustomer::actOnMessageByName(MessageWidgetController *message)
{
    using Action = Scenario::Input::MessageAction;
    const bool yesNo = message->buttons() == MessageWidgetController::YesNoButtons;
    // The scenario's answer when a message is what it expects next; an OK is pressed anyway.
    if (m_next < m_inputs.size() && m_inputs.at(m_next).isMessage()) {
        const Scenario::Input input = m_inputs.at(m_next);
        const bool fits = yesNo ? (input.action == Action::Yes || input.action == Action::No)
                                : input.action == Action::Ok;
        if (fits) {
            ++m_next;
            emit acted(input.action == Action::Yes  ? QStringLiteral("presses Yes")
                       : input.action == Action::No ? QStringLiteral("presses No")
                                                    : QStringLiteral("presses OK"));
            press(message->ui(), input.action == Action::Yes  ? QStringLiteral("yesButton")
                                 : input.action == Action::No ? QStringLiteral("noButton")
                                                              : QStringLiteral("okButton"),
                  input);
            return;
        }
    }
    Scenario::Input none;
    none.path = QStringLiteral("the customer");
    if (yesNo) {
        fail(QStringLiteral("the customer has no answer for the question %1").arg(TranscriptPrinter::quoted(message->text())));
        return;
    }
    emit acted(QStringLiteral("presses OK"));
    press(message->ui(), QStringLiteral("okButton"), none);
}

bool ScriptedCustomer::compare(const Scenario::Input &input, const QString &field, const QVariant &shownValue)
{
    const QVariant expected = input.expect.value(field);
    const bool same = expected.userType() == QMetaType::QStringList
                          ? expected.toStringList() == shownValue.toStringList()
                          : expected.toString() == shownValue.toString();
    if (!same)
        fail(QStringLiteral("%1.expect.%2: shown %3, expected %4")
                 .arg(input.path, field, shown(shownValue), shown(expected)));
    return same;
}

bool ScriptedCustomer::checkScreen(PluginProviderParameterInputController *screen, const Scenario::Input &input)
{
    const ProviderParameter parameter = screen->parameter();
    const QVariantMap shownValues{
        {QStringLiteral("label"), parameter.label()},
        {QStringLiteral("mask"), parameter.mask()},
        {QStringLiteral("regExp"), parameter.regExp()},
        {QStringLiteral("keyboard"), parameter.keyboardType()},
        {QStringLiteral("value"), screen->text()},
        {QStringLiteral("choices"), choiceLabels(parameter)},
    };
    for (auto it = input.expect.cbegin(); it != input.expect.cend(); ++it) {
        if (!compare(input, it.key(), shownValues.value(it.key())))
            return false;
    }
    return true;
}

bool ScriptedCustomer::checkMessage(MessageWidgetController *message, const Scenario::Input &input)
{
    const QVariantMap shownValues{
        {QStringLiteral("text"), message->text()},
        {QStringLiteral("okCaption"), message->okCaption()},
        {QStringLiteral("buttons"), buttonSet(message->buttons())},
        {QStringLiteral("timeout"), int(message->timeout())},
    };
    for (auto it = input.expect.cbegin(); it != input.expect.cend(); ++it) {
        if (!compare(input, it.key(), shownValues.value(it.key())))
            return false;
    }
    return true;
}

void ScriptedCustomer::actOnScreen(PluginProviderParameterInputController *screen, const Scenario::Input &input)
{
    using Kind = Scenario::Input::Kind;
    const ProviderParameter parameter = screen->parameter();
    if (input.screen != parameter.name()) {
        fail(QStringLiteral("%1 is for screen \"%2\", but screen \"%3\" is shown")
                 .arg(input.path, input.screen, parameter.name()));
        return;
    }
    if (!checkScreen(screen, input))
        return;
    ++m_next;
    const QString again = m_again ? QStringLiteral(" (back on the screen)") : QString();

    if (input.kind == Kind::Back) {
        emit acted(QStringLiteral("presses Back%1").arg(again));
        press(screen->ui(), QStringLiteral("backButton"), input);
        return;
    }
    if (input.kind == Kind::Choose) {
        if (!parameter.isChoice()) {
            fail(QStringLiteral("%1 chooses, but screen \"%2\" asks for text").arg(input.path, parameter.name()));
            return;
        }
        int position = input.choicePosition;
        if (!input.choiceLabel.isEmpty() || position < 0) {
            const QMap<QString, QVariant> values = parameter.values();
            if (!values.contains(input.choiceLabel)) {
                fail(QStringLiteral("%1: screen \"%2\" has no choice %3")
                         .arg(input.path, parameter.name(), TranscriptPrinter::quoted(input.choiceLabel)));
                return;
            }
            position = values.value(input.choiceLabel).toInt();
        }
        if (!screen->choose(position)) {
            fail(QStringLiteral("%1: screen \"%2\" has no choice at position %3")
                     .arg(input.path, parameter.name()).arg(position));
            return;
        }
        emit acted(QStringLiteral("chooses %1 and presses Next%2").arg(position).arg(again));
        press(screen->ui(), QStringLiteral("nextButton"), input);
        return;
    }

    if (parameter.isChoice()) {
        fail(QStringLiteral("%1 types, but screen \"%2\" offers choices").arg(input.path, parameter.name()));
        return;
    }
    screen->setText(input.text);
    const bool accepted = screen->canGoNext();
    if (input.refused) {
        if (accepted) {
            fail(QStringLiteral("%1: screen \"%2\" takes %3, which it should refuse")
                     .arg(input.path, parameter.name(), TranscriptPrinter::quoted(input.text)));
            return;
        }
        emit acted(QStringLiteral("types %1 and presses Next: refused (%2)")
                       .arg(TranscriptPrinter::quoted(input.text), screen->hint()));
        if (!press(screen->ui(), QStringLiteral("nextButton"), input))
            return;
        // Still on the same screen: the next input is for it too.
        m_again = false;
        schedule();
        return;
    }
    if (!accepted) {
        fail(QStringLiteral("%1: screen \"%2\" refuses %3: %4")
                 .arg(input.path, parameter.name(), TranscriptPrinter::quoted(input.text), screen->hint()));
        return;
    }
    emit acted(QStringLiteral("types %1 and presses Next%2").arg(TranscriptPrinter::quoted(input.text), again));
    press(screen->ui(), QStringLiteral("nextButton"), input);
}

void ScriptedCustomer::actOnMessage(MessageWidgetController *message, const Scenario::Input &input)
{
    using Action = Scenario::Input::MessageAction;
    if (!checkMessage(message, input))
        return;
    const int buttons = message->buttons();
    const bool yesNo = buttons == MessageWidgetController::YesNoButtons;
    if ((input.action == Action::Ok && yesNo) || ((input.action == Action::Yes || input.action == Action::No) && !yesNo)) {
        fail(QStringLiteral("%1 presses %2, but the message has %3")
                 .arg(input.path, Scenario::actionName(input.action), yesNo ? QStringLiteral("Yes/No") : QStringLiteral("OK")));
        return;
    }
    if (input.action == Action::Wait && message->timeout() <= 0) {
        fail(QStringLiteral("%1 waits, but the message never closes by itself").arg(input.path));
        return;
    }
    ++m_next;
    switch (input.action) {
    case Action::Ok:
        emit acted(QStringLiteral("presses OK"));
        press(message->ui(), QStringLiteral("okButton"), input);
        break;
    case Action::Yes:
        emit acted(QStringLiteral("presses Yes"));
        press(message->ui(), QStringLiteral("yesButton"), input);
        break;
    case Action::No:
        emit acted(QStringLiteral("presses No"));
        press(message->ui(), QStringLiteral("noButton"), input);
        break;
    case Action::Wait:
        emit acted(QStringLiteral("waits for the message to close by itself"));
        break;
    }
}

bool ScriptedCustomer::press(WidgetsController *ui, const QString &button, const Scenario::Input &input)
{
    // The customer has only the buttons on the screen: a controller without a form, or a button
    // that is not shown, is a screen the customer cannot get past.
    QPushButton *target = ui ? ui->widget<QPushButton>(button) : nullptr;
    if (!target || !target->isVisible()) {
        fail(QStringLiteral("%1: there is no %2 on the screen").arg(input.path, button));
        return false;
    }
    target->click();
    return true;
}
