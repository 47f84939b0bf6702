#include "scenarioverdict.h"

#include "transcriptprinter.h"

ScenarioVerdict::ScenarioVerdict(const Scenario &scenario, const Play &play)
{
    if (play.end != scenario.expectedEnd)
        m_failures.append(QStringLiteral("the dialogue ended in \"%1\", the scenario expects \"%2\"")
                              .arg(Scenario::endName(play.end), Scenario::endName(scenario.expectedEnd)));
    else
        m_passes.append(QStringLiteral("the expected end \"%1\" was reached").arg(Scenario::endName(play.end)));

    if (play.endRequests > 1)
        m_failures.append(QStringLiteral("the pay screen asked %1 times to end the dialogue").arg(play.endRequests));

    if (play.unusedInputs > 0)
        m_failures.append(QStringLiteral("the customer did not get to use %1 input(s), from %2 on")
                              .arg(play.unusedInputs)
                              .arg(play.firstUnusedInput));

    judgeValues(scenario, play);

    if (scenario.expectedRequests >= 0) {
        const QString who = play.requestsCountedByService ? QStringLiteral("the service got")
                                                          : QStringLiteral("the terminal sent");
        if (play.requests != scenario.expectedRequests)
            m_failures.append(QStringLiteral("expected.requests: %1 %2 request(s), expected %3")
                                  .arg(who).arg(play.requests).arg(scenario.expectedRequests));
        else
            m_passes.append(QStringLiteral("%1 request(s) as expected").arg(play.requests));
    }
}

void ScenarioVerdict::judgeValues(const Scenario &scenario, const Play &play)
{
    int matching = 0;
    for (auto it = scenario.expectedValues.cbegin(); it != scenario.expectedValues.cend(); ++it) {
        const ProviderParameter *found = nullptr;
        for (const ProviderParameter &parameter : play.providerParameters) {
            if (parameter.name() == it.key()) {
                found = &parameter;
                break;
            }
        }
        if (!found)
            m_failures.append(QStringLiteral("expected.providerValues.%1: the provider has no such parameter").arg(it.key()));
        else if (found->value() != it.value())
            m_failures.append(QStringLiteral("expected.providerValues.%1: the provider holds %2, expected %3")
                                  .arg(it.key(), TranscriptPrinter::quoted(found->value()),
                                       TranscriptPrinter::quoted(it.value())));
        else
            ++matching;
    }
    if (matching > 0)
        m_passes.append(QStringLiteral("%1 provider value(s) as expected").arg(matching));
}
