#ifndef TERMINALLOG_H
#define TERMINALLOG_H

#include <QtCore/QLoggingCategory>

// The terminal simulator's own complaints, apart from the plugin's "tavrin" lines.
Q_DECLARE_LOGGING_CATEGORY(lcTerminal)

#endif // TERMINALLOG_H
