#include "benchterminal.h"

#include "benchanswers.h"
#include "currency.h"
#include "hostmonitor.h"
#include "kovrainfo.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QEvent>
#include <QtCore/QPluginLoader>

namespace {

Provider *makeCardProvider()
{
    ProviderParameter phone(QStringLiteral("phone"), QStringLiteral("Номер телефона"));
    phone.setRegExp(QStringLiteral("^9\\d{9}$"));
    ProviderParameter card(QStringLiteral("card_num"), QStringLiteral("Номер карты"));
    card.setRegExp(QStringLiteral("^\\d{16}$"));
    return new Provider(113003105, 3105, QStringLiteral("Пополнение карты"),
                        {phone, card,
                         ProviderParameter(QStringLiteral("fam"), QStringLiteral("Фамилия")),
                         ProviderParameter(QStringLiteral("name"), QStringLiteral("Имя")),
                         ProviderParameter(QStringLiteral("fname"), QStringLiteral("Отчество")),
                         ProviderParameter(QStringLiteral("pas_ser"), QStringLiteral("Серия паспорта")),
                         ProviderParameter(QStringLiteral("pas_num"), QStringLiteral("Номер паспорта")),
                         ProviderParameter(QStringLiteral("org_code"), QStringLiteral("Код подразделения")),
                         ProviderParameter(QStringLiteral("bdate"), QStringLiteral("Дата рождения")),
                         ProviderParameter(QStringLiteral("pas_date"), QStringLiteral("Дата выдачи"))});
}

// Enough for four input screens, two requests and their answers; more means a loop.
const int MaxDialogueSteps = 32;

} // namespace

BenchTerminal::BenchTerminal(QObject *parent)
    : QObject(parent)
    , m_project(QStringLiteral(TAVRIN_FORMS_PATH))
    , m_provider(makeCardProvider())
    , m_firstAnswer(BenchAnswers::firstStepAnswer(BenchAnswers::typicalParameters()))
    , m_secondAnswer(BenchAnswers::secondStepAnswer())
{
    m_session.setActiveProject(&m_project);
    connect(HostMonitor::instance(), SIGNAL(parameterShown(PluginProviderParameterInputController*)),
            this, SLOT(parameterShown(PluginProviderParameterInputController*)));
}

BenchTerminal::~BenchTerminal()
{
    if (m_plugin)
        m_plugin->stop();
    delete m_viewer.data();
    delete m_pluginObject;
    settle();
}

bool BenchTerminal::load()
{
    QPluginLoader loader(QStringLiteral(TAVRIN_PLUGIN_PATH));
    loader.setLoadHints(QLibrary::PreventUnloadHint);
    m_pluginObject = loader.instance();
    m_plugin = qobject_cast<IPayByProvider *>(m_pluginObject);
    if (!m_plugin)
        return fail(m_pluginObject ? QStringLiteral("the plugin instance is no IPayByProvider")
                                   : loader.errorString());
    m_plugin->setMessageReciever(this, SLOT(take(QVariantMap)));
    m_plugin->setMessageSender(this, SIGNAL(deliver(QVariantMap)));
    m_plugin->setKovraInfo(KovraInfo(4242));
    return true;
}

bool BenchTerminal::begin()
{
    m_payDetailShown = false;
    m_shownInput = nullptr;
    m_viewer = dynamic_cast<PluginBaseFormViewer *>(
        m_plugin->start(m_provider.data(), Currency(643), &m_session));
    if (!m_viewer)
        return fail(QStringLiteral("start() gave no pay screen"));
    connect(m_viewer, SIGNAL(payDetailRequested(QVariantMap)), this, SLOT(payDetailRequested()),
            Qt::UniqueConnection);
    m_plugin->showInitScreen();
    if (!m_shownInput)
        return fail(QStringLiteral("showInitScreen() showed no account screen"));
    return true;
}

QString BenchTerminal::acceptNumber()
{
    const int before = m_requests;
    if (!enterShownParameter())
        return QString();
    if (m_requests == before) {
        fail(QStringLiteral("accepting the phone number sent no request"));
        return QString();
    }
    return m_lastUid;
}

bool BenchTerminal::runDialogue()
{
    const bool reached = driveDialogue();
    end();
    return reached;
}

bool BenchTerminal::driveDialogue()
{
    if (!begin())
        return false;
    const QString uid = acceptNumber();
    if (uid.isEmpty())
        return false;
    emit deliver(BenchAnswers::withUid(m_firstAnswer, uid));
    for (int step = 0; step < MaxDialogueSteps && !m_payDetailShown; ++step) {
        const int before = m_requests;
        if (!enterShownParameter())
            return false;
        if (m_requests != before)
            emit deliver(BenchAnswers::withUid(m_secondAnswer, m_lastUid));
    }
    return m_payDetailShown || fail(QStringLiteral("the dialogue did not reach the payment details"));
}

void BenchTerminal::end()
{
    m_plugin->stop();
    settle();
}

void BenchTerminal::settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void BenchTerminal::take(const QVariantMap &message)
{
    ++m_requests;
    m_lastUid = message.value(QStringLiteral("uid")).toString();
}

void BenchTerminal::parameterShown(PluginProviderParameterInputController *controller)
{
    m_shownInput = controller;
}

void BenchTerminal::payDetailRequested()
{
    m_payDetailShown = true;
}

bool BenchTerminal::fail(const QString &why)
{
    m_error = why;
    return false;
}

bool BenchTerminal::enterShownParameter()
{
    PluginProviderParameterInputController *input = m_shownInput.data();
    if (!input)
        return fail(QStringLiteral("no input screen is shown"));
    const ProviderParameter parameter = input->parameter();
    if (parameter.isChoice()) {
        const QVariantMap choices = parameter.values();
        if (choices.isEmpty() || !input->choose(choices.cbegin().value().toInt()))
            return fail(QStringLiteral("nothing to choose for %1").arg(parameter.name()));
    } else {
        const QString typed = BenchAnswers::typedValue(parameter.name());
        if (!typed.isEmpty())
            input->setText(typed);
    }
    if (!input->canGoNext())
        return fail(QStringLiteral("%1 refused: %2").arg(parameter.name(), input->hint()));
    m_shownInput = nullptr;
    input->next();
    return true;
}
