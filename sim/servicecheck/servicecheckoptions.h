#ifndef SERVICECHECKOPTIONS_H
#define SERVICECHECKOPTIONS_H

#include <QtCore/QString>
#include <QtCore/QStringList>

#include "brokeroptions.h"

// The service checker's command line.
class ServiceCheckOptions
{
public:
    // False with a message for the user when the command line is wrong; exits for --help.
    bool parse(const QStringList &arguments, QString *error);

    QStringList scenarios() const { return m_scenarios; }
    QString serviceCommand() const { return m_serviceCommand; }
    const BrokerOptions &broker() const { return m_broker; }
    QString pluginPath() const { return m_pluginPath; }
    double timeScale() const { return m_timeScale; }
    // Real seconds a dialogue may take.
    double timeout() const { return m_timeout; }
    QString jsonPath() const { return m_jsonPath; }
    QString junitPath() const { return m_junitPath; }
    bool requireComplete() const { return m_requireComplete; }
    QString recordDir() const { return m_recordDir; }
    bool verbose() const { return m_verbose; }

    bool isLoad() const { return m_terminals > 0; }
    int terminals() const { return m_terminals; }
    int dialogues() const { return m_dialogues; }
    bool ceiling() const { return m_ceiling; }
    // Dialogues of each terminal left out of the latency figures; negative when not given.
    int warmUp() const { return m_warmUp; }

    // How long the terminal waits for an answer, in real milliseconds.
    int waitMilliseconds() const { return int(60000 * m_timeScale); }
    // How the service is reached, in one line.
    QString describeService() const;

private:
    QStringList m_scenarios;
    QString m_serviceCommand;
    BrokerOptions m_broker{BrokerOptions::Side::Terminal};
    QString m_pluginPath;
    double m_timeScale = 1.0;
    double m_timeout = 0;
    QString m_jsonPath;
    QString m_junitPath;
    bool m_requireComplete = false;
    int m_warmUp = -1;
    QString m_recordDir;
    bool m_verbose = false;
    int m_terminals = 0;
    int m_dialogues = 1;
    bool m_ceiling = false;
};

#endif // SERVICECHECKOPTIONS_H
