#ifndef SCENARIOVERDICT_H
#define SCENARIOVERDICT_H

#include <QtCore/QList>
#include <QtCore/QStringList>

#include "providerparameter.h"
#include "scenario.h"

// Whether a played scenario came out as the scenario expects: the dialogue's end, the values
// left in the provider's parameters, the number of requests. Every mismatch is named with what
// was found and what was expected; what matched is summed up for the transcript.
class ScenarioVerdict
{
public:
    // What a play came to.
    struct Play
    {
        Scenario::End end = Scenario::End::Cancelled;
        // How often the pay screen asked to end the dialogue: more than once is a fault.
        int endRequests = 1;
        // Scripted inputs the customer never got to, and where the first of them stands.
        int unusedInputs = 0;
        QString firstUnusedInput;
        QList<ProviderParameter> providerParameters;
        int requests = 0;
        // Who counted the requests: the service in this process, or the terminal that sent them.
        bool requestsCountedByService = true;
        // Why the dialogue reached no end (the end above then means nothing), and whether it
        // was the time that ran out.
        QString problem;
        bool timedOut = false;
    };

    ScenarioVerdict(const Scenario &scenario, const Play &play);

    bool passed() const { return m_failures.isEmpty(); }
    QStringList failures() const { return m_failures; }
    QStringList passes() const { return m_passes; }

private:
    void judgeValues(const Scenario &scenario, const Play &play);

    QStringList m_failures;
    QStringList m_passes;
};

#endif // SCENARIOVERDICT_H
