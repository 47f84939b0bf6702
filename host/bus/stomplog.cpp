#include "stomplog.h"

// Frames are logged at debug level, which a terminal does not show unless asked to.
Q_LOGGING_CATEGORY(lcStomp, "paymenthost.stomp", QtInfoMsg)
