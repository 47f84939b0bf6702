#include "programlog.h"

#include <QtCore/QByteArray>

#include <cstdio>
#include <cstring>

namespace {

const char *g_program = "";
bool g_verbose = false;

// What the offscreen platform says about itself tells nothing about the plugin.
bool isPlatformNoise(const QString &text)
{
    return text.contains(QLatin1String("does not support propagateSizeHints"))
           || text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"));
}

void logMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (((type == QtDebugMsg || type == QtInfoMsg) || isPlatformNoise(text)) && !g_verbose)
        return;
    static const char *const names[] = {"debug", "warning", "critical", "fatal", "info"};
    const char *name = type >= 0 && type <= QtInfoMsg ? names[type] : "log";
    std::fflush(stdout);
    const QByteArray category = context.category ? QByteArray(context.category) : QByteArray("default");
    std::fprintf(stderr, "[%s %s] %s\n", name, category.constData(), text.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

void ProgramLog::install(const char *program, int argc, char *argv[])
{
    g_program = program;
    for (int i = 1; i < argc; ++i)
        g_verbose = g_verbose || !std::strcmp(argv[i], "--verbose");
    qInstallMessageHandler(logMessage);
}

int ProgramLog::refuse(const QString &message)
{
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", g_program, message.toLocal8Bit().constData());
    return 2;
}
