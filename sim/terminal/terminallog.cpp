#include "terminallog.h"

Q_LOGGING_CATEGORY(lcTerminal, "tavrin-terminal")
