#ifndef SOAKRUNNER_H
#define SOAKRUNNER_H

#include <QtCore/QMap>
#include <QtCore/QObject>
#include <QtCore/QStringList>
#include <QtWidgets/QStackedWidget>

#include <array>

#include "pluginfixture.h"
#include "inprocessbus.h"
#include "scenario.h"

// Plays complete dialogues one after the other in one process, as a terminal does for months:
// the shipped scenarios in turn, each against a simulated check service over an in-process
// bus, with the simulator's scripted customer acting at once. After each dialogue the host
// stops it, the scenario's verdict judges its end, and the runner checks that nothing of it is
// left: the plugin's controllers, the pay screen and its forms, the application's widgets and
// the process's QObjects are back at what they were.
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
    // The plugin's children, the application's widgets, the process's QObjects.
    using Census = std::array<long, 3>;

    // What went wrong in one dialogue, if anything.
    QStringList playDialogue(const Scenario &scenario);
    Census takeCensus() const;

    Options m_options;
    // Outlives the plugin, which keeps it as its sender and receiver.
    InProcessBus m_bus;
    PluginFixture m_fixture;
    // The terminal's screen: the customer presses only buttons that are shown.
    QStackedWidget m_screen;
    QList<Scenario> m_scenarios;
    QMap<QString, int> m_viewerBaseline;
    QMap<QString, int> m_played;
    bool m_counting = false;
};

#endif // SOAKRUNNER_H
