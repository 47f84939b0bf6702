#include "benchterminal.h"

#include "benchanswers.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QEvent>

namespace {

// Enough for four input screens, two requests and their answers; more means a loop.
const int MaxDialogueSteps = 32;

} // namespace

BenchTerminal::BenchTerminal()
    : m_firstAnswer(BenchAnswers::firstStepAnswer(BenchAnswers::typicalParameters()))
    , m_secondAnswer(BenchAnswers::secondStepAnswer())
{
    d.fixture.provider.reset(PluginFixture::makeProvider(113003105));
}

bool BenchTerminal::load()
{
    return d.fixture.isLoaded() || fail(d.fixture.errorString());
}

bool BenchTerminal::begin()
{
    // What the driver keeps of earlier dialogues would grow with every one timed.
    d.clearShown();
    d.fixture.bus.sent.clear();
    if (!d.open(d.fixture.provider.data()))
        return fail(QStringLiteral("start() gave no pay screen"));
    d.fixture.plugin->showInitScreen();
    if (!shownInput())
        return fail(QStringLiteral("showInitScreen() showed no account screen"));
    return true;
}

QString BenchTerminal::acceptNumber()
{
    const int before = requestCount();
    if (!enterShownParameter())
        return QString();
    if (requestCount() == before) {
        fail(QStringLiteral("accepting the phone number sent no request"));
        return QString();
    }
    return lastUid();
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
    const int paid = d.payDetails();
    const QString uid = acceptNumber();
    if (uid.isEmpty())
        return false;
    d.fixture.bus.answerNow(BenchAnswers::withUid(m_firstAnswer, uid));
    for (int step = 0; step < MaxDialogueSteps && d.payDetails() == paid; ++step) {
        const int before = requestCount();
        if (!enterShownParameter())
            return false;
        if (requestCount() != before)
            d.fixture.bus.answerNow(BenchAnswers::withUid(m_secondAnswer, lastUid()));
    }
    return d.payDetails() != paid || fail(QStringLiteral("the dialogue did not reach the payment details"));
}

void BenchTerminal::end()
{
    d.fixture.plugin->stop();
    settle();
}

void BenchTerminal::settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool BenchTerminal::fail(const QString &why)
{
    m_error = why;
    return false;
}

bool BenchTerminal::enterShownParameter()
{
    PluginProviderParameterInputController *input = shownInput();
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
    // Cleared first: the next screen may be this same controller shown again.
    d.clearShown();
    input->next();
    return true;
}
