#ifndef SOAKRUNNER_H
#define SOAKRUNNER_H

#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QObject>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include "pluginfixture.h"
#include "scenario.h"

class InProcessBus;

// Plays complete dialogues one after the other in one process, as a terminal does for months:
// the shipped scenarios in turn, each against a simulated check service over an in-process
// bus, with a customer who acts at once. After each dialogue the host stops it, and the runner
// checks that it ended as its scenario says, with the provider's values the scenario expects,
// and that nothing of it is left: the plugin's controllers, the pay screen and its forms, the
// application's widgets and the process's QObjects are back at what they were.
class SoakRunner : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        int dialogues = 10000;
        double timeScale = 0.003;
        QString scenarioDir;
        bool quiet = false;
    };

    explicit SoakRunner(const Options &options, QObject *parent = nullptr);
    ~SoakRunner() override;

    // False, with the reason, when the scenarios or the plugin cannot be loaded.
    bool prepare(QString *error);
    // Plays the dialogues and prints the figures; the process's exit code.
    int run();

private:
    enum class End { None, Payment, Cancelled };

    struct Census
    {
        int pluginChildren = 0;
        int widgets = 0;
        long objects = 0;
    };

    QString playDialogue(const Scenario &scenario);
    Census takeCensus() const;
    static qint64 residentBytes();
    void print(const QString &line) const;

    Options m_options;
    PluginFixture m_fixture;
    InProcessBus *m_bus;
    QList<Scenario> m_scenarios;
    QMap<QString, int> m_viewerBaseline;
    QMap<QString, int> m_played;
    Census m_baseline;
    bool m_counting = false;
};

#endif // SOAKRUNNER_H
