#ifndef SERVICEDIALOGUE_H
#define SERVICEDIALOGUE_H

#include <QtCore/QMap>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QScopedPointer>
#include <QtCore/QVariantMap>

#include "scenario.h"
#include "scenarioverdict.h"

class FormProject;
class PluginHost;
class QStackedWidget;
class ScenarioPlay;
class SessionManager;

// One customer at the terminal, played from a scenario with the real plugin: the pay screen
// is opened for the scenario's provider and the scripted customer acts on what it shows (by
// the parameters' names and kinds, not by the scenario's texts), until
// the plugin hands over to payment, cancels, or the customer cannot go on. The check service is
// whatever the bus object given to attach() reaches.
class ServiceDialogue : public QObject
{
    Q_OBJECT
public:
    ServiceDialogue(PluginHost *host, double timeScale, QObject *parent = nullptr);
    ~ServiceDialogue() override;

    // Wires the plugin to bus (a send(QVariantMap) slot, a messageReceived(QVariantMap)
    // signal); false with the reason when no dialogue can be played.
    bool attach(QObject *bus, unsigned int kovraId, QString *error);

    // Plays one dialogue; ended() follows, also when the customer fails or the time is up.
    void play(const Scenario &scenario, int timeoutMilliseconds);
    // Ends the dialogue now, as stuck for the reason given; ended() follows.
    void abort(const QString &problem);

signals:
    // end is "payment" or "cancelled", empty with the problem when the dialogue got stuck;
    // values are the provider's parameters at the end.
    void ended(QString end, QString problem, QMap<QString, QString> values);
    // What the terminal showed and what the customer did, in words: reported, never judged.
    void shown(QString what);

private:
    void playEnded(const ScenarioVerdict::Play &play);

    QPointer<PluginHost> m_host;
    double m_timeScale;
    FormProject *m_project;
    SessionManager *m_session;
    QScopedPointer<QStackedWidget> m_screen;
    ScenarioPlay *m_play;
};

#endif // SERVICEDIALOGUE_H
