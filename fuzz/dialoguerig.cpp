#include "dialoguerig.h"

#include "answerdecoder.h"
#include "currency.h"
#include "fuzzinput.h"
#include "hostmonitor.h"
#include "kovrainfo.h"
#include "messagewidgetcontroller.h"
#include "pluginbaseformviewer.h"
#include "pluginproviderparameterinputcontroller.h"
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

// Slots reachable by name, as every slot is; the host stand-in calls none of them itself.
const char *const PlainSlots[] = {"permitCancel", "cancelAcceptHandler", "exitFromMessage",
                                  "hideHelperMessagesView", "loadPermitCancelMessagesView",
                                  "inputCurrentPayParameterFinishHandler",
                                  "sendAccCheckCommandTimeout"};
const char *const CodeSlots[] = {"retryInputParams", "sendCheckCommandTimeout",
                                 "messageFirstCheckCommandTimeoutHandler",
                                 "permitCancelMessageResult"};
const int Codes[] = {0, 1, 2, -1};

Provider *phoneProvider(qint64 id, qint64 base)
{
    ProviderParameter phone(QStringLiteral("phone"), QStringLiteral("Номер телефона"));
    phone.setRegExp(QStringLiteral("^9\\d{9}$"));
    ProviderParameter card(QStringLiteral("card_num"), QStringLiteral("Номер карты"));
    card.setRegExp(QStringLiteral("^\\d{16}$"));
    return new Provider(id, base, QStringLiteral("Провайдер"),
                        {phone, card, ProviderParameter(QStringLiteral("fam")),
                         ProviderParameter(QStringLiteral("pas_ser")),
                         ProviderParameter(QStringLiteral("pas_num")),
                         ProviderParameter(QStringLiteral("passport"))});
}

QString msisdnOf(const QVariantMap &request)
{
    const QString checkData = request.value(QStringLiteral("params")).toMap()
                                  .value(QStringLiteral("checkdata")).toString();
    const QVariantList list = QJsonDocument::fromJson(checkData.toUtf8()).toVariant().toMap()
                                  .value(QStringLiteral("payParamList")).toList();
    for (const QVariant &entry : list) {
        const QVariantMap map = entry.toMap();
        if (map.value(QStringLiteral("name")).toString() == QLatin1String("msisdn"))
            return map.value(QStringLiteral("value")).toString();
    }
    return QStringLiteral("(none)");
}

} // namespace

DialogueRig::DialogueRig(QObject *parent)
    : QObject(parent)
    , m_project(QStringLiteral(TAVRIN_FORMS_PATH))
    , m_handler(new TavrinPluginHandler)
    , m_initialTopLevel(QApplication::topLevelWidgets())
{
    m_session.setActiveProject(&m_project);
    m_providers[0].reset(phoneProvider(71000454, 454));
    m_providers[1].reset(phoneProvider(113003105, 3105));
    m_providers[2].reset(new Provider(72000434, 434, QStringLiteral("Без телефона"),
                                      {ProviderParameter(QStringLiteral("fam"))}));
    m_handler->setMessageReciever(this, SLOT(take(QVariantMap)));
    m_handler->setMessageSender(this, SIGNAL(deliver(QVariantMap)));
    m_handler->setKovraInfo(KovraInfo(4242));
    connect(HostMonitor::instance(), &HostMonitor::messageShown, this, &DialogueRig::messageShown);
    connect(HostMonitor::instance(), &HostMonitor::parameterShown,
            this, &DialogueRig::parameterShown);
}

DialogueRig::~DialogueRig()
{
    delete m_handler.data();
    delete m_watchedViewer.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void DialogueRig::check(bool condition, const char *what)
{
    if (condition)
        return;
    std::fprintf(stderr, "dialogue rig: %s\n", what);
    std::abort();
}

PluginProviderParameterInputController *DialogueRig::screen() const
{
    // The screen shown last, also one released but not yet deleted: a press may still reach it.
    if (m_input)
        return m_input.data();
    return m_handler ? TavrinHandlerProbe(m_handler).inputController() : nullptr;
}

PluginBaseFormViewer *DialogueRig::viewer() const
{
    return m_handler ? TavrinHandlerProbe(m_handler).formViewer() : nullptr;
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
        if (m_handler)
            m_handler->stop();
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
        answer(message);
        break;
    }
    case AnswerAgain:
        trace("answer again");
        answer(m_lastAnswer);
        break;
    case Turn:
        trace("turn");
        turn();
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
        delete m_handler.data();
        m_shown = false;
        break;
    }
    checkAlways();
}

void DialogueRig::start(FuzzInput &in)
{
    const int choice = in.choose(4);
    if (!m_handler)
        return;
    Provider *provider = choice < 3 ? m_providers[choice].data() : nullptr;
    trace("start", provider ? QString::number(provider->id()) : QStringLiteral("without provider"));
    IPayWidget *widget = m_handler->start(provider, Currency(643), &m_session);
    // A dialogue shows its first screen on showInitScreen(); until then the host has the screen.
    m_shown = false;
    check((widget != nullptr) == (provider != nullptr), "start returned a widget without provider");
    PluginBaseFormViewer *payScreen = viewer();
    if (!payScreen || payScreen == m_watchedViewer)
        return;
    m_watchedViewer = payScreen;
    connect(payScreen, &PluginBaseFormViewer::cancelRequested, this, &DialogueRig::cancelRequested);
    connect(payScreen, &PluginBaseFormViewer::payDetailRequested,
            this, &DialogueRig::payDetailRequested);
    // Left hidden, as the plugin never shows it itself: laying out and drawing the forms would
    // cost most of each run and test Qt rather than the plugin.
}

void DialogueRig::showInitScreen()
{
    if (!m_handler)
        return;
    m_handler->showInitScreen();
    m_shown = viewer() != nullptr;
    m_ended = false;
    // The numbers this customer may be checked with: those typed from now on, and the one the
    // provider holds for the screen to start with.
    m_numbersTyped.clear();
    for (int i = 0; i < 3; ++i) {
        for (const ProviderParameter &parameter : m_providers[i]->parameters()) {
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
    if (which == 0 && m_handler) {
        message = TavrinHandlerProbe(m_handler).messageController();
    } else if (which == 1 && m_handler) {
        message = TavrinHandlerProbe(m_handler).helperMessageController();
    } else if (!m_messages.isEmpty()) {
        // Any message still alive, also one already replaced: it may close before it goes.
        message = m_messages.at(in.byte() % m_messages.size()).data();
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
    const QString pending = m_handler ? TavrinHandlerProbe(m_handler).requestUid() : QString();
    const bool matches = m_handler && viewer() && !pending.isEmpty()
                         && body.value(QStringLiteral("msgType")).toString() == MessageType
                         && body.value(QStringLiteral("uid")).toString() == pending;

    struct State
    {
        int shown, sent, cancels, payDetails, index, count, step;
        QString uid;
        bool operator==(const State &o) const
        {
            return shown == o.shown && sent == o.sent && cancels == o.cancels
                   && payDetails == o.payDetails && index == o.index && count == o.count
                   && step == o.step && uid == o.uid;
        }
    };
    const auto state = [this]() {
        TavrinHandlerProbe probe(m_handler);
        return m_handler ? State{m_shownCount, int(m_sentUids.size()), m_cancels, m_payDetails,
                                 probe.parameterIndex(), probe.parameterCount(),
                                 probe.currentStep(), probe.requestUid()}
                         : State{m_shownCount, int(m_sentUids.size()), m_cancels, m_payDetails,
                                 0, 0, 0, QString()};
    };
    const State before = state();
    m_answeringUid = matches ? pending : QString();
    emit deliver(message);
    m_answeringUid.clear();
    if (!matches)
        check(state() == before, "an answer that matches no pending request changed the dialogue");
}

void DialogueRig::callSlot(FuzzInput &in)
{
    const int plain = int(sizeof(PlainSlots) / sizeof(PlainSlots[0]));
    const int withCode = int(sizeof(CodeSlots) / sizeof(CodeSlots[0]));
    const int choice = in.choose(plain + withCode);
    const int code = Codes[in.choose(4)];
    const char *name = choice < plain ? PlainSlots[choice] : CodeSlots[choice - plain];
    trace("slot", QString::fromLatin1(name));
    if (!m_handler)
        return;
    if (choice < plain)
        QMetaObject::invokeMethod(m_handler, name, Qt::DirectConnection);
    else
        QMetaObject::invokeMethod(m_handler, name, Qt::DirectConnection, Q_ARG(int, code));
}

void DialogueRig::turn()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    checkSettled();
}

void DialogueRig::checkAlways() const
{
    if (!m_handler)
        return;
    const TavrinHandlerProbe probe(m_handler);
    check(probe.parameterIndex() >= 0, "the parameter index went negative");
}

void DialogueRig::checkSettled() const
{
    if (m_handler) {
        const TavrinHandlerProbe probe(m_handler);
        for (QObject *child : m_handler->children()) {
            if (qobject_cast<MessageWidgetController *>(child)) {
                check(child == probe.messageController() || child == probe.helperMessageController(),
                      "a message controller the handler no longer holds is alive");
            } else if (qobject_cast<PluginProviderParameterInputController *>(child)) {
                check(child == probe.inputController(),
                      "an input controller the handler no longer holds is alive");
            } else {
                check(false, "the handler has a child of an unknown kind");
            }
        }
    }
    for (QWidget *window : QApplication::topLevelWidgets()) {
        check(m_initialTopLevel.contains(window) || window == m_watchedViewer.data(),
              "a window was left over");
    }
    checkWayOn();
}

void DialogueRig::checkWayOn() const
{
    if (!m_handler || !m_shown || m_ended || !viewer())
        return;
    const TavrinHandlerProbe probe(m_handler);
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
    if (m_handler) {
        m_handler->stop();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        check(m_handler->children().isEmpty(), "stop left controllers alive");
        check(!viewer(), "stop left the pay screen");
    }
    m_shown = false;
    delete m_handler.data();
    delete m_watchedViewer.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::sendPostedEvents();
    for (QWidget *window : QApplication::topLevelWidgets())
        check(m_initialTopLevel.contains(window), "a window outlived the dialogue");
}

void DialogueRig::take(const QVariantMap &message)
{
    const QString uid = message.value(QStringLiteral("uid")).toString();
    check(!uid.isEmpty() && !m_sentUids.contains(uid), "a request without a fresh uid");
    check(message.value(QStringLiteral("msgType")).toString() == MessageType,
          "a request of another message type");
    const QString msisdn = msisdnOf(message);
    check(msisdn.startsWith(QLatin1Char('7')) && m_numbersTyped.contains(msisdn.mid(1)),
          "a request with a number this customer did not type");
    m_sentUids.append(uid);
}

void DialogueRig::messageShown(MessageWidgetController *controller)
{
    ++m_shownCount;
    m_messages.append(controller);
    // Only the ones still alive are worth closing later.
    for (int i = m_messages.size() - 1; i >= 0; --i) {
        if (!m_messages.at(i))
            m_messages.removeAt(i);
    }
}

void DialogueRig::parameterShown(PluginProviderParameterInputController *controller)
{
    ++m_shownCount;
    m_input = controller;
}

void DialogueRig::cancelRequested()
{
    ++m_cancels;
    m_ended = true;
}

void DialogueRig::payDetailRequested(const QVariantMap &details)
{
    Q_UNUSED(details);
    ++m_payDetails;
    check(!m_answeringUid.isEmpty(), "payment details without a completing answer");
    check(!m_paidUids.contains(m_answeringUid), "one completing answer paid twice");
    m_paidUids.insert(m_answeringUid);
    m_ended = true;
}
