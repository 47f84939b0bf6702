#ifndef STOMPLOG_H
#define STOMPLOG_H

#include <QtCore/QLoggingCategory>

// The STOMP client's and bus's log: frames at debug level, connection changes at info.
Q_DECLARE_LOGGING_CATEGORY(lcStomp)

#endif // STOMPLOG_H
