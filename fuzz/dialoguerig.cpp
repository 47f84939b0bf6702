#include "dialoguerig.h"

#include "answerdecoder.h"
#include "answerwalker.h"
#include "fuzzinput.h"
#include "tavrinhandlerprobe.h"
#include "tavrinpluginhandler.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QEvent>
#include <QtCore/QJsonDocument>
#include <QtCore/QMetaObject>
#include <QtWidgets/QApplication>
#include <QtWidgets/QWidget>

#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace {

// TAVRIN_FUZZ_TRACE=1 prints each event as it is played, to read what a crashing input does.
const bool Trace = qEnvironmentVariableIsSet("TAVRIN_FUZZ_TRACE");

void trace(const char *event, const QString &detail = QString())
{
    if (Trace)
        std::fprintf(stderr, "event: %s %s\n", event, qPrintable(detail));
}

const QString MessageType = QStringLiteral("tavrinPluginRequest");

const QStringList Texts{QStringLiteral("9161234567"), QStringLiteral("1234"),
                        QStringLiteral("4827"),       QString(),
                        QStringLiteral("Петров"),     QStringLiteral("0"),
                        QStringLiteral("1"),          QStringLiteral("abc"),
                        QStringLiteral("4276380012345678")};

// Slots reachable by name, as every slot is; the host stand-in calls none of them itself. The
// first PlainSlots take nothing, the others a code.
const char *const Slots[] = {"permitCancel", "cancelAcceptHandler", "exitFromMessage",
                             "hideHelperMessagesView", "loadPermitCancelMessagesView",
                             "inputCurrentPayParameterFinishHandler", "sendAccCheckCommandTimeout",
                             "retryInputParams", "sendCheckCommandTimeout",
                             "messageFirstCheckCommandTimeoutHandler", "permitCancelMessageResult"};
const int PlainSlots = 7;
const int Codes[] = {0, 1, 2, -1};

QString msisdnOf(const QVariantMap &request)
{
    const QVariantList list = BusProbe::checkData(request).value(QStringLiteral("payParamList")).toList();
    for (const QVariant &entry : list) {
        const QVariantMap map = entry.toMap();
        if (map.value(QStringLiteral("name")).toString() == QLatin1String("msisdn"))
            return map.value(QStringLiteral("value")).toString();
    }
    return QStringLiteral("(none)");
}

} // namespace

DialogueRig::DialogueRig()
    : d(new TavrinPluginHandler)
    , m_initialTopLevel(QApplication::topLevelWidgets())
{
    // One of each family; the card number also where the family takes none.
    const qint64 ids[] = {71000454, 113003105, 72000434};
    for (int i = 0; i < 3; ++i) {
        m_providers[i].reset(PluginFixture::makeProvider(ids[i]));
        if (ids[i] == 71000454)
            m_providers[i]->parameters().append(ProviderParameter(QStringLiteral("card_num")));
    }
}

DialogueRig::~DialogueRig()
{
    release();
}

void DialogueRig::release()
{
    delete d.fixture.pluginObject.data();
    delete d.fixture.viewer.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void DialogueRig::check(bool condition, const char *what)
{
    if (condition)
        return;
    std::fprintf(stderr, "dialogue rig: %s\n", what);
    std::abort();
}

TavrinPluginHandler *DialogueRig::handler() const
{
    return qobject_cast<TavrinPluginHandler *>(d.fixture.pluginObject.data());
}

PluginProviderParameterInputController *DialogueRig::screen() const
{
    // The screen shown last, also one released but not yet deleted: a press may still reach it.
    if (PluginProviderParameterInputController *shown = d.lastShownInput().controller)
        return shown;
    return handler() ? TavrinHandlerProbe(handler()).inputController() : nullptr;
}

PluginBaseFormViewer *DialogueRig::viewer() const
{
    return handler() ? TavrinHandlerProbe(handler()).formViewer() : nullptr;
}

void DialogueRig::play(FuzzInput &in)
{
    const int event = in.choose(EventCount);
    PluginProviderParameterInputController *input = screen();
    switch (event) {
    case Start:
        start(in);
        break;
    case ShowInitScreen:
        trace("showInitScreen");
        showInitScreen();
        break;
    case Stop:
        trace("stop");
        if (handler())
            handler()->stop();
        m_shown = false;
        break;
    case NextTyped:
        next(in.text(Texts), true);
        break;
    case NextSignalled:
        next(in.text(Texts), false);
        break;
    case Back:
        trace("back", input ? input->parameter().name() : QStringLiteral("(no screen)"));
        if (input)
            input->back();
        break;
    case Choose: {
        const int position = in.byte();
        trace("choose", QString::number(position));
        if (input && input->choose(position))
            input->next();
        break;
    }
    case CloseMessage:
        closeMessage(in);
        break;
    case Answer: {
        const QVariantMap message = AnswerDecoder(m_sentUids).read(in);
        if (Trace)
            trace("answer", QString::fromUtf8(QJsonDocument::fromVariant(message)
                                                  .toJson(QJsonDocument::Compact)));
        // The records of every answer, read through: what holds for any answer holds here.
        AnswerWalker::walk(message);
        answer(message);
        break;
    }
    case AnswerAgain:
        trace("answer again");
        answer(m_lastAnswer);
        break;
    case Turn:
        trace("turn");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        checkSettled();
        break;
    case DeleteViewer:
        trace("host deletes the pay screen");
        delete viewer();
        m_shown = false;
        break;
    case CallSlot:
        callSlot(in);
        break;
    default:
        trace("host deletes the plugin");
        // The host may delete the plugin object at any time; the pay screen stays its own.
        delete d.fixture.pluginObject.data();
        m_shown = false;
        break;
    }
    checkAlways();
}

void DialogueRig::start(FuzzInput &in)
{
    const int choice = in.choose(4);
    if (!handler())
        return;
    Provider *provider = choice < 3 ? m_providers[choice].data() : nullptr;
    trace("start", provider ? QString::number(provider->id()) : QStringLiteral("without provider"));
    // A dialogue shows its first screen on showInitScreen(); until then the host has the screen.
    // The pay screen is left hidden, as the plugin never shows it itself: laying out and
    // drawing the forms would cost most of each run and test Qt rather than the plugin.
    m_shown = false;
    check((d.open(provider) != nullptr) == (provider != nullptr), "start returned a widget without provider");
}

void DialogueRig::showInitScreen()
{
    if (!handler())
        return;
    handler()->showInitScreen();
    m_shown = viewer() != nullptr;
    m_ended = false;
    // The numbers this customer may be checked with: those typed from now on, and the one the
    // provider holds for the screen to start with.
    m_numbersTyped.clear();
    for (const QScopedPointer<Provider> &provider : m_providers) {
        for (const ProviderParameter &parameter : provider->parameters()) {
            if (parameter.name() == QLatin1String("phone"))
                m_numbersTyped.insert(parameter.value());
        }
    }
}

void DialogueRig::next(const QString &text, bool typed)
{
    PluginProviderParameterInputController *input = screen();
    const QString on = input ? input->parameter().name() : QStringLiteral("(no screen)");
    trace(typed ? "next typed" : "next signalled", QStringLiteral("\"%1\" on %2").arg(text, on));
    if (!input)
        return;
    m_numbersTyped.insert(text);
    if (typed) {
        input->setText(text);
        input->next();
    } else {
        // A host whose screen lets any text through.
        emit input->needNext(text);
    }
}

void DialogueRig::closeMessage(FuzzInput &in)
{
    const int which = in.choose(3);
    const int code = Codes[in.choose(4)];
    MessageWidgetController *message = nullptr;
    QList<MessageWidgetController *> alive;
    for (const DialogueDriver::ShownMessage &shown : d.shownMessages) {
        if (shown.controller)
            alive.append(shown.controller);
    }
    if (which == 0 && handler()) {
        message = TavrinHandlerProbe(handler()).messageController();
    } else if (which == 1 && handler()) {
        message = TavrinHandlerProbe(handler()).helperMessageController();
    } else if (!alive.isEmpty()) {
        // Any message still alive, also one already replaced: it may close before it goes.
        message = alive.at(in.byte() % alive.size());
    }
    static const char *const Which[] = {"main", "helper", "any"};
    trace("close message", QStringLiteral("%1 with %2: %3")
                               .arg(QLatin1String(Which[which]))
                               .arg(code)
                               .arg(message ? message->text() : QStringLiteral("(none)")));
    if (message)
        message->close(code);
}

void DialogueRig::answer(const QVariantMap &message)
{
    m_lastAnswer = message;
    const QVariantMap body = message.value(QStringLiteral("message")).toMap();
    const QString pending = handler() ? TavrinHandlerProbe(handler()).requestUid() : QString();
    const bool matches = handler() && viewer() && !pending.isEmpty()
                         && body.value(QStringLiteral("msgType")).toString() == MessageType
                         && body.value(QStringLiteral("uid")).toString() == pending;
    // What an answer may change.
    const auto state = [this]() {
        QVariantList state{int(d.shownMessages.size() + d.shownInputs.size()), d.sentCount(),
                           d.cancels(), d.payDetails()};
        if (handler()) {
            const TavrinHandlerProbe probe(handler());
            state << probe.parameterIndex() << probe.parameterCount() << probe.currentStep()
                  << probe.requestUid();
        }
        return state;
    };
    const QVariantList before = state();
    d.fixture.bus.answerNow(message);
    if (!matches)
        check(state() == before, "an answer that matches no pending request changed the dialogue");
    if (d.payDetails() != m_payDetails) {
        check(matches && d.payDetails() == m_payDetails + 1, "payment details without a completing answer");
        check(!m_paidUids.contains(pending), "one completing answer paid twice");
        m_paidUids.insert(pending);
        m_payDetails = d.payDetails();
        m_ended = true;
    }
}

void DialogueRig::callSlot(FuzzInput &in)
{
    const int choice = in.choose(int(std::size(Slots)));
    const int code = Codes[in.choose(4)];
    trace("slot", QString::fromLatin1(Slots[choice]));
    if (!handler())
        return;
    if (choice < PlainSlots)
        QMetaObject::invokeMethod(handler(), Slots[choice], Qt::DirectConnection);
    else
        QMetaObject::invokeMethod(handler(), Slots[choice], Qt::DirectConnection, Q_ARG(int, code));
}

void DialogueRig::checkAlways()
{
    // Every request as it left: a fresh uid, our type, and a number this customer typed.
    const QList<QVariantMap> &sent = d.fixture.bus.sent;
    for (; m_requestsChecked < sent.size(); ++m_requestsChecked) {
        const QVariantMap &request = sent.at(m_requestsChecked);
        const QString uid = request.value(QStringLiteral("uid")).toString();
        check(!uid.isEmpty() && !m_sentUids.contains(uid), "a request without a fresh uid");
        check(request.value(QStringLiteral("msgType")).toString() == MessageType,
              "a request of another message type");
        const QString msisdn = msisdnOf(request);
        check(msisdn.startsWith(QLatin1Char('7')) && m_numbersTyped.contains(msisdn.mid(1)),
              "a request with a number this customer did not type");
        m_sentUids.append(uid);
    }
    check(d.payDetails() == m_payDetails, "payment details without a completing answer");
    if (d.cancels() != m_cancels) {
        m_cancels = d.cancels();
        m_ended = true;
    }
    if (handler())
        check(TavrinHandlerProbe(handler()).parameterIndex() >= 0, "the parameter index went negative");
}

void DialogueRig::checkSettled() const
{
    if (handler()) {
        const TavrinHandlerProbe probe(handler());
        // Its only children are the controllers it points at, so no more than one of each.
        for (QObject *child : handler()->children()) {
            check(child == probe.messageController() || child == probe.helperMessageController()
                      || child == probe.inputController(),
                  "the handler has a child it no longer holds, or one of an unknown kind");
        }
    }
    for (QWidget *window : QApplication::topLevelWidgets()) {
        check(m_initialTopLevel.contains(window) || window == d.viewer(), "a window was left over");
    }
    checkWayOn();
}

void DialogueRig::checkWayOn() const
{
    if (!handler() || !m_shown || m_ended || !viewer())
        return;
    const TavrinHandlerProbe probe(handler());
    const MessageWidgetController *main = probe.messageController();
    const MessageWidgetController *helper = probe.helperMessageController();
    const PluginProviderParameterInputController *input = probe.inputController();
    const bool messageWillEnd = main && main->isOpen() && (main->timeout() > 0 || main->buttons() != 0);
    const bool questionOpen = helper && helper->isOpen();
    const bool screenOn = input && (!input->ui() || input->ui()->isOwnedBy(input));
    check(messageWillEnd || questionOpen || screenOn, "the customer is left with no way on");
}

void DialogueRig::finish()
{
    if (handler()) {
        handler()->stop();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        check(handler()->children().isEmpty(), "stop left controllers alive");
        check(!viewer(), "stop left the pay screen");
    }
    m_shown = false;
    release();
    QCoreApplication::sendPostedEvents();
    for (QWidget *window : QApplication::topLevelWidgets())
        check(m_initialTopLevel.contains(window), "a window outlived the dialogue");
}
