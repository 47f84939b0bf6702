#ifndef TERMINALOPTIONS_H
#define TERMINALOPTIONS_H

#include <QtCore/QString>
#include <QtCore/QStringList>

#include "brokeroptions.h"

// The terminal simulator's command line.
class TerminalOptions
{
public:
    enum class Mode { Headless, Auto, Interactive };

    // Whether the program must run without a display; decided before the application exists,
    // since the platform is chosen when it is made.
    static bool needsOffscreen(int argc, char **argv);
    static bool hasDisplay();

    // False with a message for the user when the command line is wrong. Exits for --help and
    // --version, as QCommandLineParser does.
    bool parse(const QStringList &arguments, QString *error);

    Mode mode() const { return m_mode; }
    bool isScripted() const { return m_mode != Mode::Interactive; }
    bool listScenarios() const { return m_list; }
    QString scenario() const { return m_scenario; }
    QString pluginPath() const { return m_pluginPath; }
    QString formsDir() const { return m_formsDir; }
    QString screenshotDir() const { return m_screenshotDir; }
    // Where the dialogue is written down as a scenario; empty for nowhere.
    QString recordPath() const { return m_recordPath; }
    // The language of the plugin's translation; never empty.
    QString language() const { return m_language; }
    double timeScale() const { return m_timeScale; }
    // Real seconds after which a scripted run gives up; 0 for never.
    double timeout() const { return m_timeout; }
    bool verbose() const { return m_verbose; }
    // The broker to use instead of the in-process bus and service, when --broker is given.
    const BrokerOptions &broker() const { return m_broker; }

private:
    Mode m_mode = Mode::Headless;
    bool m_list = false;
    QString m_scenario;
    QString m_pluginPath;
    QString m_formsDir;
    QString m_screenshotDir;
    QString m_recordPath;
    QString m_language;
    double m_timeScale = 1.0;
    double m_timeout = 0;
    bool m_verbose = false;
    BrokerOptions m_broker{BrokerOptions::Side::Terminal};
};

#endif // TERMINALOPTIONS_H
