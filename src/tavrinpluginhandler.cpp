#include "tavrinpluginhandler.h"

#include "buildstamp.h"
#include "formproject.h"
#include "formviewer.h"
#include "handoffmemory.h"
#include "messagewidgetcontroller.h"
#include "paymenti64idgenerator.h"
#include "pluginbaseformviewer.h"
#include "pluginproviderparameterinputcontroller.h"
#include "pluginviewloadhelper.h"
#include "provider.h"
#include "requestformat.h"
#include "sessionmanager.h"
#include "tavrinlog.h"
#include "widgetnames.h"

#include <QtCore/QDataStream>
#include <QtCore/QDateTime>
#include <QtCore/QDebug>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QJsonDocument>
#include <QtCore/QStringList>

namespace {

const char MessagesView[] = "messagesView";

QMap<qint64, QMap<QString, QString> > makeNamesMaps()
{
    QMap<QString, QString> common;
    common.insert(QStringLiteral("fam"), QStringLiteral("surname"));
    common.insert(QStringLiteral("name"), QStringLiteral("name"));
    common.insert(QStringLiteral("fname"), QStringLiteral("patronymic"));
    common.insert(QStringLiteral("pas_ser"), QStringLiteral("ID_serie"));
    common.insert(QStringLiteral("pas_num"), QStringLiteral("ID_number"));

    QMap<QString, QString> withCard = common;
    withCard.insert(QStringLiteral("card_num"), QStringLiteral("card_num"));
    withCard.insert(QStringLiteral("org_code"), QStringLiteral("ID_whome"));
    withCard.insert(QStringLiteral("bdate"), QStringLiteral("birthday"));
    withCard.insert(QStringLiteral("pas_date"), QStringLiteral("ID_date"));

    QMap<qint64, QMap<QString, QString> > maps;
    maps.insert(454, common);
    maps.insert(3105, withCard);
    return maps;
}

// Provider id to the names of its payment parameters and the service parameters they take
// their values from.
const QMap<qint64, QMap<QString, QString> > NAMES_MAPS = makeNamesMaps();

// Shown without translation, as the service's own texts are.
QString dataRequestError()
{
    return QString::fromUtf8("Ошибка запроса данных");
}

} // namespace

const QSet<qint64> TavrinPluginHandler::SUPPORTED_PROVIDERS =
    QSet<qint64>() << Q_INT64_C(71000454) << Q_INT64_C(72000434) << Q_INT64_C(113003105);
const QString TavrinPluginHandler::pluginMessageType = QStringLiteral("tavrinPluginRequest");
const QString TavrinPluginHandler::TAVRIN_PLUGIN_VERSION = QStringLiteral(TAVRIN_VERSION);
const QString TavrinPluginHandler::TAVRIN_PLUGIN_BUILD =
    TavrinPluginHandler::buildStamp(QStringLiteral(__DATE__), QStringLiteral(__TIME__));

TavrinPluginHandler::TavrinPluginHandler(QObject *parent)
    : QObject(parent)
    , currentStep(-1)
    , provider(nullptr)
    , sessionManager(nullptr)
    , viewLoadHelper(nullptr)
    , currentPayParameterIndex(0)
{
    qCDebug(TAVRIN_PLUGIN_LOG) << "TAVRIN_CONSTRUCTOR";
}

TavrinPluginHandler::~TavrinPluginHandler()
{
    qDebug() << "TavrinPluginHandler plugin destructor";
    qCDebug(TAVRIN_PLUGIN_LOG) << "TAVRIN_DESTRUCTOR";
    // Nobody but this object knows the helper, so it goes with it; the widgets are the host's
    // by now and are released by stop().
    delete viewLoadHelper;
}

QString TavrinPluginHandler::buildStamp(const QString &date, const QString &time)
{
    return BuildStamp::fromCompiler(date, time);
}

QString TavrinPluginHandler::pluginVersion() const
{
    return TAVRIN_PLUGIN_VERSION;
}

QString TavrinPluginHandler::pluginBuild() const
{
    return TAVRIN_PLUGIN_BUILD;
}

QSet<qint64> TavrinPluginHandler::supportedProviders() const
{
    return SUPPORTED_PROVIDERS;
}

bool TavrinPluginHandler::setMessageReciever(QObject *receiver, const char *slot)
{
    messageReceiver = receiver;
    messageReceiverSlot = QByteArray(slot);
    return true;
}

bool TavrinPluginHandler::setMessageSender(QObject *sender, const char *signal)
{
    messageSender = sender;
    messageSenderSignal = QByteArray(signal);
    return true;
}

void TavrinPluginHandler::setKovraInfo(const KovraInfo &info)
{
    kovraInfo = info;
}

bool TavrinPluginHandler::hasSettingsWidget()
{
    return false;
}

QWidget *TavrinPluginHandler::getSettingsWidget(SessionManager *sessionManager)
{
    Q_UNUSED(sessionManager);
    return nullptr;
}

QString TavrinPluginHandler::pluginDescription()
{
    return tr("Tavrin online check plugin");
}

QVariantMap TavrinPluginHandler::pluginFormTemplates()
{
    return QVariantMap();
}

QVariantMap TavrinPluginHandler::pluginFormTemplate(QString name, QString type)
{
    Q_UNUSED(name);
    Q_UNUSED(type);
    return QVariantMap();
}

int TavrinPluginHandler::pluginId()
{
    return 200;
}

QString TavrinPluginHandler::pluginStringId()
{
    return QStringLiteral("tavrinPlugin");
}

QVariantList TavrinPluginHandler::getStompFilters()
{
    return QVariantList() << QVariant(pluginMessageType);
}

FormViewer *TavrinPluginHandler::helperViewer() const
{
    return m_helperViewer.data();
}

// --- Dialogue start and the phone-number screen ---------------------------------------------

IPayWidget *TavrinPluginHandler::start(Provider *provider, const Currency &currency,
                                       SessionManager *sessionManager)
{
    if (!provider) {
        qCWarning(TAVRIN_PLUGIN_LOG) << "TAVRIN_START_REFUSED no provider given";
        return nullptr;
    }
    requestUid.clear();
    this->currency = currency;
    this->sessionManager = sessionManager;
    this->provider = provider;
    FormProject *project = sessionManager ? sessionManager->activeProject() : nullptr;
    projectDir = project ? project->projectDir() : QString();

    if (!formViewer) {
        // A pay screen that the host deleted without stop() leaves its dialogue behind: its
        // screens and messages must not act on the next customer's.
        forgetDialogue();
        formViewer = new PluginBaseFormViewer(sessionManager, provider, currency, pluginMessageType);
        formViewer->setMessageReciever(messageReceiver.data(), messageReceiverSlot.constData());
        formViewer->setMessageSender(messageSender.data(), messageSenderSignal.constData());
        formViewer->setInfo(kovraInfo);
        connect(formViewer, SIGNAL(incomingMessage(QVariantMap)),
                this, SLOT(stompIncomingMessagesHandler(QVariantMap)));
    }
    qCDebug(TAVRIN_PLUGIN_LOG) << "TAVRIN_STARTED";
    checkPluginViewLoadHelper();
    return formViewer.data();
}

void TavrinPluginHandler::checkPluginViewLoadHelper()
{
    if (!viewLoadHelper)
        viewLoadHelper = new PluginViewLoadHelper(pluginId(), pluginStringId(), projectDir,
                                                  formViewer.data());
}

void TavrinPluginHandler::showInitScreen()
{
    if (!isDialogueOpen())
        return;
    currentStep = -1;
    accountParameter = ProviderParameter();
    showInputNumberScreen();
}

void TavrinPluginHandler::showInputNumberScreen()
{
    if (!isDialogueOpen())
        return;
    collectedPayParameters.clear();
    // A request still pending belongs to the screens being left: its answer must not act on
    // this one.
    requestUid.clear();
    releaseMessageController();
    releaseInputController();

    // Back from the screens after it offers the number this customer typed; a new dialogue
    // has none yet. A provider without a phone parameter gets an empty screen, never the
    // number typed by the customer before.
    const QString typed = accountParameter.value();
    accountParameter = ProviderParameter();
    const QList<ProviderParameter> &parameters = provider->parameters();
    for (int i = 0; i < parameters.size(); ++i) {
        if (parameters.at(i).name() == QLatin1String("phone")) {
            accountParameter = parameters.at(i);
            accountParameter.setValue(typed.isEmpty() ? offeredValue(accountParameter) : typed);
            break;
        }
    }

    inputController = new PluginProviderParameterInputController(sessionManager, formViewer.data(),
                                                                 QString(), QString(), this);
    connect(inputController, SIGNAL(needBack()), this, SLOT(permitCancel()));
    connect(inputController, SIGNAL(needNext(QString)),
            this, SLOT(inputAccountScreenAcceptHandler(QString)));
    inputController->setParameter(provider->name(), accountParameter, false);
}

void TavrinPluginHandler::stop()
{
    forgetDialogue();
    if (formViewer) {
        formViewer->hide();
        formViewer->deleteLater();
        formViewer = nullptr;
    }
}

void TavrinPluginHandler::forgetDialogue()
{
    // Whatever of this dialogue is still to close or to answer must not reach the next one.
    if (messageController) {
        disconnect(messageController, nullptr, this, nullptr);
        if (formViewer)
            disconnect(messageController, nullptr, formViewer, nullptr);
    }
    if (helperMessageController)
        disconnect(helperMessageController, nullptr, this, nullptr);
    releaseMessageController();
    releaseInputController();
    requestUid.clear();
    payParameters.clear();
    collectedPayParameters.clear();
    currentPayParameterIndex = 0;
    accountParameter = ProviderParameter();

    if (m_helperViewer) {
        m_helperViewer->hide();
        m_helperViewer->deleteLater();
        m_helperViewer = nullptr;
    }
    if (helperMessageController) {
        helperMessageController->deleteLater();
        helperMessageController = nullptr;
    }
}

// --- Requests -------------------------------------------------------------------------------

QVariantMap TavrinPluginHandler::prepareStompMessage(QVariantMap params)
{
    QVariantMap request;
    request.insert(QStringLiteral("providerId"), QVariant(qint64(provider ? provider->id() : 0)));
    request.insert(QStringLiteral("code"), QStringLiteral("check"));
    request.insert(QStringLiteral("rekv"), QString());
    QVariantMap inner;
    inner.insert(QStringLiteral("checkdata"), RequestFormat::jsonText(params, QJsonDocument::Compact));
    request.insert(QStringLiteral("params"), inner);
    request.insert(QStringLiteral("currencyId"), currency.number3());
    request.insert(QStringLiteral("summ"), 0);
    request.insert(QStringLiteral("commission"), 0);
    request.insert(QStringLiteral("msgType"), QString());

    QByteArray bytes;
    {
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        stream << request << QDateTime::currentDateTime();
    }
    requestUid = QString::number(PaymentI64IdGenerator::generate(kovraInfo.kovraId(), bytes), 10);
    request.insert(QStringLiteral("uid"), requestUid);

    qCDebug(TAVRIN_PLUGIN_LOG) << "STOMP_REQUEST" << RequestFormat::jsonText(request, QJsonDocument::Indented);
    return request;
}

void TavrinPluginHandler::inputAccountScreenAcceptHandler(QString val)
{
    if (!isDialogueOpen())
        return;
    currentStep = -1;
    accountParameter.setValue(val);

    QPointer<MessageWidgetController> waiting = loadMessagesView();
    waiting->initMessage(tr("Запрос данных пользователя. Пожалуйста, подождите..."), 60, 0);
    connect(waiting, SIGNAL(needClose()), this, SLOT(sendAccCheckCommandTimeout()));

    const QVariantList payParamList = QVariantList()
        << RequestFormat::payParamEntry(QStringLiteral("msisdn"), QString(QLatin1Char('7') + val));
    formViewer->sendStompMessage(prepareStompMessage(RequestFormat::requestParams(payParamList,
                                                                   QStringLiteral("1"))));
}

void TavrinPluginHandler::inputCurrentPayParameterFinishHandler()
{
    if (!isDialogueOpen())
        return;
    if (payParameters.isEmpty()) {
        // The service asked for nothing we could send back: nothing can move this dialogue on.
        showErrorMessage(dataRequestError(), formViewer, SLOT(needCancel()));
        return;
    }

    TavrinPayParameter smsCode;
    for (int i = 0; i < payParameters.size(); ++i) {
        const TavrinPayParameter &parameter = payParameters.at(i);
        if (parameter.name() == QLatin1String("smscode"))
            smsCode = parameter;
        else
            collectedPayParameters.append(parameter);
    }

    QPointer<MessageWidgetController> waiting = loadMessagesView();
    waiting->initMessage(tr("Запрос пользовательских данных. Пожалуйста, подождите..."), 60, 0);
    connect(waiting, SIGNAL(needClose()), this, SLOT(sendAccCheckCommandTimeout()));

    const QVariantList payParamList = QVariantList()
        << RequestFormat::payParamEntry(QStringLiteral("msisdn"), QString(QLatin1Char('7') + accountParameter.value()))
        << RequestFormat::payParamEntry(QStringLiteral("smscode"), smsCode.value());
    formViewer->sendStompMessage(prepareStompMessage(RequestFormat::requestParams(payParamList,
                                                                   QStringLiteral("2"))));
}

void TavrinPluginHandler::messageFirstCheckCommandTimeoutHandler(int code)
{
    Q_UNUSED(code);
}

void TavrinPluginHandler::sendCheckCommandTimeout(int messageCode)
{
    Q_UNUSED(messageCode);
    if (!formViewer)
        return;
    QPointer<MessageWidgetController> message = loadMessagesView();
    message->initMessage(tr("Превышен интервал ожидания ответа от сервера"), 20, 1);
    message->setOkCaption(tr("Continue"));
    connect(message, SIGNAL(needClose()), formViewer, SLOT(needCancel()));
}

void TavrinPluginHandler::sendAccCheckCommandTimeout()
{
    // Only the waiting message of the request still pending speaks for it; one that was
    // replaced or released may close late.
    if (!formViewer || requestUid.isEmpty() || !sender() || sender() != messageController.data())
        return;
    qCDebug(TAVRIN_PLUGIN_LOG) << "CHECK_COMMAND_TIMEOUT" << requestUid;
    requestUid.clear();
    sendCheckCommandTimeout(0);
}

// --- Answers --------------------------------------------------------------------------------

void TavrinPluginHandler::stompIncomingMessagesHandler(const QVariantMap &message)
{
    if (!isDialogueOpen())
        return;
    const TavrinCheckAnswer answer(message);
    if (answer.msgType() != pluginMessageType)
        return;
    // An empty uid pends nothing: answers without one must not end a dialogue midway.
    if (requestUid.isEmpty() || answer.uid() != requestUid)
        return;

    releaseMessageController();
    qCDebug(TAVRIN_PLUGIN_LOG) << "STOMP_RECEIVED" << TavrinCheckAnswer::debugText(message);

    if (answer.result() != 0) {
        requestUid.clear();
        showErrorMessage(tr("Ошибка обработки запроса (%1).Попробуйте поздее").arg(answer.result()),
                         formViewer, SLOT(needCancel()));
        return;
    }

    if (!answer.error() && !answer.isStepError()) {
        currentStep = answer.currentStep();
        if (answer.isStepComplete() && answer.currentStep() == 1) {
            releaseInputController();
            currentPayParameterIndex = 0;
            payParameters = answer.payParamsList();
            if (!payParameters.isEmpty())
                payParameters.last().setMask(QStringLiteral("9999"));
            payParameters += fillAdditional();
            // Emptied first: with every parameter skipped the next request leaves at once.
            requestUid.clear();
            inputCurrentPayParameter();
            qCDebug(TAVRIN_PLUGIN_LOG) << "ANSWER_HANDLED" << answer.uid();
            return;
        }
        if (answer.isStepComplete()) {
            qCDebug(TAVRIN_PLUGIN_LOG) << "ANSWER_STEP_IS_COMPLETE";
            qCDebug(TAVRIN_PLUGIN_LOG) << "PREPARE_FILL_PARAMS";
            // A second delivery of this answer must not pay twice.
            requestUid.clear();
            fillProviderParameters(answer.payParamsList());
            formViewer->needShowPayDetail(QVariantMap());
            return;
        }
        requestUid.clear();
        showErrorMessage(dataRequestError(), formViewer, SLOT(needCancel()));
        qCDebug(TAVRIN_PLUGIN_LOG) << "ANSWER_HANDLED" << answer.uid();
        return;
    }

    const QString text = answer.isStepError() && !answer.stepStatusDescription().isEmpty()
                             ? answer.stepStatusDescription()
                             : dataRequestError();
    requestUid.clear();
    bool anyShown = false;
    for (int i = 0; i < payParameters.size() && !anyShown; ++i)
        anyShown = isShown(payParameters.at(i));
    if (currentStep == 1 && anyShown) {
        currentPayParameterIndex = 0;
        showErrorMessage(text, this, SLOT(retryInputParams(int)));
    } else {
        // With nothing to show, entering again would send the same values at once, forever.
        showErrorMessage(text, formViewer, SLOT(needCancel()));
    }
}

void TavrinPluginHandler::retryInputParams(int code)
{
    if (!isDialogueOpen())
        return;
    qCWarning(TAVRIN_PLUGIN_LOG) << "RETRY_INPUT_PARAMS" << code;
    inputCurrentPayParameter();
}

void TavrinPluginHandler::showErrorMessage(const QString &text, QObject *receiver, const char *slot)
{
    QPointer<MessageWidgetController> message = loadMessagesView();
    message->initMessage(text, 60, 1);
    connect(message, SIGNAL(finish(int)), receiver, slot);
}

// --- Parameter input ------------------------------------------------------------------------

bool TavrinPluginHandler::isShown(const TavrinPayParameter &parameter)
{
    return parameter.isEditable() || parameter.type() == TavrinPayParameter::TYPE_ENUM;
}

QMap<QString, QVariant> TavrinPluginHandler::choiceMap(const TavrinPayParameter &parameter)
{
    QMap<QString, QVariant> choices;
    const QList<TavrinPayParameter> options = parameter.paramList();
    for (int position = 0; position < options.size(); ++position) {
        QStringList lines;
        const QList<TavrinPayParameter> details = options.at(position).paramList();
        for (int i = 0; i < details.size(); ++i) {
            const TavrinPayParameter &detail = details.at(i);
            QString value = detail.value().toString();
            if (detail.name() == QLatin1String("addinfo"))
                value.replace(QLatin1String("\r\n"), QLatin1String(", "));
            // Both at once: a title holding "%2" must not swallow the value.
            lines.append(QStringLiteral("%1: %2").arg(detail.title(), value));
        }
        choices.insert(lines.join(QStringLiteral(", ")), position);
    }
    return choices;
}

void TavrinPluginHandler::inputCurrentPayParameter()
{
    if (!isDialogueOpen())
        return;
    if (currentPayParameterIndex < 0)
        currentPayParameterIndex = 0;
    // A loop, not a call per skipped parameter: a long list of skipped ones must not exhaust
    // the stack.
    for (;;) {
        qCDebug(TAVRIN_PLUGIN_LOG) << "INPUT_PARAM" << currentPayParameterIndex
                                   << payParameters.size();
        if (currentPayParameterIndex >= payParameters.size()) {
            qCDebug(TAVRIN_PLUGIN_LOG) << "PREPARE_TO_FINISH_INPUT";
            inputCurrentPayParameterFinishHandler();
            return;
        }
        const TavrinPayParameter parameter = payParameters.at(currentPayParameterIndex);
        if (!isShown(parameter)) {
            qCDebug(TAVRIN_PLUGIN_LOG) << "SKIP_PARAM" << parameter.name()
                                       << parameter.isEditable() << parameter.type();
            ++currentPayParameterIndex;
            continue;
        }

        ProviderParameter input;
        input.setName(parameter.name());
        input.setLabel(parameter.title());
        input.setCheckLabel(parameter.title());
        input.setRegExp(parameter.regexp());
        input.setMask(parameter.mask());
        input.setValue(parameter.value().toString());
        input.setKeyboardType(QStringLiteral("number"));
        qCDebug(TAVRIN_PLUGIN_LOG) << "PREPARE_TO_INPUT_PARAM" << input.name() << parameter.type();
        if (parameter.type() == TavrinPayParameter::TYPE_ENUM)
            input.setValues(choiceMap(parameter));

        if (!inputController) {
            qCDebug(TAVRIN_PLUGIN_LOG) << "CREATING_INPUT_CONTROLLER";
            inputController = new PluginProviderParameterInputController(
                sessionManager, formViewer.data(), QString(), QString(), this);
            connect(inputController, SIGNAL(needBack()),
                    this, SLOT(inputCurrentPayParameterBackHandler()));
            connect(inputController, SIGNAL(needNext(QString)),
                    this, SLOT(inputCurrentPayParameterNextHandler(QString)));
        }
        inputController->setParameter(provider->name(), input, false);
        return;
    }
}

void TavrinPluginHandler::inputCurrentPayParameterNextHandler(QString val)
{
    if (!isDialogueOpen())
        return;
    if (currentPayParameterIndex >= 0 && currentPayParameterIndex < payParameters.size())
        payParameters[currentPayParameterIndex].setValue(QVariant(val));
    ++currentPayParameterIndex;
    inputCurrentPayParameter();
}

void TavrinPluginHandler::inputCurrentPayParameterBackHandler()
{
    if (!isDialogueOpen())
        return;
    // Past the end (a Next after the list was done) counts as just done.
    if (currentPayParameterIndex > payParameters.size())
        currentPayParameterIndex = payParameters.size();
    if (currentPayParameterIndex <= 0) {
        currentPayParameterIndex = 0;
        currentStep = -1;
        showInputNumberScreen();
        return;
    }
    --currentPayParameterIndex;
    for (;;) {
        if (isShown(payParameters.at(currentPayParameterIndex))) {
            inputCurrentPayParameter();
            return;
        }
        if (--currentPayParameterIndex < 0) {
            currentPayParameterIndex = 0;
            currentStep = -1;
            showInputNumberScreen();
            return;
        }
    }
}

void TavrinPluginHandler::releaseInputController()
{
    if (!inputController)
        return;
    // Possibly inside the controller's own signal: let it finish before it goes.
    disconnect(inputController, nullptr, this, nullptr);
    inputController->hide();
    inputController->deleteLater();
    inputController = nullptr;
}

// --- Payment hand-off -----------------------------------------------------------------------

QList<TavrinPayParameter> TavrinPluginHandler::fillAdditional() const
{
    QList<TavrinPayParameter> additional;
    if (!provider || (provider->id() != 3105 && provider->baseProviderId() != 3105))
        return additional;
    const QList<ProviderParameter> &parameters = provider->parameters();
    for (int i = 0; i < parameters.size(); ++i) {
        if (parameters.at(i).name() == QLatin1String("card_num")) {
            TavrinPayParameter card(parameters.at(i));
            card.setValue(QVariant(offeredValue(parameters.at(i))));
            card.setIsEditable(true);
            card.setIsVisible(true);
            card.setType(TavrinPayParameter::TYPE_STRING);
            additional.append(card);
            break;
        }
    }
    return additional;
}

void TavrinPluginHandler::fillProviderParameters(const QList<TavrinPayParameter> &params)
{
    qCDebug(TAVRIN_PLUGIN_LOG) << "FILL_PROVIDER_PARAMS";
    if (!provider)
        return;
    QMap<QString, TavrinPayParameter> values;
    for (int i = 0; i < collectedPayParameters.size(); ++i)
        values.insert(collectedPayParameters.at(i).name(), collectedPayParameters.at(i));
    for (int i = 0; i < params.size(); ++i)
        values.insert(params.at(i).name(), params.at(i));

    QMap<QString, QString> names = NAMES_MAPS.value(provider->id());
    if (names.isEmpty())
        names = NAMES_MAPS.value(provider->baseProviderId());

    QList<ProviderParameter> &parameters = provider->parameters();
    for (int i = 0; i < parameters.size(); ++i) {
        ProviderParameter &parameter = parameters[i];
        const QString name = parameter.name();
        if (name == QLatin1String("phone")) {
            parameter.setValue(accountParameter.value());
        } else if (names.contains(name)) {
            parameter.setValue(values.value(names.value(name)).value().toString());
            parameter.setMaskedView(true);
        } else if (name == QLatin1String("passport")) {
            const QString series = values.value(names.value(QStringLiteral("pas_ser"))).value().toString();
            const QString number = values.value(names.value(QStringLiteral("pas_num"))).value().toString();
            parameter.setValue(series + number);
            parameter.setMaskedView(true);
        }
        // The two a later dialogue offers again.
        if (name == QLatin1String("phone") || name == QLatin1String("card_num"))
            HandOffMemory::instance().remember(provider->id(), name, parameter.value());
    }
}

QString TavrinPluginHandler::offeredValue(const ProviderParameter &parameter) const
{
    if (provider && HandOffMemory::instance().recognises(provider->id(), parameter.name(),
                                                         parameter.value()))
        return QString();
    return parameter.value();
}

// --- Message views and cancellation ---------------------------------------------------------

QPointer<MessageWidgetController> TavrinPluginHandler::loadMessagesView()
{
    return openMessageView(formViewer.data(), messageController);
}

QPointer<MessageWidgetController> TavrinPluginHandler::loadHelperMessagesView()
{
    // Without a pay screen a helper view would open as a window of its own.
    if (!formViewer)
        return QPointer<MessageWidgetController>();
    if (!m_helperViewer)
        m_helperViewer = new FormViewer(sessionManager, false, formViewer.data());
    if (helperMessageController) {
        helperMessageController->deleteLater();
        helperMessageController = nullptr;
    }
    return openMessageView(m_helperViewer.data(), helperMessageController);
}

QPointer<MessageWidgetController> TavrinPluginHandler::openMessageView(
    FormViewer *viewer, QPointer<MessageWidgetController> &controller)
{
    if (controller)
        controller->deleteLater();
    const QString formName = QLatin1String(MessagesView);
    if (viewer) {
        if (viewer->getUi(formName)) {
            viewer->showWidget(formName);
        } else if (sessionManager && sessionManager->activeProject()) {
            const QString path = QDir::fromNativeSeparators(
                sessionManager->activeProject()->projectDir() + QDir::separator()
                + WidgetNames(false, nullptr).messageViewFileName());
            if (QFile::exists(path))
                viewer->loadFromFile(path, formName, QMap<QString, QString>());
        }
    }
    controller = new MessageWidgetController(this);
    controller->setUi(viewer ? viewer->getUi(formName) : nullptr);
    return controller;
}

void TavrinPluginHandler::releaseMessageController()
{
    if (messageController) {
        messageController->deleteLater();
        messageController = nullptr;
    }
}

QPointer<MessageWidgetController> TavrinPluginHandler::loadPermitCancelMessagesView()
{
    QPointer<MessageWidgetController> question = loadHelperMessagesView();
    if (question)
        question->initMessage(
            tr("Все введенные данные будут потеряны. Продолжить отмену платежа?"), 15, 110);
    return question;
}

void TavrinPluginHandler::hideHelperMessagesView()
{
    if (helperMessageController) {
        helperMessageController->deleteLater();
        helperMessageController = nullptr;
    }
    if (m_helperViewer) {
        // The next question gets a fresh view; keeping this one would pile up hidden viewers.
        m_helperViewer->hide();
        m_helperViewer->deleteLater();
        m_helperViewer = nullptr;
    }
}

void TavrinPluginHandler::permitCancel()
{
    QPointer<MessageWidgetController> question = loadPermitCancelMessagesView();
    if (m_helperViewer && question) {
        connect(question, SIGNAL(finish(int)), this, SLOT(permitCancelMessageResult(int)));
        m_helperViewer->show();
    }
}

void TavrinPluginHandler::permitCancelMessageResult(int exitCode)
{
    if (exitCode == 1)
        cancelAcceptHandler();
    else
        hideHelperMessagesView();
}

void TavrinPluginHandler::cancelAcceptHandler()
{
    hideHelperMessagesView();
    if (formViewer)
        formViewer->needCancel();
}

void TavrinPluginHandler::exitFromMessage()
{
    releaseMessageController();
    if (formViewer)
        formViewer->needCancel();
}

bool TavrinPluginHandler::isDialogueOpen() const
{
    return provider && formViewer;
}
