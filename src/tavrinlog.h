#ifndef TAVRINLOG_H
#define TAVRINLOG_H

#include <QtCore/QLoggingCategory>

// The plugin's own log category, "tavrin". Its debug lines are off unless an operator turns
// them on, whatever Qt the host runs.
Q_DECLARE_LOGGING_CATEGORY(TAVRIN_PLUGIN_LOG)

#endif // TAVRINLOG_H
