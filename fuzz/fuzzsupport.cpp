#include "fuzzsupport.h"

#include <QtCore/QString>
#include <QtCore/QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace {

void dropMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    Q_UNUSED(context);
    if (type != QtFatalMsg)
        return;
    std::fprintf(stderr, "fatal: %s\n", qPrintable(text));
    std::abort();
}

} // namespace

void FuzzSupport::silenceLogging()
{
    qInstallMessageHandler(dropMessage);
}
